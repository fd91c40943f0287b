// Any bytes through the element-header decoder: it must return a status,
// never read outside the input, and a decoded element must lie inside it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "toolkit/DerHeader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > UINT32_MAX) return 0;
    uint32_t tag = 0, tagClass = 0, len = 0;
    const uint8_t* value = nullptr;
    uint8_t none = 0;
    const uint8_t* input = size == 0 ? &none : data;
    if (korva::toolkit::DecodeHeader(nullptr, input, static_cast<uint32_t>(size), &tag, &tagClass, &value, &len) != 0) {
        return 0;
    }
    size_t headerLength = static_cast<size_t>(value - input);
    if (headerLength < 2 || headerLength > size || len > size - headerLength) std::abort();
    bool indefinite = (tagClass & korva::toolkit::kTagClassIndefinite) != 0;
    // The indefinite form's end-of-contents octets follow the contents.
    if (indefinite && (len + 2 > size - headerLength || (tagClass & 0x20) == 0)) std::abort();
    return 0;
}
