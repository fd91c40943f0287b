#include "toolkit/PathPolicies.h"

#include <initializer_list>

#include "toolkit/ByteStringList.h"
#include "toolkit/ExtensionOids.h"
#include "toolkit/ExtensionValues.h"
#include "toolkit/PathExtensions.h"
#include "toolkit/PathLists.h"

namespace korva::toolkit {

namespace {

constexpr ByteString kAny{oid::kAnyPolicy, sizeof oid::kAnyPolicy};

ByteString Bytes(const ValueBytes& value) {
    return ByteString{value.data, value.length};
}

bool Holds(const ObjectList* set, ByteString policy) {
    uint32_t index = 0;
    return ByteStringListFind(set, policy, &index) == kOk;
}

Status AddOnce(ObjectList* set, ByteString policy) {
    return Holds(set, policy) ? kOk : ByteStringListAppend(set, policy, nullptr);
}

bool SelfIssued(const CertFields& fields) {
    return NameCompare(fields.subject, fields.issuer) == 0;
}

void Lower(uint32_t& counter, uint32_t limit) {
    if (limit < counter) counter = limit;
}

}  // namespace

PathPolicyState::~PathPolicyState() {
    ObjectListFree(&set_);
}

bool PathPolicyState::Active() const {
    return params_->kind == kPathKindValidate || (params_->flags & kPathNoPolicies) == 0;
}

Status PathPolicyState::Refuse(PathReason reason) {
    if (params_->kind == kPathKindAlternative) return kNoAcceptablePolicy;
    return PathReject(context_, reason);
}

Status PathPolicyState::Start(uint32_t length) {
    explicitPolicy_ = policyMapping_ = inhibitAnyPolicy_ = length + 1;
    if (params_->kind == kPathKindAlternative) {
        if ((params_->flags & kPathExplicitPolicy) != 0) explicitPolicy_ = 0;
        if ((params_->flags & kPathPolicyMappingInhibited) != 0) policyMapping_ = 0;
        if ((params_->flags & kPathAnyPolicyInhibited) != 0) inhibitAnyPolicy_ = 0;
    }
    if (Status status = ObjectListCreate(&set_); status != kOk) return status;
    uint32_t initial = PathListCount(params_->initialPolicies);
    for (uint32_t i = 0; i < initial; ++i) {
        ByteString policy{};
        if (ByteStringListGet(params_->initialPolicies, i, &policy) != kOk) continue;
        if (Status status = AddOnce(set_, policy); status != kOk) return status;
    }
    return PathListCount(set_) == 0 ? ByteStringListAppend(set_, kAny, nullptr) : kOk;
}

Status PathPolicyState::Intersect(const CertificatePoliciesValue& policies) {
    bool anyAcceptable = Holds(set_, kAny);
    bool certHoldsAny = false;
    ObjectList* next = nullptr;
    if (Status status = ObjectListCreate(&next); status != kOk) return status;
    Status status = kOk;
    for (uint32_t i = 0; status == kOk && i < policies.count; ++i) {
        ByteString policy = Bytes(policies.policies[i].policy);
        if (ByteStringsEqual(policy, kAny)) {
            certHoldsAny = inhibitAnyPolicy_ > 0;
        } else if (anyAcceptable || Holds(set_, policy)) {
            status = AddOnce(next, policy);
        }
    }
    if (status == kOk && certHoldsAny) {
        // anyPolicy in the certificate keeps whatever was acceptable.
        ObjectListFree(&next);
        return kOk;
    }
    if (status != kOk) {
        ObjectListFree(&next);
        return status;
    }
    ObjectListFree(&set_);
    set_ = next;
    none_ = PathListCount(set_) == 0;
    return kOk;
}

Status PathPolicyState::Process(const CertFields& fields) {
    if (!Active()) return kOk;
    bool wasNone = none_;
    const auto* policies = PathExtensionValue<CertificatePoliciesValue>(fields.extensions, oid::kCertificatePolicies);
    if (!none_ && policies == nullptr) none_ = true;
    if (!none_ && policies != nullptr) {
        if (Status status = Intersect(*policies); status != kOk) return status;
    }
    if (!none_ || explicitPolicy_ != 0) return kOk;
    if (wasNone) return Refuse(PathReason::kPolicySetEmpty);
    return Refuse(policies == nullptr ? PathReason::kNoPoliciesWhileRequired : PathReason::kNoPolicyAcceptable);
}

Status PathPolicyState::Map(const PolicyMappingsValue& mappings) {
    for (uint32_t i = 0; i < mappings.count; ++i) {
        ByteString from = Bytes(mappings.mappings[i].issuerDomainPolicy);
        ByteString to = Bytes(mappings.mappings[i].subjectDomainPolicy);
        if (ByteStringsEqual(from, kAny) || ByteStringsEqual(to, kAny)) {
            if (params_->kind == kPathKindAlternative) return kAnyPolicyMapping;
            continue;
        }
        uint32_t index = 0;
        if (none_ || ByteStringListFind(set_, from, &index) != kOk) continue;
        if (policyMapping_ == 0) {
            ObjectListRemove(set_, index);
            none_ = PathListCount(set_) == 0;
        } else if (Status status = AddOnce(set_, to); status != kOk) {
            return status;
        }
    }
    return kOk;
}

Status PathPolicyState::PassDown(const CertFields& fields) {
    if (!Active()) return kOk;
    if (const auto* mappings = PathExtensionValue<PolicyMappingsValue>(fields.extensions, oid::kPolicyMappings)) {
        if (Status status = Map(*mappings); status != kOk) return status;
    }
    if (!SelfIssued(fields)) {
        for (uint32_t* counter : {&explicitPolicy_, &policyMapping_, &inhibitAnyPolicy_}) {
            if (*counter != 0) --*counter;
        }
    }
    const auto* constraints =
        PathExtensionValue<PolicyConstraintsValue>(fields.extensions, oid::kPolicyConstraints);
    if (constraints != nullptr && constraints->hasRequireExplicitPolicy != 0) {
        Lower(explicitPolicy_, constraints->requireExplicitPolicy);
    }
    if (constraints != nullptr && constraints->hasInhibitPolicyMapping != 0) {
        Lower(policyMapping_, constraints->inhibitPolicyMapping);
    }
    if (const auto* inhibit = PathExtensionValue<InhibitAnyPolicyValue>(fields.extensions, oid::kInhibitAnyPolicy)) {
        Lower(inhibitAnyPolicy_, inhibit->skipCerts);
    }
    return kOk;
}

Status PathPolicyState::Finish(const CertFields& start, ObjectList* out) {
    if (!Active()) return kOk;
    if (explicitPolicy_ != 0) --explicitPolicy_;
    const auto* constraints = PathExtensionValue<PolicyConstraintsValue>(start.extensions, oid::kPolicyConstraints);
    if (constraints != nullptr && constraints->hasRequireExplicitPolicy != 0 &&
        constraints->requireExplicitPolicy == 0) {
        explicitPolicy_ = 0;
    }
    if (none_ && explicitPolicy_ == 0) return Refuse(PathReason::kPolicySetEmpty);
    for (uint32_t i = 0; out != nullptr && !none_ && i < PathListCount(set_); ++i) {
        ByteString policy{};
        if (ByteStringListGet(set_, i, &policy) != kOk) continue;
        if (Status status = AddOnce(out, policy); status != kOk) return status;
    }
    return kOk;
}

}  // namespace korva::toolkit
