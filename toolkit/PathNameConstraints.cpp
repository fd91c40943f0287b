#include "toolkit/PathNameConstraints.h"

#include <algorithm>

#include "runtime/MemoryService.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/PathExtensions.h"
#include "toolkit/PathReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

// emailAddress, 1.2.840.113549.1.9.1.
constexpr uint8_t kEmailAddress[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x09, 0x01};

enum class Within { Yes, No, Uncheckable };

struct Text {
    const uint8_t* data;
    uint32_t length;

    Text Tail(uint32_t from) const { return Text{data + from, length - from}; }
    Text Head(uint32_t to) const { return Text{data, to}; }
    // The position of the last `c`, or `length`.
    uint32_t LastOf(uint8_t c) const {
        for (uint32_t i = length; i-- > 0;) {
            if (data[i] == c) return i;
        }
        return length;
    }
};

uint8_t Lower(uint8_t c) {
    return c >= 'A' && c <= 'Z' ? static_cast<uint8_t>(c + ('a' - 'A')) : c;
}

bool EqualIgnoringCase(Text a, Text b) {
    if (a.length != b.length) return false;
    for (uint32_t i = 0; i < a.length; ++i) {
        if (Lower(a.data[i]) != Lower(b.data[i])) return false;
    }
    return true;
}

bool EndsWithIgnoringCase(Text name, Text suffix) {
    return name.length >= suffix.length && EqualIgnoringCase(name.Tail(name.length - suffix.length), suffix);
}

// A host within a domain constraint: ".example.com" takes every host below
// it, "example.com" that host and (for DNS names) those below it.
bool HostWithin(Text host, Text base, bool subdomainsOfPlainBase) {
    if (base.length == 0) return true;
    if (base.data[0] == '.') return EndsWithIgnoringCase(host, base);
    if (EqualIgnoringCase(host, base)) return true;
    return subdomainsOfPlainBase && host.length > base.length && EndsWithIgnoringCase(host, base) &&
           host.data[host.length - base.length - 1] == '.';
}

bool MailboxWithin(Text mailbox, Text base) {
    if (base.LastOf('@') != base.length) return EqualIgnoringCase(mailbox, base);
    uint32_t at = mailbox.LastOf('@');
    if (at == mailbox.length) return false;
    return HostWithin(mailbox.Tail(at + 1), base, false);
}

// The host part of a URI: after "scheme://" and any user information, up
// to a port, path, query or fragment.
Text UriHost(Text uri) {
    uint32_t start = 0;
    for (uint32_t i = 0; i + 2 < uri.length; ++i) {
        if (uri.data[i] == ':' && uri.data[i + 1] == '/' && uri.data[i + 2] == '/') {
            start = i + 3;
            break;
        }
    }
    uint32_t end = start;
    while (end < uri.length && uri.data[end] != '/' && uri.data[end] != '?' && uri.data[end] != '#') ++end;
    Text authority{uri.data + start, end - start};
    uint32_t at = authority.LastOf('@');
    if (at != authority.length) authority = authority.Tail(at + 1);
    uint32_t colon = authority.LastOf(':');
    return colon != authority.length ? authority.Head(colon) : authority;
}

bool AddressWithin(Text address, Text base) {
    if (base.length != address.length * 2 || (address.length != 4 && address.length != 16)) return false;
    for (uint32_t i = 0; i < address.length; ++i) {
        uint8_t mask = base.data[address.length + i];
        if ((address.data[i] & mask) != (base.data[i] & mask)) return false;
    }
    return true;
}

// The base Name's attribute values lead the name's, RDN by RDN.
Within DirectoryWithin(ToolkitContext* context, const NameObject* name, const ValueBytes& base, Status* failure) {
    NameObject* prefix = nullptr;
    Within result = Within::No;
    *failure = NameCreate(context, &prefix);
    if (*failure != kOk) return Within::No;
    uint32_t prefixCount = 0;
    uint32_t nameCount = 0;
    if (NameSetEncoding(prefix, base.data, base.length) == kOk && NameCount(prefix, &prefixCount) == kOk &&
        NameCount(name, &nameCount) == kOk && prefixCount <= nameCount) {
        result = Within::Yes;
        for (uint32_t i = 0; i < prefixCount && result == Within::Yes; ++i) {
            NameAttribute a{};
            NameAttribute b{};
            bool same = NameGetAttribute(prefix, i, &a) == kOk && NameGetAttribute(name, i, &b) == kOk &&
                        a.typeLength == b.typeLength && std::equal(a.type, a.type + a.typeLength, b.type) &&
                        (a.firstInRdn != 0) == (b.firstInRdn != 0) && NameValuesEqual(a, b);
            if (!same) result = Within::No;
        }
    }
    NameFree(&prefix);
    return result;
}

// A name to check: a general name, or the subject as a directory name.
struct CheckedName {
    uint32_t form;
    Text text;                 // the name's octets (not for the subject)
    const NameObject* directory;  // the subject, or a directoryName parsed for the check
};

Within NameWithin(ToolkitContext* context, const CheckedName& name, const GeneralName& base, Status* failure) {
    Text baseText{base.value.data, base.value.length};
    switch (name.form) {
    case kGeneralNameRfc822:
        return MailboxWithin(name.text, baseText) ? Within::Yes : Within::No;
    case kGeneralNameDns:
        return HostWithin(name.text, baseText, true) ? Within::Yes : Within::No;
    case kGeneralNameUri:
        return HostWithin(UriHost(name.text), baseText, false) ? Within::Yes : Within::No;
    case kGeneralNameIpAddress:
        return AddressWithin(name.text, baseText) ? Within::Yes : Within::No;
    case kGeneralNameDirectory:
        return DirectoryWithin(context, name.directory, base.value, failure);
    default:
        return Within::Uncheckable;
    }
}

// One name against one certificate's constraints: 1873 with `notPermitted`
// or `excluded` as reason.
Status CheckOne(ToolkitContext* context, const NameConstraintsValue& constraints, const CheckedName& name,
                PathReason notPermitted, PathReason excluded) {
    if (name.form != kGeneralNameRfc822 && name.form != kGeneralNameDns && name.form != kGeneralNameUri &&
        name.form != kGeneralNameIpAddress && name.form != kGeneralNameDirectory) {
        PathWarn(context, "AltName type invalid");
        return kOk;
    }
    Status failure = kOk;
    for (uint32_t i = 0; i < constraints.excludedCount; ++i) {
        const GeneralName& base = constraints.excluded[i].base;
        if (base.form == name.form && NameWithin(context, name, base, &failure) == Within::Yes) {
            return PathReject(context, excluded);
        }
        if (failure != kOk) return failure;
    }
    if (constraints.permittedCount == 0) return kOk;
    for (uint32_t i = 0; i < constraints.permittedCount; ++i) {
        const GeneralName& base = constraints.permitted[i].base;
        if (base.form == name.form && NameWithin(context, name, base, &failure) == Within::Yes) return kOk;
        if (failure != kOk) return failure;
    }
    return PathReject(context, notPermitted);
}

}  // namespace

PathNameConstraints::~PathNameConstraints() {
    mem::FreeBuffer(taken_);
}

Status PathNameConstraints::TakeOver(const NameConstraintsValue* constraints) {
    auto* grown = static_cast<const NameConstraintsValue**>(
        mem::ReallocateBuffer(taken_, sizeof(const NameConstraintsValue*) * (count_ + 1)));
    if (grown == nullptr) return kOutOfMemory;
    taken_ = grown;
    taken_[count_++] = constraints;
    return kOk;
}

Status PathNameConstraints::Check(ToolkitContext* context, const CertFields& fields) {
    uint32_t subjectCount = 0;
    NameCount(fields.subject, &subjectCount);
    const auto* altNames = PathExtensionValue<AltNameValue>(fields.extensions, oid::kSubjectAltName);
    for (uint32_t c = 0; c < count_; ++c) {
        const NameConstraintsValue& constraints = *taken_[c];
        if (subjectCount != 0) {
            CheckedName subject{kGeneralNameDirectory, {}, fields.subject};
            Status status = CheckOne(context, constraints, subject, PathReason::kNameNotPermitted,
                                     PathReason::kNameExcluded);
            if (status != kOk) return status;
        }
        for (uint32_t i = 0; i < subjectCount; ++i) {
            NameAttribute attribute{};
            if (NameGetAttribute(fields.subject, i, &attribute) != kOk ||
                attribute.typeLength != sizeof kEmailAddress ||
                !std::equal(attribute.type, attribute.type + attribute.typeLength, kEmailAddress)) {
                continue;
            }
            CheckedName mailbox{kGeneralNameRfc822, {attribute.value, attribute.valueLength}, nullptr};
            Status status = CheckOne(context, constraints, mailbox, PathReason::kEmailNotPermitted,
                                     PathReason::kEmailExcluded);
            if (status != kOk) return status;
        }
        for (uint32_t i = 0; altNames != nullptr && i < altNames->names.count; ++i) {
            const GeneralName& general = altNames->names.names[i];
            CheckedName name{general.form, {general.value.data, general.value.length}, nullptr};
            NameObject* directory = nullptr;
            if (general.form == kGeneralNameDirectory) {
                if (Status status = NameCreate(context, &directory); status != kOk) return status;
                NameSetEncoding(directory, general.value.data, general.value.length);
                name.directory = directory;
            }
            Status status =
                CheckOne(context, constraints, name, PathReason::kNameNotPermitted, PathReason::kNameExcluded);
            NameFree(&directory);
            if (status != kOk) return status;
        }
    }
    return kOk;
}

}  // namespace korva::toolkit
