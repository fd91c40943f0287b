// The CRL store of the in-memory database: insertion without duplicates,
// the latest CRL of an issuer by time, iteration and deletion.
#include "toolkit/Crl.h"
#include "toolkit/ImdbStore.h"

namespace korva::toolkit {

namespace {

Status CrlStore(ToolkitContext* context, void* handle, ImdbHandle** imdb, const char* file, uint32_t line) {
    if (Status status = ImdbHandleCheck(context, handle, imdb, file, line); status != kOk) return status;
    return ImdbStoreCheck(context, (*imdb)->crls, file, line);
}

CrlObject* ListCrl(const ObjectList* list, uint32_t index) {
    void* payload = nullptr;
    return ObjectListGet(list, index, &payload) == kOk ? static_cast<CrlObject*>(payload) : nullptr;
}

// Adds a reference to `crl` unless an equal CRL is in `list` already.
Status AppendCrlOnce(ObjectList* list, CrlObject* crl) {
    uint32_t count = 0;
    if (Status status = ObjectListCount(list, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        const CrlObject* present = ListCrl(list, i);
        if (IsCrl(present) && CrlEqual(crl, present)) return kOk;
    }
    return ObjectListAppend(list, crl, nullptr, &kListByReference);
}

Status CrlWalk(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out, bool first) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CrlStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    return ImdbWalk(context, imdb->crls, iterator, first,
                    [&](uint32_t index) { return AppendCrlOnce(out, ListCrl(imdb->crls, index)); });
}

}  // namespace

Status ImdbInsertCrl(ToolkitContext* context, void* handle, CrlObject* crl) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CrlStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    if (!IsCrl(crl)) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "crl");
    return AppendCrlOnce(imdb->crls, crl);
}

Status ImdbSelectCrl(ToolkitContext* context, void* handle, const NameObject* issuer, uint32_t time, ObjectList* out) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CrlStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    uint32_t count = 0;
    if (Status status = ObjectListCount(imdb->crls, &count); status != kOk) return status;
    // The latest thisUpdate not after `time`; on ties the last in store order.
    CrlObject* best = nullptr;
    uint32_t bestUpdate = 0;
    for (uint32_t i = 0; i < count; ++i) {
        CrlObject* crl = ListCrl(imdb->crls, i);
        if (NameCompare(crl->issuer, issuer) != 0 || crl->thisUpdate < bestUpdate || crl->thisUpdate > time) continue;
        best = crl;
        bestUpdate = crl->thisUpdate;
    }
    return best != nullptr ? AppendCrlOnce(out, best) : kNotFound;
}

Status ImdbFirstCrl(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out) {
    return CrlWalk(context, handle, iterator, out, true);
}

Status ImdbNextCrl(ToolkitContext* context, void* handle, ImdbIterator* iterator, ObjectList* out) {
    return CrlWalk(context, handle, iterator, out, false);
}

Status ImdbDeleteCrl(ToolkitContext* context, void* handle, const NameObject* issuer, uint32_t thisUpdate) {
    ImdbHandle* imdb = nullptr;
    if (Status status = CrlStore(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    uint32_t count = 0;
    if (Status status = ObjectListCount(imdb->crls, &count); status != kOk) return status;
    for (uint32_t i = 0; i < count; ++i) {
        const CrlObject* crl = ListCrl(imdb->crls, i);
        if (NameCompare(crl->issuer, issuer) == 0 && crl->thisUpdate == thisUpdate) {
            return ObjectListRemove(imdb->crls, i);
        }
    }
    return kNotFound;
}

}  // namespace korva::toolkit
