// Selecting certificates of the in-memory database by a leading part of the
// subject name and by extension values.
#include <cstring>

#include "toolkit/CertificateLists.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/ImdbStore.h"

namespace korva::toolkit {

namespace {

bool SameBytes(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
    return aLength == bLength && (aLength == 0 || std::memcmp(a, b, aLength) == 0);
}

bool SameBytes(const ValueBytes& a, const ValueBytes& b) {
    return SameBytes(a.data, a.length, b.data, b.length);
}

template <size_t N>
bool IsOid(const uint8_t* oid, uint32_t oidLength, const uint8_t (&expected)[N]) {
    return SameBytes(oid, oidLength, expected, N);
}

// The filter's attribute values are a leading part of the subject's.
Status NameFilterMatches(const NameObject* filter, const NameObject* subject, bool* matches) {
    uint32_t filterCount = 0;
    uint32_t subjectCount = 0;
    *matches = false;
    if (Status status = NameCount(filter, &filterCount); status != kOk) return status;
    if (Status status = NameCount(subject, &subjectCount); status != kOk) return status;
    if (filterCount > subjectCount) return kOk;
    for (uint32_t i = 0; i < filterCount; ++i) {
        NameAttribute wanted{};
        NameAttribute have{};
        if (Status status = NameGetAttribute(filter, i, &wanted); status != kOk) return status;
        if (Status status = NameGetAttribute(subject, i, &have); status != kOk) return status;
        if (!SameBytes(wanted.type, wanted.typeLength, have.type, have.typeLength) ||
            (wanted.firstInRdn != 0) != (have.firstInRdn != 0) || !NameValuesEqual(wanted, have)) {
            return kOk;
        }
    }
    *matches = true;
    return kOk;
}

bool SomeGeneralNameShared(const GeneralNames& wanted, const GeneralNames& have) {
    for (uint32_t i = 0; i < wanted.count; ++i) {
        for (uint32_t j = 0; j < have.count; ++j) {
            if (wanted.names[i].form == have.names[j].form && SameBytes(wanted.names[i].value, have.names[j].value)) {
                return true;
            }
        }
    }
    return false;
}

bool SomeOidShared(const OidListValue& wanted, const OidListValue& have) {
    for (uint32_t i = 0; i < wanted.count; ++i) {
        for (uint32_t j = 0; j < have.count; ++j) {
            if (SameBytes(wanted.oids[i], have.oids[j])) return true;
        }
    }
    return false;
}

// Whether one value of the certificate's extension matches the filter's,
// by the rule of the extension's type.
bool ValueMatches(const uint8_t* oid, uint32_t oidLength, const void* wanted, const void* have) {
    if (IsOid(oid, oidLength, oid::kSubjectAltName) || IsOid(oid, oidLength, oid::kIssuerAltName)) {
        return SomeGeneralNameShared(static_cast<const AltNameValue*>(wanted)->names,
                                     static_cast<const AltNameValue*>(have)->names);
    }
    if (IsOid(oid, oidLength, oid::kKeyUsage)) {
        uint32_t bits = static_cast<const KeyUsageValue*>(wanted)->bits;
        return (static_cast<const KeyUsageValue*>(have)->bits & bits) == bits;
    }
    if (IsOid(oid, oidLength, oid::kExtKeyUsage)) {
        return SomeOidShared(*static_cast<const OidListValue*>(wanted), *static_cast<const OidListValue*>(have));
    }
    return SameBytes(static_cast<const ExtensionValueHead*>(wanted)->der,
                     static_cast<const ExtensionValueHead*>(have)->der);
}

// Whether any value pair of one filter entry and the certificate's entry matches.
Status EntryMatches(const ExtensionList* filter, uint32_t filterIndex, const ExtensionList* extensions,
                    uint32_t index, bool* matches) {
    const uint8_t* oid = nullptr;
    uint32_t oidLength = 0;
    uint32_t wantedCount = 0;
    uint32_t haveCount = 0;
    *matches = false;
    if (Status status = ExtensionListGetOid(filter, filterIndex, &oid, &oidLength); status != kOk) return status;
    if (Status status = ExtensionListValueCount(filter, filterIndex, &wantedCount); status != kOk) return status;
    if (Status status = ExtensionListValueCount(extensions, index, &haveCount); status != kOk) return status;
    for (uint32_t i = 0; i < wantedCount && !*matches; ++i) {
        const void* wanted = nullptr;
        if (Status status = ExtensionListGetValue(filter, filterIndex, i, &wanted); status != kOk) return status;
        for (uint32_t j = 0; j < haveCount && !*matches; ++j) {
            const void* have = nullptr;
            if (Status status = ExtensionListGetValue(extensions, index, j, &have); status != kOk) return status;
            *matches = ValueMatches(oid, oidLength, wanted, have);
        }
    }
    return kOk;
}

// Every extension of the filter is in the certificate's list with a
// matching value; a certificate without extensions never matches.
Status ExtensionFilterMatches(const ExtensionList* filter, const ExtensionList* extensions, bool* matches) {
    *matches = false;
    if (extensions == nullptr) return kOk;
    uint32_t count = 0;
    if (Status status = ExtensionListCount(filter, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* oid = nullptr;
        uint32_t oidLength = 0;
        uint32_t index = 0;
        if (Status status = ExtensionListGetOid(filter, i, &oid, &oidLength); status != kOk) return status;
        Status found = ExtensionListFind(extensions, oid, oidLength, &index);
        if (found == kNotFound) return kOk;
        if (found != kOk) return found;
        bool entryMatches = false;
        if (Status status = EntryMatches(filter, i, extensions, index, &entryMatches); status != kOk) return status;
        if (!entryMatches) return kOk;
    }
    *matches = true;
    return kOk;
}

// A filter that cannot be evaluated skips the certificate; only running out
// of memory ends the request.
Status Passes(const NameObject* nameFilter, const ExtensionList* extensionFilter, const CertFields& fields,
              bool* passes) {
    *passes = false;
    Status status = nameFilter != nullptr ? NameFilterMatches(nameFilter, fields.subject, passes) : kOk;
    if (status == kOk && nameFilter == nullptr) *passes = true;
    if (status == kOk && *passes && extensionFilter != nullptr) {
        status = ExtensionFilterMatches(extensionFilter, fields.extensions, passes);
    }
    if (status != kOk) *passes = false;
    return status == kOutOfMemory ? kOutOfMemory : kOk;
}

}  // namespace

Status ImdbSelectCerts(ToolkitContext*, void* handle, const NameObject* nameFilter,
                       const ExtensionList* extensionFilter, ObjectList* out) {
    if (handle == nullptr) return kInvalidArgument;
    const auto* imdb = static_cast<const ImdbHandle*>(handle);
    if (imdb->certs == nullptr) return kWrongObjectKind;
    uint32_t count = 0;
    if (Status status = ObjectListCount(imdb->certs, &count); status != kOk) return status;
    CertListAppender appender(out);
    bool added = false;
    for (uint32_t i = 0; i < count; ++i) {
        void* payload = nullptr;
        CertFields fields{};
        if (Status status = ObjectListGet(imdb->certs, i, &payload); status != kOk) return status;
        auto* cert = static_cast<CertObject*>(payload);
        if (Status status = CertGetFields(cert, &fields); status != kOk) return status;
        bool passes = false;
        if (Status status = Passes(nameFilter, extensionFilter, fields, &passes); status != kOk) return status;
        if (!passes) continue;
        if (Status status = appender.Append(cert); status != kOk) return status;
        added = true;
    }
    return added ? kOk : kNotFound;
}

}  // namespace korva::toolkit
