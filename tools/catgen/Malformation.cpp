#include "tools/catgen/Malformation.h"

namespace korva::catgen {

const std::vector<MalformationName>& MalformationNames() {
    static const std::vector<MalformationName> names = {
        {Malformation::kNone, "none", "a well-formed catalog"},
        {Malformation::kNotSignedData, "not-signed-data", "the outer content type is id-data"},
        {Malformation::kUnsigned, "unsigned", "no digest algorithm, certificates or signer"},
        {Malformation::kWrongContentType, "wrong-content-type", "the signed content is id-data, not a trust list"},
        {Malformation::kNestedIndefiniteLength, "nested-indefinite-length",
         "the signed content is wrapped with an indefinite length"},
        {Malformation::kUnknownDigestAlgorithm, "unknown-digest-algorithm", "digestAlgorithms names SHA-224"},
        {Malformation::kTwoDigestAlgorithms, "two-digest-algorithms", "digestAlgorithms holds SHA-1 and SHA-256"},
        {Malformation::kNoCertificates, "no-certificates", "the certificates field is left out"},
        {Malformation::kWithCrls, "with-crls", "an empty crls field before the signerInfos"},
        {Malformation::kMissingAuthenticatedAttributes, "missing-authenticated-attributes",
         "the signer signs the content digest without attributes"},
        {Malformation::kMissingMessageDigest, "missing-message-digest", "no message-digest attribute"},
        {Malformation::kBadMessageDigest, "bad-message-digest", "the message-digest attribute holds a wrong digest"},
        {Malformation::kOddMessageDigestLength, "odd-message-digest-length",
         "the message-digest attribute is 24 octets long"},
        {Malformation::kBadContentDigest, "bad-content-digest", "a member hash was changed after signing"},
        {Malformation::kUnknownSignatureAlgorithm, "unknown-signature-algorithm",
         "digestEncryptionAlgorithm is RSASSA-PSS"},
        {Malformation::kBadSignature, "bad-signature", "one bit of the encryptedDigest flipped"},
        {Malformation::kBareDigestSignature, "bare-digest-signature", "the RSA block holds a bare digest"},
        {Malformation::kExtraSignerInfoField, "extra-signer-info-field",
         "an element after the unauthenticated attributes"},
        {Malformation::kUndecodableCertificate, "undecodable-certificate",
         "a SEQUENCE among the certificates that is no certificate"},
        {Malformation::kUnknownSigner, "unknown-signer", "the SignerInfo names a serial no embedded certificate has"},
        {Malformation::kBrokenChain, "broken-chain", "the intermediate certificates are not embedded"},
        {Malformation::kBadCertificateSignature, "bad-certificate-signature",
         "the embedded issuing CA certificate's signature is damaged"},
        {Malformation::kUntrustedRoot, "untrusted-root", "the signer chain ends in a fresh, untrusted root"},
        {Malformation::kSelfSignedSigner, "self-signed-signer", "the signer certificate signs itself"},
        {Malformation::kBadCountersignature, "bad-countersignature", "the countersigner's signature is damaged"},
        {Malformation::kBadCountersignatureDigest, "bad-countersignature-digest",
         "the countersignature's message digest is not the signature's digest"},
        {Malformation::kBadTimestampImprint, "bad-timestamp-imprint",
         "the time-stamp imprint is not the signature's digest"},
        {Malformation::kTimestampWithoutCertificates, "timestamp-without-certificates",
         "the time-stamp token embeds no certificates"},
        {Malformation::kUntrustedTimestampRoot, "untrusted-timestamp-root",
         "the time-stamping chain ends in a fresh, untrusted root"},
    };
    return names;
}

std::optional<Malformation> MalformationFromName(std::string_view name) {
    for (const MalformationName& entry : MalformationNames()) {
        if (entry.name == name) return entry.malformation;
    }
    return std::nullopt;
}

std::string_view NameOf(Malformation malformation) {
    for (const MalformationName& entry : MalformationNames()) {
        if (entry.malformation == malformation) return entry.name;
    }
    return {};
}

bool NeedsTimestamp(Malformation malformation) {
    switch (malformation) {
        case Malformation::kBadCountersignature:
        case Malformation::kBadCountersignatureDigest:
        case Malformation::kBadTimestampImprint:
        case Malformation::kTimestampWithoutCertificates:
        case Malformation::kUntrustedTimestampRoot:
            return true;
        default:
            return false;
    }
}

}  // namespace korva::catgen
