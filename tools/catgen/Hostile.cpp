#include "tools/catgen/Hostile.h"

#include <openssl/bn.h>
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/param_build.h>

#include <memory>
#include <stdexcept>

#include "catalog/MicrosoftCatalogCallback.h"
#include "toolkit/PathSearch.h"
#include "tools/catgen/Catalog.h"

namespace korva::catgen {

namespace {


const char* const kIssuerSubject = "/CN=Hostile Issuing CA/O=Korva Test PKI";

Chain SignerChain(const Identity& root) {
    ChainOptions options;
    options.issuerSubject = kIssuerSubject;
    return BuildChain(root, options);
}

Bytes Serial(size_t number) {
    return {0x40, static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number)};
}

Bytes Signed(const CatalogOptions& options, const Chain& chain) {
    return BuildCatalog(options, chain, nullptr).der;
}

// The key's modulus with a public exponent of `octets` octets (odd, top bit set).
Key WithExponent(const Key& key, size_t octets) {
    BIGNUM* modulus = nullptr;
    if (EVP_PKEY_get_bn_param(key.get(), OSSL_PKEY_PARAM_RSA_N, &modulus) != 1) throw std::runtime_error("modulus");
    std::unique_ptr<BIGNUM, decltype(&BN_free)> n(modulus, BN_free), e(BN_new(), BN_free);
    BN_set_bit(e.get(), static_cast<int>(octets * 8 - 1));
    for (size_t bit = 0; bit < octets * 8; bit += 3) BN_set_bit(e.get(), static_cast<int>(bit));
    std::unique_ptr<OSSL_PARAM_BLD, decltype(&OSSL_PARAM_BLD_free)> build(OSSL_PARAM_BLD_new(), OSSL_PARAM_BLD_free);
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_N, n.get());
    OSSL_PARAM_BLD_push_BN(build.get(), OSSL_PKEY_PARAM_RSA_E, e.get());
    std::unique_ptr<OSSL_PARAM, decltype(&OSSL_PARAM_free)> params(OSSL_PARAM_BLD_to_param(build.get()), OSSL_PARAM_free);
    std::unique_ptr<EVP_PKEY_CTX, decltype(&EVP_PKEY_CTX_free)> context(EVP_PKEY_CTX_new_from_name(nullptr, "RSA", nullptr),
                                                                        EVP_PKEY_CTX_free);
    EVP_PKEY* out = nullptr;
    if (EVP_PKEY_fromdata_init(context.get()) != 1 ||
        EVP_PKEY_fromdata(context.get(), &out, EVP_PKEY_PUBLIC_KEY, params.get()) != 1) {
        throw std::runtime_error("public key with a large exponent");
    }
    return Key(out, EVP_PKEY_free);
}

}  // namespace

HostileCatalog BuildHostile(Hostile kind, size_t size, const Identity& root) {
    CatalogOptions options;
    options.trustList.members = SyntheticMembers(3, MemberHash::kSha256);
    Chain chain = SignerChain(root);
    const std::string count = std::to_string(size);
    switch (kind) {
        case Hostile::kLongNames: {
            // About 4 KiB per member: the name twice, once as UTF-16.
            const size_t members = size / 4200 + 1;
            options.trustList.members = SyntheticMembers(members, MemberHash::kSha256);
            for (Member& member : options.trustList.members) member.fileName += std::string(2000, 'n');
            return {"long names " + count + " octets", Signed(options, chain), true};
        }
        case Hostile::kManyMembers:
            options.trustList.members = SyntheticMembers(size, MemberHash::kSha1);
            return {count + " members", Signed(options, chain), true};
        case Hostile::kDeepNesting:
            return {count + " nesting levels", NestedSequences(size), false};
        case Hostile::kManyCertificates: {
            // Decoys with the issuing CA's name and key under a root nobody
            // trusts: each one verifies the leaf and leads nowhere.
            Identity decoyRoot = TestRoot("hostile-decoy-root", "Hostile Decoy Root");
            std::vector<Identity> decoys;
            for (size_t i = 0; i < size; ++i) {
                CertificateOptions decoy;
                decoy.subject = kIssuerSubject;
                decoy.serial = Serial(i + 1);
                decoy.ca = true;
                decoys.push_back(Issue(decoyRoot, chain.intermediates.front().key, decoy));
            }
            // Embedded after the leaf in reverse: the decoys come first.
            chain.intermediates.insert(chain.intermediates.end(), decoys.begin(), decoys.end());
            // The chain search takes about one step per decoy before it
            // reaches the real issuer: past its step cap the signer has no path.
            const bool withinLimit = chain.Embedded().size() <= TarnVerifyTrustDriver::CMicrosoftCatalogCallback::kMaxCertificates;
            const bool found = size < korva::toolkit::kPathMaxSearchSteps;
            return {count + " certificates", Signed(options, chain), withinLimit && found};
        }
        case Hostile::kCrossSigned: {
            // `size` layers of `size` certificates, each layer signed by every
            // one of the layer above; the top layer's issuer is nowhere.
            std::vector<Key> keys;
            for (size_t layer = 0; layer <= size; ++layer) keys.push_back(TestKey("hostile-layer-" + std::to_string(layer)));
            auto layerName = [](size_t layer) { return "/CN=Hostile Layer " + std::to_string(layer) + "/O=Korva Test PKI"; };
            CertificateOptions top;
            top.subject = layerName(size);
            top.ca = true;
            Identity above = SelfSigned(keys[size], top);
            std::vector<Identity> embedded;
            for (size_t layer = size; layer-- > 0;) {
                Identity first;
                for (size_t i = 0; i < size; ++i) {
                    CertificateOptions certificate;
                    certificate.subject = layerName(layer);
                    certificate.serial = Serial(layer * size + i + 1);
                    certificate.ca = true;
                    Identity made = Issue(above, keys[layer], certificate);
                    if (i == 0) first = made;
                    embedded.insert(embedded.begin(), made);
                }
                above = first;
            }
            ChainOptions leafOptions;
            Chain crossed = BuildChain(root, leafOptions);
            CertificateOptions leaf;
            leaf.subject = "/CN=Hostile Cross-Signed Publisher/O=Korva Test PKI";
            leaf.extendedKeyUsages = {std::string(kCodeSigningUsage)};
            crossed.leaf = Issue(above, crossed.leaf.key, leaf);
            crossed.intermediates = embedded;
            return {count + "x" + count + " cross-signed", Signed(options, crossed), false};
        }
        case Hostile::kLargeExponent: {
            // The embedded signer certificate carries the large exponent; the
            // signature is made with the real key and cannot verify.
            CertificateOptions leaf;
            leaf.subject = "/CN=Korva Test Code Signing Publisher/O=Korva Test PKI";
            leaf.extendedKeyUsages = {std::string(kCodeSigningUsage)};
            leaf.serial = Serial(7);
            Key real = chain.leaf.key;
            chain.leaf = Issue(chain.intermediates.front(), real, leaf);
            Chain hostile = chain;
            hostile.leaf.cert = Issue(chain.intermediates.front(), WithExponent(real, size), leaf).cert;
            return {count + "-octet exponent", Signed(options, hostile), false};
        }
    }
    return {};
}

}  // namespace korva::catgen
