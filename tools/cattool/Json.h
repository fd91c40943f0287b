// A small JSON writer: objects, arrays and scalars in the order they are
// written, commas and string escapes handled here.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korva::cattool {

class JsonWriter {
public:
    JsonWriter& BeginObject() { return Open('{'); }
    JsonWriter& EndObject() { return Close('}'); }
    JsonWriter& BeginArray() { return Open('['); }
    JsonWriter& EndArray() { return Close(']'); }
    // The name of the next member of the enclosing object.
    JsonWriter& Key(std::string_view name);
    JsonWriter& String(std::string_view text);
    JsonWriter& Number(uint64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();

    // The document, with a final newline.
    std::string Finish() const { return text_ + "\n"; }

private:
    void Separate();
    JsonWriter& Open(char bracket);
    JsonWriter& Close(char bracket);

    std::string text_;
    bool needComma_ = false;
};

}  // namespace korva::cattool
