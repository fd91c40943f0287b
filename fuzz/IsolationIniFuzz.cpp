// Any bytes as isolate.ini: decoded and searched for each key the library
// reads. The first byte picks the key so that the fuzzer also explores keys
// that prefix each other.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "support/IsolationIniText.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static constexpr std::wstring_view kKeys[] = {L"silo", L"reghive", L"Native64", L"", L"s"};
    if (size == 0) return 0;
    std::wstring_view key = kKeys[data[0] % std::size(kKeys)];
    std::wstring text = korva::support::DecodeIsolationIni(data + 1, size - 1);
    if (text.find(L'\0') != std::wstring::npos) std::abort();
    std::wstring value = korva::support::FindIsolationIniValue(text, key);
    if (!value.empty() && (value.front() == L' ' || value.front() == L'\t' || value.back() == L' ' ||
                           value.back() == L'\t' || value.find(L'\r') != std::wstring::npos)) {
        std::abort();
    }
    return 0;
}
