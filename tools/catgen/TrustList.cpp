#include "tools/catgen/TrustList.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "tools/catgen/Pki.h"

#include <openssl/evp.h>

namespace korva::catgen {

namespace {

constexpr std::string_view kCatalogListUsage = "1.3.6.1.4.1.311.12.1.1";
constexpr std::string_view kCatalogMemberV1 = "1.3.6.1.4.1.311.12.1.2";
constexpr std::string_view kCatalogMemberV2 = "1.3.6.1.4.1.311.12.1.3";
constexpr std::string_view kMemberInfo2 = "1.3.6.1.4.1.311.12.2.3";
constexpr std::string_view kNameValue = "1.3.6.1.4.1.311.12.2.1";
constexpr std::string_view kIndirectData = "1.3.6.1.4.1.311.2.1.4";
constexpr std::string_view kPeImageData = "1.3.6.1.4.1.311.2.1.15";
constexpr std::string_view kFlatFileData = "1.3.6.1.4.1.311.2.1.25";
constexpr std::string_view kMd5 = "1.2.840.113549.2.5";
constexpr int64_t kNameValueFlags = 0x10010001;

Bytes HashBytes(MemberHash kind, const Bytes& data) {
    if (kind != MemberHash::kMd5) return Hash(kind == MemberHash::kSha1 ? Digest::kSha1 : Digest::kSha256, data);
    Bytes out(EVP_MAX_MD_SIZE);
    unsigned int size = 0;
    EVP_Digest(data.data(), data.size(), out.data(), &size, EVP_md5(), nullptr);
    out.resize(size);
    return out;
}

std::string_view HashOid(MemberHash kind) {
    switch (kind) {
        case MemberHash::kSha1: return DigestOid(Digest::kSha1);
        case MemberHash::kSha256: return DigestOid(Digest::kSha256);
        case MemberHash::kMd5: return kMd5;
    }
    return kMd5;
}

// UTF-16LE with the terminating NUL, as the name/value values are stored.
Bytes Utf16Z(const std::string& text) {
    Bytes out;
    for (char c : text) {
        out.push_back(static_cast<uint8_t>(c));
        out.push_back(0);
    }
    out.push_back(0);
    out.push_back(0);
    return out;
}

Bytes NameValue(const std::string& name, const std::string& value) {
    return Attribute(kNameValue, Sequence({BmpString(name), Integer(kNameValueFlags), OctetString(Utf16Z(value))}));
}

// SpcIndirectDataContent: the file kind and the member's DigestInfo.
Bytes IndirectData(const Member& member) {
    Bytes data = member.peImage
                     ? Sequence({Oid(kPeImageData),
                                 Sequence({Tlv(kUniversal, 3, {0x00}),
                                           ContextConstructed(0, ContextConstructed(2, Tlv(kContext, 0, {})))})})
                     : Sequence({Oid(kFlatFileData), ContextConstructed(2, Tlv(kContext, 0, {}))});
    Bytes digestInfo = Sequence({AlgorithmIdentifier(HashOid(member.kind)), OctetString(member.hash)});
    return Attribute(kIndirectData, Sequence({data, digestInfo}));
}

Bytes Entry(const Member& member, const std::string& osAttribute) {
    Bytes memberInfo = Attribute(kMemberInfo2, Tlv(kContext, member.peImage ? 0 : 2, {}));
    Bytes attributes = Set({memberInfo, NameValue("File", member.fileName), NameValue("OSAttr", osAttribute),
                            IndirectData(member)});
    return Sequence({OctetString(member.hash), attributes});
}

}  // namespace

std::vector<Member> SyntheticMembers(size_t count, MemberHash kind) {
    std::vector<Member> members;
    for (size_t i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "file%04zu.sys", i);
        std::string content = std::string("catgen member ") + name;
        members.push_back({name, HashBytes(kind, Bytes(content.begin(), content.end())), kind, false});
    }
    return members;
}

bool MemberFromFile(const std::string& path, MemberHash kind, Member& member) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    Bytes content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    size_t slash = path.find_last_of("/\\");
    member = {slash == std::string::npos ? path : path.substr(slash + 1), HashBytes(kind, content), kind, false};
    return true;
}

std::vector<Member> SortedMembers(const std::vector<Member>& members) {
    std::vector<Member> sorted = members;
    std::stable_sort(sorted.begin(), sorted.end(), [](const Member& a, const Member& b) { return a.hash < b.hash; });
    return sorted;
}

Bytes BuildTrustList(const TrustListOptions& options) {
    bool sha256 = false;
    Bytes entries;
    Bytes identifierSeed;
    for (const Member& member : SortedMembers(options.members)) {
        sha256 = sha256 || member.kind == MemberHash::kSha256;
        Bytes entry = Entry(member, options.osAttribute);
        entries.insert(entries.end(), entry.begin(), entry.end());
        identifierSeed.insert(identifierSeed.end(), member.hash.begin(), member.hash.end());
    }
    Bytes identifier = options.listIdentifier;
    if (identifier.empty()) {
        identifier = Hash(Digest::kSha256, identifierSeed);
        identifier.resize(16);
    }
    return Sequence({Sequence({Oid(kCatalogListUsage)}), OctetString(identifier), UtcTime(options.thisUpdate),
                     AlgorithmIdentifier(sha256 ? kCatalogMemberV2 : kCatalogMemberV1),
                     Tlv(kConstructed, 16, entries)});
}

}  // namespace korva::catgen
