// The trace facility: every failure point of the engine, the toolkit and the
// support library reports an event (source, number, level, a few values).
// Off by default; KORVA_TRACE=stderr or KORVA_TRACE=<file> prints one line per
// event, and tests install a recorder. Emitting never changes behaviour, and
// never allocates but where a Capture holds the thread's events back.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace korva::trace {

enum class Source : uint8_t {
    Engine, Allocation, Memory, Buffer, Container, File, FileIo, Path, Store, Hash, Reference, Record,
    Silo, Registry, Expansion, Asn1, Callback, Crypto, CertContext, Toolkit,
};
const char* SourceName(Source source);

enum class Level : uint8_t { Error = 2, Warning = 3, Information = 4, Verbose = 5 };

// One datum of an event. Text and bytes are borrowed for the duration of Emit.
struct Value {
    enum class Kind : uint8_t { Number, Text, Bytes };
    Kind kind = Kind::Number;
    uint64_t number = 0;
    std::wstring_view text;
    const uint8_t* bytes = nullptr;
    size_t size = 0;
};
inline Value Num(uint64_t n) { Value v; v.number = n; return v; }
inline Value Text(std::wstring_view t) { Value v; v.kind = Value::Kind::Text; v.text = t; return v; }
inline Value Bytes(const void* p, size_t n) {
    Value v; v.kind = Value::Kind::Bytes; v.bytes = static_cast<const uint8_t*>(p); v.size = n; return v;
}

class Sink {
public:
    virtual ~Sink() = default;
    virtual void OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) = 0;
};

namespace detail {
extern std::atomic<Sink*> g_sink;
extern std::atomic<bool> g_configured;
// Where this thread's events go instead of the sink while a Capture holds it.
extern thread_local Sink* t_capture;
void ConfigureOnce();
// Every event passes here: after the first, one acquire load instead of a
// call_once.
inline void EnsureConfigured() {
    if (!g_configured.load(std::memory_order_acquire)) ConfigureOnce();
}
}

// Installs a sink (null turns tracing off); returns the previous one.
Sink* SetSink(Sink* sink);

inline void Emit(Source source, uint32_t number, Level level, std::initializer_list<Value> data = {}) {
    detail::EnsureConfigured();
    if (Sink* sink = detail::g_sink.load(std::memory_order_acquire)) {
        (detail::t_capture != nullptr ? detail::t_capture : sink)->OnEvent(source, number, level, data);
    }
}

// Whether events go anywhere now: a loop over millions of elements asks once
// instead of building each event's values.
inline bool Active() {
    detail::EnsureConfigured();
    return detail::g_sink.load(std::memory_order_acquire) != nullptr;
}

// Formats an event as the text sinks print it: "engine 28 error: ...".
std::string FormatEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data);

}  // namespace korva::trace
