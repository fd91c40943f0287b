#include "platform/TraceBuffer.h"

namespace korva::trace {

Value Buffer::Datum::View() const {
    switch (kind) {
        case Value::Kind::Text: return Text(text);
        case Value::Kind::Bytes: return Bytes(bytes.data(), bytes.size());
        case Value::Kind::Number: break;
    }
    return Num(number);
}

void Buffer::OnEvent(Source source, uint32_t number, Level level, std::initializer_list<Value> data) {
    try {
        Kept& kept = events_.emplace_back();
        kept.source = source;
        kept.number = number;
        kept.level = level;
        for (const Value& value : data) {
            if (kept.count == kMaxValues) break;
            Datum& datum = kept.data[kept.count++];
            datum.kind = value.kind;
            datum.number = value.number;
            datum.text = value.text;
            datum.bytes.assign(value.bytes, value.bytes + value.size);
        }
    } catch (...) {
        // Tracing must never change what the program does.
    }
}

void Buffer::Replay() {
    for (const Kept& e : events_) {
        const Datum* d = e.data;
        switch (e.count) {
            case 0: Emit(e.source, e.number, e.level); break;
            case 1: Emit(e.source, e.number, e.level, {d[0].View()}); break;
            case 2: Emit(e.source, e.number, e.level, {d[0].View(), d[1].View()}); break;
            case 3: Emit(e.source, e.number, e.level, {d[0].View(), d[1].View(), d[2].View()}); break;
            default: Emit(e.source, e.number, e.level, {d[0].View(), d[1].View(), d[2].View(), d[3].View()}); break;
        }
    }
    events_.clear();
}

}  // namespace korva::trace
