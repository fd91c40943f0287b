// The value handlers of the built-in extension types. Structured values are
// those of ExtensionValues.h; the rest keep their octets.
#pragma once

#include "toolkit/ExtensionTypeRegistry.h"

namespace korva::toolkit {

// Any octets at all ("UNKNOWN_TYPE").
extern const ExtensionValueHandlers kRawValueHandlers;
// Exactly one well-formed DER element.
extern const ExtensionValueHandlers kDerElementValueHandlers;

extern const ExtensionValueHandlers kAltNameValueHandlers;
extern const ExtensionValueHandlers kAuthorityKeyIdentifierValueHandlers;
extern const ExtensionValueHandlers kSubjectKeyIdentifierValueHandlers;
extern const ExtensionValueHandlers kBasicConstraintsValueHandlers;
extern const ExtensionValueHandlers kKeyUsageValueHandlers;
extern const ExtensionValueHandlers kExtKeyUsageValueHandlers;
extern const ExtensionValueHandlers kNameConstraintsValueHandlers;
extern const ExtensionValueHandlers kCertificatePoliciesValueHandlers;
extern const ExtensionValueHandlers kPolicyMappingsValueHandlers;
extern const ExtensionValueHandlers kPolicyConstraintsValueHandlers;
extern const ExtensionValueHandlers kInhibitAnyPolicyValueHandlers;

}  // namespace korva::toolkit
