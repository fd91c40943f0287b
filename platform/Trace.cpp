#include "platform/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

#include "platform/TextConversion.h"

namespace korva::trace {

namespace detail {
std::atomic<Sink*> g_sink{nullptr};
std::atomic<bool> g_configured{false};
thread_local Sink* t_capture = nullptr;
}

namespace {

// Prints each event as one line to stderr or to a file opened for appending.
class TextSink : public Sink {
public:
    explicit TextSink(FILE* out) : out_(out) {}
    void OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) override {
        try {
            std::string line = FormatEvent(source, number, level, data);
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), out_);
            std::fflush(out_);
        } catch (...) {
            // Tracing must never change what the program does.
        }
    }

private:
    FILE* out_;
};

std::once_flag g_configure_once;

void ConfigureFromEnvironment() {
    const char* setting = std::getenv("KORVA_TRACE");
    if (setting == nullptr || *setting == '\0') return;
    FILE* out = nullptr;
    if (std::string_view(setting) == "stderr") {
        out = stderr;
    } else {
        out = std::fopen(setting, "ab");
        if (out == nullptr) return;
    }
    static TextSink sink(out);
    Sink* expected = nullptr;
    detail::g_sink.compare_exchange_strong(expected, &sink);
}

const char* LevelName(Level level) {
    switch (level) {
        case Level::Error: return "error";
        case Level::Warning: return "warning";
        case Level::Information: return "info";
        case Level::Verbose: return "verbose";
    }
    return "?";
}

}  // namespace

void detail::ConfigureOnce() {
    std::call_once(g_configure_once, ConfigureFromEnvironment);
    g_configured.store(true, std::memory_order_release);
}

Sink* SetSink(Sink* sink) {
    detail::EnsureConfigured();
    return detail::g_sink.exchange(sink, std::memory_order_acq_rel);
}

const char* SourceName(Source source) {
    switch (source) {
        case Source::Engine: return "engine";
        case Source::Allocation: return "allocation";
        case Source::Memory: return "memory";
        case Source::Buffer: return "buffer";
        case Source::Container: return "container";
        case Source::File: return "file";
        case Source::FileIo: return "fileio";
        case Source::Path: return "path";
        case Source::Store: return "store";
        case Source::Hash: return "hash";
        case Source::Reference: return "reference";
        case Source::Record: return "record";
        case Source::Silo: return "silo";
        case Source::Registry: return "registry";
        case Source::Expansion: return "expansion";
        case Source::Asn1: return "asn1";
        case Source::Callback: return "callback";
        case Source::Crypto: return "crypto";
        case Source::CertContext: return "certcontext";
        case Source::Toolkit: return "toolkit";
    }
    return "unknown";
}

std::string FormatEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) {
    static const char kHex[] = "0123456789abcdef";
    std::string line = SourceName(source);
    line += ' ';
    line += std::to_string(number);
    line += ' ';
    line += LevelName(level);
    for (const Value& value : data) {
        line += ' ';
        switch (value.kind) {
            case Value::Kind::Number:
                line += std::to_string(value.number);
                line += " (0x";
                for (int shift = 60; shift >= 0; shift -= 4) {
                    if ((value.number >> shift) != 0 || shift == 0) line += kHex[(value.number >> shift) & 0xF];
                }
                line += ')';
                break;
            case Value::Kind::Text:
                line += '"';
                line += platform::WideToUtf8(value.text);
                line += '"';
                break;
            case Value::Kind::Bytes:
                for (size_t i = 0; i < value.size; ++i) {
                    line += kHex[value.bytes[i] >> 4];
                    line += kHex[value.bytes[i] & 0xF];
                }
                break;
        }
    }
    return line;
}

}  // namespace korva::trace
