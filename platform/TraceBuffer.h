// Events held back on one thread and emitted later, in their order, from
// another: a worker thread's events reach the sink where a one-thread run
// would have emitted them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/Trace.h"

namespace korva::trace {

class Buffer : public Sink {
public:
    // Keeps copies of up to kMaxValues values per event; no event has more.
    static constexpr size_t kMaxValues = 4;

    void OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) override;
    // Emits every kept event through Emit and forgets them.
    void Replay();
    void Clear() { events_.clear(); }

private:
    struct Datum {
        Value::Kind kind = Value::Kind::Number;
        uint64_t number = 0;
        std::wstring text;
        std::vector<uint8_t> bytes;
        Value View() const;
    };
    struct Kept {
        Source source;
        uint32_t number;
        Level level;
        size_t count = 0;
        Datum data[kMaxValues];
    };
    std::vector<Kept> events_;
};

// Sends the calling thread's events to `buffer` for its lifetime; a null
// buffer leaves them going to the sink.
class Capture {
public:
    explicit Capture(Sink* buffer) : previous_(detail::t_capture) {
        if (buffer != nullptr) detail::t_capture = buffer;
    }
    ~Capture() { detail::t_capture = previous_; }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

private:
    Sink* previous_;
};

}  // namespace korva::trace
