// The ways a generated catalog can be made unacceptable on purpose, each one
// a rejection the catalog check must show, selectable by name.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace korva::catgen {

enum class Malformation {
    kNone,
    kNotSignedData,
    kUnsigned,
    kWrongContentType,
    kNestedIndefiniteLength,
    kUnknownDigestAlgorithm,
    kTwoDigestAlgorithms,
    kNoCertificates,
    kWithCrls,
    kMissingAuthenticatedAttributes,
    kMissingMessageDigest,
    kBadMessageDigest,
    kOddMessageDigestLength,
    kBadContentDigest,
    kUnknownSignatureAlgorithm,
    kBadSignature,
    kBareDigestSignature,
    kExtraSignerInfoField,
    kUndecodableCertificate,
    kUnknownSigner,
    kBrokenChain,
    kBadCertificateSignature,
    kUntrustedRoot,
    kSelfSignedSigner,
    kBadCountersignature,
    kBadCountersignatureDigest,
    kBadTimestampImprint,
    kTimestampWithoutCertificates,
    kUntrustedTimestampRoot,
};

struct MalformationName {
    Malformation malformation;
    std::string_view name;
    std::string_view description;
};

const std::vector<MalformationName>& MalformationNames();
std::optional<Malformation> MalformationFromName(std::string_view name);
std::string_view NameOf(Malformation malformation);
// Whether the malformation is about a countersignature or time-stamp, so
// that a catalog showing it needs one.
bool NeedsTimestamp(Malformation malformation);

}  // namespace korva::catgen
