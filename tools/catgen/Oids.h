// Object identifiers that more than one part of the generator writes.
#pragma once

#include <string_view>

namespace korva::catgen::oid {

inline constexpr std::string_view kData = "1.2.840.113549.1.7.1";
inline constexpr std::string_view kSignedData = "1.2.840.113549.1.7.2";
inline constexpr std::string_view kContentType = "1.2.840.113549.1.9.3";
inline constexpr std::string_view kMessageDigest = "1.2.840.113549.1.9.4";
inline constexpr std::string_view kSigningTime = "1.2.840.113549.1.9.5";
inline constexpr std::string_view kRsaEncryption = "1.2.840.113549.1.1.1";

}  // namespace korva::catgen::oid
