// Status codes of the certificate toolkit. 0 is success; the certificate layer
// uses 1792-2047, the cryptographic core its own small numbers (500-560) and a
// second family 2048-2057, which StatusTranslate maps at the boundary.
#pragma once

#include <cstdint>

namespace korva::toolkit {

using Status = uint32_t;

inline constexpr Status kOk = 0;

// Codes of the cryptographic core.
inline constexpr Status kCoreInvalidAlgorithm = 516;
inline constexpr Status kCoreKeyFormatNotApplicable = 517;
inline constexpr Status kCoreOutOfMemory = 518;
inline constexpr Status kCoreFailure = 519;
inline constexpr Status kCoreDataMissing = 520;
inline constexpr Status kCoreOutputTooSmall = 522;
inline constexpr Status kCoreInputMissing = 524;
inline constexpr Status kCoreInputTruncated = 525;
inline constexpr Status kCoreKeyHoldsOtherFormat = 526;
// Not a valid PKCS #1 v1.5 type-1 block, or a value not below the modulus.
inline constexpr Status kCoreBadSignatureBlock = 527;
inline constexpr Status kCoreKeyUnusable = 528;
inline constexpr Status kCoreInvalidKey = 530;
inline constexpr Status kCoreInfoTypeNotApplicable = 531;
inline constexpr Status kCoreBadValue = 536;
inline constexpr Status kCoreBadParameter = 537;
inline constexpr Status kCoreInvalidRandom = 539;
inline constexpr Status kCoreVerifyFailed = 542;
inline constexpr Status kCoreLookupNoOid = 552;
inline constexpr Status kCoreLookupUnknownOid = 553;
inline constexpr Status kCoreLookupBadLength = 554;
// The core's second family.
inline constexpr Status kCoreFamilyTruncated = 2048;
inline constexpr Status kCoreFamilyInputMissing = 2049;
inline constexpr Status kCoreFamilyBadValue = 2050;
inline constexpr Status kCoreFamilyOutOfMemory = 2051;
inline constexpr Status kCoreFamilyDataMissingFirst = 2052;
inline constexpr Status kCoreFamilyDataMissingLast = 2057;

// Codes of the certificate layer.
inline constexpr Status kCertLayerFirst = 1792;
inline constexpr Status kCertLayerLast = 2047;
inline constexpr Status kOutOfMemory = 1792;
inline constexpr Status kMalformedEncoding = 1793;
inline constexpr Status kCorePassedThrough = 1794;
inline constexpr Status kDataMissing = 1795;
inline constexpr Status kIndexOutOfRange = 1796;
inline constexpr Status kInputMissing = 1797;
inline constexpr Status kInputTruncated = 1798;
inline constexpr Status kInvalidArgument = 1799;
inline constexpr Status kNotFound = 1800;
inline constexpr Status kWrongObjectKind = 1801;
inline constexpr Status kBadValue = 1802;
inline constexpr Status kBadParameter = 1803;
inline constexpr Status kValidityReversed = 1804;
inline constexpr Status kNameStringTypeNotAllowed = 1805;
inline constexpr Status kNameBadCharacter = 1809;
inline constexpr Status kNameBadLength = 1810;
inline constexpr Status kInvalidName = 1814;
inline constexpr Status kNoEncodingToVerify = 1818;
inline constexpr Status kUnsupportedPublicKeyAlgorithm = 1819;
inline constexpr Status kIssuerNameUnparsable = 1821;
inline constexpr Status kUnsupportedKeyFormat = 1822;
inline constexpr Status kSignatureMismatch = 1823;
inline constexpr Status kSignatureAlgorithmUnknown = 1826;
inline constexpr Status kSubjectNameUnparsable = 1828;
inline constexpr Status kSignatureAlgorithmUnsupported = 1829;
inline constexpr Status kInvalidCertificate = 1831;
inline constexpr Status kVersionMismatch = 1833;
inline constexpr Status kExtensionsUnparsable = 1834;
inline constexpr Status kSignatureUncheckable = 1838;
inline constexpr Status kInvalidObjectList = 1846;
inline constexpr Status kDuplicateExtension = 1847;
inline constexpr Status kExtensionNotAllowedHere = 1848;
inline constexpr Status kInvalidExtensionList = 1849;
inline constexpr Status kStrictCriticality = 1850;
inline constexpr Status kUnknownCriticalExtension = 1852;
inline constexpr Status kInvalidContext = 1854;
inline constexpr Status kBadAllowedIn = 1856;
inline constexpr Status kMethodsIncomplete = 1857;
inline constexpr Status kHandlersNotReplaceable = 1858;
inline constexpr Status kCriticalityMismatch = 1859;
inline constexpr Status kNoProvider = 1860;
inline constexpr Status kProviderRegistered = 1861;
inline constexpr Status kPathAtTrustAnchor = 1872;
inline constexpr Status kPathRejected = 1873;
inline constexpr Status kNotForThisProvider = 1874;
inline constexpr Status kExtensionNotice = 1875;
inline constexpr Status kNoAcceptablePolicy = 1876;
inline constexpr Status kAnyPolicyMapping = 1877;
inline constexpr Status kNoContextFlags = 2032;

// Severities of StatusReport; only an error makes it return the code.
inline constexpr uint32_t kSeverityNotice = 0;
inline constexpr uint32_t kSeverityWarning = 1;
inline constexpr uint32_t kSeverityError = 2;

// Maps a core code to the certificate layer's; other codes pass unchanged.
Status StatusTranslate(Status code);
// Keeps out-of-memory and 1794 visible; every other cause becomes `fallback`.
Status StatusKeepFatal(Status code, Status fallback);
Status StatusTranslateKeepFatal(Status code, Status fallback);

}  // namespace korva::toolkit
