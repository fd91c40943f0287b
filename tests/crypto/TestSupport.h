// Helpers shared by the crypto tests: hex, the shared test data, and small
// readers for the NIST .rsp and Wycheproof JSON formats.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "tests/common/Bytes.h"
#include "toolkit/crypto/Hash.h"

namespace korva::crypto::test {

using korva::test::Bytes;
using korva::test::Concat;
using korva::test::FromHex;
using korva::test::ToHex;
inline std::string ToHex(const Bytes& b) { return ToHex(b.data(), b.size()); }
Bytes RandomBytes(std::mt19937_64& rng, size_t size);
inline Bytes DigestBytes(const Digest& d) { return Bytes(d.view().begin(), d.view().end()); }
// value^exponent mod modulus as modulus-sized octets: signs with a private
// exponent, which a public key refuses.
Bytes RawRsa(const Bytes& modulus, const Bytes& exponent, const Bytes& value);
// 00 <type> FF.. 00 <tail> with `ffCount` FF octets; by default as many as
// fill the 256 octets of the e = 3 test key (TestKeys.h).
inline constexpr size_t kFillBlock = SIZE_MAX;
Bytes Type1Block(const Bytes& tail, size_t ffCount = kFillBlock, uint8_t type = 0x01);
// A block signed with the e = 3 test key's private exponent.
Bytes SignWithTestKey(const Bytes& block);

// A file below the shared vectors directory, or nothing when it is absent.
std::optional<std::string> ReadVectorFile(const std::string& relativePath);
// True under CI=true, where missing shared data is a failure, not a skip.
bool SharedDataRequired();

// NIST CAVP response file: one map of "Key = Value" lines per record, in order.
using RspRecord = std::map<std::string, std::string>;
std::vector<RspRecord> ParseRsp(const std::string& text);

// Just enough JSON for the Wycheproof files.
struct Json {
    enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::string string;
    std::vector<Json> array;
    // Members as parallel lists: a vector may hold the still-incomplete Json, a pair may not.
    std::vector<std::string> names;
    std::vector<Json> members;

    // The member of that name, or a Null value.
    const Json& operator[](std::string_view name) const;
};
std::optional<Json> ParseJson(std::string_view text);

}  // namespace korva::crypto::test

// Skips the current test when a shared data file is missing; under CI=true,
// where the data must be there, fails it instead.
#define KORVA_READ_VECTORS_OR_SKIP(var, path)                                                       \
    const std::optional<std::string> var##Text = ::korva::crypto::test::ReadVectorFile(path);      \
    if (!var##Text && ::korva::crypto::test::SharedDataRequired())                                  \
        FAIL() << "shared test vectors not found (CI=true needs them): " << KORVA_SHARED_DIR "/vectors/" << (path); \
    if (!var##Text) GTEST_SKIP() << "shared test vectors not found: " << KORVA_SHARED_DIR "/vectors/" << (path); \
    const std::string& var = *var##Text
