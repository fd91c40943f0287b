#include "platform/TraceRecorder.h"

namespace korva::trace {

Recorder::Recorder() : previous_(SetSink(this)) {}
Recorder::~Recorder() { SetSink(previous_); }

void Recorder::OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) {
    Event event{source, number, level, {}, {}};
    for (const Value& value : data) {
        if (value.kind == Value::Kind::Number) event.numbers.push_back(value.number);
        if (value.kind == Value::Kind::Text) event.texts.emplace_back(value.text);
    }
    events_.push_back(std::move(event));
}

bool Recorder::Has(Source source, uint32_t number) const { return Count(source, number) != 0; }

size_t Recorder::Count(Source source, uint32_t number) const {
    size_t n = 0;
    for (const Event& e : events_) n += (e.source == source && e.number == number) ? 1 : 0;
    return n;
}

}  // namespace korva::trace
