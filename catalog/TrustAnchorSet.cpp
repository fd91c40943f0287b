#include "catalog/TrustAnchorSet.h"

#include "catalog/CertContext.h"
#include "catalog/CertKey.h"
#include "catalog/CertResult.h"
#include "platform/Trace.h"
#include "toolkit/CertificateLists.h"
#include "toolkit/Dispatch.h"
#include "toolkit/PathParams.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace toolkit = korva::toolkit;
namespace trace = korva::trace;

// A root's self-check: its own signature, whatever the date.
constexpr toolkit::PathParams kSelfCheck{toolkit::kPathKindAlternative, toolkit::kPathNoValidity, nullptr, nullptr,
                                         0, nullptr};

toolkit::Status Stop(uint32_t number, const RootRow& row, toolkit::Status status) {
    trace::Emit(trace::Source::CertContext, number, trace::Level::Error, {trace::Num(row.id), trace::Num(status)});
    return status;
}

void Skip(uint32_t number, const RootRow& row, toolkit::Status status) {
    trace::Emit(trace::Source::CertContext, number, trace::Level::Warning, {trace::Num(row.id), trace::Num(status)});
}

bool IsOutOfMemory(toolkit::Status status) {
    return status == toolkit::kOutOfMemory || status == toolkit::kCoreOutOfMemory;
}

// Verifies the row's self-signature unless its mark says that was done,
// and adds the certificate to `list` when it holds. Only a failure that
// stops the whole build is returned; a root that does not verify is left out.
toolkit::Status AddRootTo(toolkit::ObjectList* list, toolkit::CertObject* cert, RootRow& row) {
    if (row.verified.load() != 0) {
        toolkit::Status status = toolkit::CertListAppendReference(list, cert, nullptr);
        return status == toolkit::kOk ? status : Stop(24, row, status);
    }
    CCertKey key;
    if (uint32_t result = key.FromCertificate(cert); result != kCertSuccess) {
        return Stop(17, row, result == kCertOutOfMemory ? toolkit::kOutOfMemory : toolkit::kSignatureMismatch);
    }
    toolkit::Status status = toolkit::PathVerifyRequest(cert->context, &kSelfCheck, cert, key.key());
    // Running out of memory says nothing about the root: stop rather than
    // build a set that lacks it.
    if (IsOutOfMemory(status)) return Stop(20, row, toolkit::kOutOfMemory);
    if (status == toolkit::kPathRejected) {
        Skip(19, row, status);
        return toolkit::kOk;
    }
    if (status != toolkit::kOk) {
        Skip(20, row, status);
        return toolkit::kOk;
    }
    MarkRootVerified(row);
    status = toolkit::CertListAppendReference(list, cert, nullptr);
    return status == toolkit::kOk ? status : Stop(22, row, status);
}

toolkit::Status AddRoot(toolkit::ObjectList* list, toolkit::ToolkitContext* context, RootRow& row) {
    toolkit::CertObject* cert = nullptr;
    toolkit::Status status = toolkit::CertCreate(&cert, context);
    if (status != toolkit::kOk) return Stop(13, row, status);
    status = toolkit::CertSetEncoding(cert, row.der, static_cast<uint32_t>(row.length));
    status = status == toolkit::kOk ? AddRootTo(list, cert, row) : Stop(15, row, status);
    toolkit::CertFree(&cert);
    return status;
}

toolkit::Status AddGroup(toolkit::ObjectList* list, toolkit::ToolkitContext* context, uint32_t group,
                         std::span<RootRow> table, const CExtraRoots* extraRoots) {
    for (RootRow& row : table) {
        if (RootGroup(row.id) != group) continue;
        if (toolkit::Status status = AddRoot(list, context, row); status != toolkit::kOk) return status;
    }
    for (ExtraRoot* root = extraRoots != nullptr ? extraRoots->first() : nullptr; root != nullptr; root = root->next) {
        if (root->group != group) continue;
        if (toolkit::Status status = AddRoot(list, context, root->row); status != toolkit::kOk) return status;
    }
    return toolkit::kOk;
}

void FreeLists(toolkit::ObjectList* (&lists)[kRootGroupCount]) {
    for (toolkit::ObjectList*& list : lists) toolkit::ObjectListFree(&list);
}

}  // namespace

toolkit::Status BuildTrustAnchorSet(TrustAnchorSet& set, const CCertContext& context, std::span<RootRow> table) {
    if (set.complete()) return toolkit::kOk;
    if (!context.started()) return toolkit::kInvalidArgument;
    toolkit::ObjectList* lists[kRootGroupCount] = {};
    for (toolkit::ObjectList*& list : lists) {
        if (toolkit::ObjectListCreate(&list) != toolkit::kOk) {
            FreeLists(lists);
            return toolkit::kOutOfMemory;
        }
    }
    for (uint32_t group = 1; group <= kRootGroupCount; ++group) {
        toolkit::Status status = AddGroup(lists[group - 1], context.context(), group, table, set.extraRoots);
        if (status != toolkit::kOk) {
            FreeLists(lists);
            return status;
        }
    }
    FreeLists(set.lists);
    for (uint32_t i = 0; i < kRootGroupCount; ++i) set.lists[i] = lists[i];
    return toolkit::kOk;
}

void ReleaseTrustAnchorSet(TrustAnchorSet& set) { FreeLists(set.lists); }

}  // namespace TarnVerifyTrustDriver
