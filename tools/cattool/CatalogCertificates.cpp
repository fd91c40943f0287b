#include "tools/cattool/CatalogCertificates.h"

#include <algorithm>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/CatalogNameText.h"
#include "toolkit/Certificate.h"
#include "toolkit/crypto/Hash.h"
#include "tools/cattool/CatalogWalk.h"
#include "tools/cattool/Text.h"

namespace korva::cattool {

namespace {

namespace tvt = TarnVerifyTrustDriver;

constexpr uint32_t kSequenceTag = 16;
// The certificates field: [0] at index 3 of SignedData's fields, which sit at
// depth 3 in the catalog and at depth 11 in a time-stamp token it carries.
constexpr uint32_t kCertificatesIndex = 3;
constexpr uint8_t kCatalogFieldDepth = 3;
constexpr uint8_t kTokenFieldDepth = 11;

class CertificateCollector : public tvt::IAsn1NodeCallback {
public:
    explicit CertificateCollector(std::vector<std::vector<uint8_t>>& found) : found_(found) {}
    uint32_t OnParseBegin() override { return tvt::kNodeContinue; }
    uint32_t OnNode(tvt::Asn1Node& node) override {
        if ((node.depth == kCatalogFieldDepth || node.depth == kTokenFieldDepth) && node.index == kCertificatesIndex &&
            node.Class() == tvt::kAsn1ContextSpecific && node.Constructed() && node.tag == 0) {
            certificateDepth_ = node.depth + 1;
            end_ = static_cast<uint64_t>(node.offset) + node.headerLength + node.len;
        } else if (node.depth == certificateDepth_ && node.offset < end_ && node.tag == kSequenceTag) {
            found_.emplace_back(node.start, node.start + node.headerLength + node.len);
        }
        return tvt::kNodeContinue;
    }

private:
    std::vector<std::vector<uint8_t>>& found_;
    uint32_t certificateDepth_ = 0;
    uint64_t end_ = 0;
};

std::string NameText(const toolkit::NameObject* name) {
    tvt::CMemory text;
    if (name == nullptr || tvt::CatalogNameText(name, text) != 1) return {};
    return PrintableText(text.bytes()).value_or(std::string());
}

std::optional<CertificateInfo> Decode(const std::vector<uint8_t>& der) {
    toolkit::CertObject* certificate = nullptr;
    if (toolkit::CertCreate(&certificate, nullptr) != toolkit::kOk) return std::nullopt;
    std::optional<CertificateInfo> info;
    toolkit::CertFields fields{};
    if (toolkit::CertSetEncoding(certificate, der.data(), static_cast<uint32_t>(der.size())) == toolkit::kOk &&
        toolkit::CertGetFields(certificate, &fields) == toolkit::kOk) {
        info.emplace();
        info->subject = NameText(fields.subject);
        info->issuer = NameText(fields.issuer);
        info->notBefore = fields.notBefore;
        info->notAfter = fields.notAfter;
        crypto::HashContext sha1(crypto::HashAlgorithm::Sha1);
        sha1.Update(der);
        info->sha1 = Hex(sha1.Final().view());
    }
    toolkit::CertFree(&certificate);
    return info;
}

std::optional<size_t> FindSigner(const std::vector<CertificateInfo>& all, const tvt::ICatalogEvidence* evidence) {
    if (evidence == nullptr) return std::nullopt;
    const std::string sha1 = Hex(evidence->SignerValue(4).bytes());
    const std::string subject = PrintableText(evidence->SignerValue(1).bytes()).value_or(std::string());
    for (size_t i = 0; i < all.size(); ++i) {
        if (!sha1.empty() && all[i].sha1 == sha1) return i;
    }
    for (size_t i = 0; i < all.size(); ++i) {
        if (!subject.empty() && all[i].subject == subject) return i;
    }
    return std::nullopt;
}

}  // namespace

CatalogCertificates ReadCatalogCertificates(const std::wstring& path, const tvt::ICatalogEvidence* evidence) {
    std::vector<uint8_t> bytes;
    return ReadCatalogFile(path, bytes) ? CatalogCertificatesOf(bytes, evidence) : CatalogCertificates();
}

CatalogCertificates CatalogCertificatesOf(std::span<const uint8_t> catalog, const tvt::ICatalogEvidence* evidence) {
    CatalogCertificates result;
    std::vector<std::vector<uint8_t>> found;
    CertificateCollector collector(found);
    WalkCatalogBytes(catalog, collector);
    for (const std::vector<uint8_t>& der : found) {
        if (std::optional<CertificateInfo> info = Decode(der)) result.all.push_back(*info);
    }
    std::optional<size_t> signer = FindSigner(result.all, evidence);
    if (signer) {
        // Up by issuer name while the catalog carries the issuer; a
        // self-signed certificate ends the chain.
        for (size_t at = *signer;;) {
            result.chain.push_back(at);
            const CertificateInfo& current = result.all[at];
            if (current.issuer == current.subject) break;
            auto issuer = std::find_if(result.all.begin(), result.all.end(), [&](const CertificateInfo& c) {
                return c.subject == current.issuer;
            });
            size_t next = static_cast<size_t>(issuer - result.all.begin());
            if (issuer == result.all.end() || std::count(result.chain.begin(), result.chain.end(), next) != 0) break;
            at = next;
        }
    }
    for (size_t i = 0; i < result.all.size() && signer; ++i) {
        if (std::count(result.chain.begin(), result.chain.end(), i) != 0) continue;
        bool issuesAnother = std::any_of(result.all.begin(), result.all.end(), [&](const CertificateInfo& c) {
            return &c != &result.all[i] && c.issuer == result.all[i].subject;
        });
        if (!issuesAnother) {
            result.countersigner = i;
            break;
        }
    }
    return result;
}

std::string ChainEnd(const CatalogCertificates& certificates) {
    return certificates.chain.empty() ? std::string() : certificates.all[certificates.chain.back()].issuer;
}

void NameChainEnd(const std::wstring& path, const tvt::ICatalogEvidence* evidence, std::string& words) {
    std::string end = ChainEnd(ReadCatalogCertificates(path, evidence));
    if (!end.empty()) words += " (it ends at \"" + end + "\")";
}

}  // namespace korva::cattool
