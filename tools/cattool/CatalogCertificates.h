// The certificates a catalog carries, as explain shows them: its own and a
// time-stamp token's, found by the engine's walker and decoded by the
// certificate toolkit, so no second parser reads outside input.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "engine/CatalogEvidence.h"

namespace korva::cattool {

struct CertificateInfo {
    std::string subject;  // the name text the catalog keeps: common name, else unit
    std::string issuer;
    uint32_t notBefore = 0;  // seconds since 1970
    uint32_t notAfter = 0;
    std::string sha1;        // of the DER, hex
};

struct CatalogCertificates {
    std::vector<CertificateInfo> all;  // in document order
    std::vector<size_t> chain;         // indexes from the signer up, as far as the catalog carries it
    std::optional<size_t> countersigner;  // a certificate outside the chain that issues none of the others
};

// The name the chain ends at: the issuer of its last certificate, which the
// catalog does not carry; empty without a chain.
std::string ChainEnd(const CatalogCertificates& certificates);

// For a chain that reaches no trusted root, the words say where it ends.
void NameChainEnd(const std::wstring& path, const TarnVerifyTrustDriver::ICatalogEvidence* evidence,
                  std::string& words);

// The certificates of `catalog`'s bytes, the signer's chain ordered as below.
CatalogCertificates CatalogCertificatesOf(std::span<const uint8_t> catalog,
                                          const TarnVerifyTrustDriver::ICatalogEvidence* evidence);

// Reads the certificates of the catalog at `path` and orders the signer's
// chain from the certificate the callback took for the signer (its SHA-1,
// signer value 4) or, failing that, by the signer's subject.
CatalogCertificates ReadCatalogCertificates(const std::wstring& path,
                                            const TarnVerifyTrustDriver::ICatalogEvidence* evidence);

}  // namespace korva::cattool
