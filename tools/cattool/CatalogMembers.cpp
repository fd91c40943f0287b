#include "tools/cattool/CatalogMembers.h"

#include <algorithm>
#include <cstdint>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/KnownOids.h"
#include "platform/TextConversion.h"
#include "tools/cattool/CatalogWalk.h"

namespace korva::cattool {

namespace {

namespace tvt = TarnVerifyTrustDriver;

constexpr uint32_t kSequenceTag = 16;
constexpr uint32_t kOctetStringTag = 4;
constexpr uint32_t kBmpStringTag = 30;
// ContentInfo, [0], SignedData, encapContentInfo, [0], the trust list, its
// TrustedSubjects: each member is a SEQUENCE at depth 7, and a name/value
// attribute's name and value sit at depth 12 inside it.
constexpr uint8_t kMemberDepth = 7;
constexpr uint8_t kNameValueDepth = 12;
constexpr uint32_t kNameValueValueIndex = 2;
constexpr uint8_t kFileName[] = {0, 'F', 0, 'i', 0, 'l', 0, 'e'};  // BMPString, big-endian

class MemberCollector : public tvt::IAsn1NodeCallback {
public:
    explicit MemberCollector(std::vector<CatalogMember>& members) : members_(members) {}
    uint32_t OnParseBegin() override { return tvt::kNodeContinue; }
    uint32_t OnNode(tvt::Asn1Node& node) override {
        const bool inTrustList = (node.oidFlags & tvt::kOidCertTrustList) != 0;
        if (!inTrustList) return tvt::kNodeContinue;
        if (node.depth == kMemberDepth && node.tag == kSequenceTag) {
            members_.emplace_back();
            fileNext_ = false;
        } else if (members_.empty() || node.depth <= kMemberDepth) {
            return tvt::kNodeContinue;
        } else if (node.depth == kNameValueDepth && node.tag == kBmpStringTag) {
            fileNext_ = node.len == sizeof kFileName && std::equal(kFileName, kFileName + sizeof kFileName, node.value);
        } else if (node.depth == kNameValueDepth && node.tag == kOctetStringTag && node.index == kNameValueValueIndex &&
                   fileNext_) {
            std::wstring name = platform::Utf16LeToWide(node.value, node.len);
            while (!name.empty() && name.back() == L'\0') name.pop_back();
            members_.back().file = platform::WideToUtf8(name);
            fileNext_ = false;
        } else if (node.tag == kOctetStringTag && (node.oidFlags & tvt::kOidIndirectData) != 0 &&
                   (node.len == 20 || node.len == 32)) {
            members_.back().hash.assign(node.value, node.value + node.len);
        }
        return tvt::kNodeContinue;
    }

private:
    std::vector<CatalogMember>& members_;
    bool fileNext_ = false;
};

}  // namespace

std::vector<CatalogMember> CatalogMembersOf(std::span<const uint8_t> catalog) {
    std::vector<CatalogMember> members;
    MemberCollector collector(members);
    WalkCatalogBytes(catalog, collector);
    return members;
}

std::vector<CatalogMember> ReadCatalogMembers(const std::wstring& path) {
    std::vector<uint8_t> bytes;
    return ReadCatalogFile(path, bytes) ? CatalogMembersOf(bytes) : std::vector<CatalogMember>();
}

}  // namespace korva::cattool
