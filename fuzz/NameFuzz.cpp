// Any bytes as two names (split at the first octet's value): decoding,
// comparison both ways, the attribute table and re-encoding must return,
// never crash, keep comparison symmetric and re-encode stably.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "toolkit/Name.h"
#include "toolkit/NameAttributeTable.h"

namespace tk = korva::toolkit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    size_t split = 1 + (data[0] % size);
    tk::NameObject* a = nullptr;
    tk::NameObject* b = nullptr;
    if (tk::NameCreate(nullptr, &a) != tk::kOk || tk::NameCreate(nullptr, &b) != tk::kOk) std::abort();
    tk::Status first = tk::NameSetEncoding(a, data + 1, static_cast<uint32_t>(split - 1));
    tk::Status second = tk::NameSetEncoding(b, data + split, static_cast<uint32_t>(size - split));
    if (tk::NameCompare(a, b) != tk::NameCompare(b, a)) std::abort();
    for (tk::NameObject* name : {a, b}) {
        if (name->der == nullptr) continue;
        (void)tk::NameCheckAttributes(name);
        std::vector<uint8_t> encoded(tk::NameEncode(name, {}));
        if (tk::NameEncode(name, encoded) != encoded.size()) std::abort();
        // The re-encoding is a name again, one that encodes to itself.
        tk::NameObject* again = nullptr;
        if (tk::NameCreate(nullptr, &again) != tk::kOk) std::abort();
        if (tk::NameSetEncoding(again, encoded.data(), static_cast<uint32_t>(encoded.size())) != tk::kOk) std::abort();
        std::vector<uint8_t> twice(tk::NameEncode(again, {}));
        if (tk::NameEncode(again, twice) != twice.size() || twice != encoded) std::abort();
        if (again->count != name->count) std::abort();
        tk::NameFree(&again);
    }
    (void)first;
    (void)second;
    tk::NameFree(&a);
    tk::NameFree(&b);
    return 0;
}
