// A trace sink that keeps every event in memory, so that tests can assert on
// the events a failure produced. Test-only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Trace.h"

namespace korva::trace {

// Installed for its lifetime; the previous sink comes back afterwards.
class Recorder : public Sink {
public:
    struct Event {
        Source source;
        uint32_t number;
        Level level;
        std::vector<uint64_t> numbers;
        std::vector<std::wstring> texts;
    };
    Recorder();
    ~Recorder() override;
    void OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) override;
    bool Has(Source source, uint32_t number) const;
    size_t Count(Source source, uint32_t number) const;
    const std::vector<Event>& events() const { return events_; }
    void Clear() { events_.clear(); }

private:
    std::vector<Event> events_;
    Sink* previous_;
};

}  // namespace korva::trace
