#include "toolkit/Imdb.h"

#include <initializer_list>

#include "runtime/MemoryService.h"
#include "toolkit/ImdbStore.h"
#include "toolkit/StatusReport.h"

namespace korva::toolkit {

namespace mem = TarnVerifyTrustDriver;

namespace {

void FillTable(ProviderFunction* funcs) {
    const ProviderFunction table[kImdbSlotCount] = {
        AsProviderFunction(&ImdbRelease),
        AsProviderFunction(&ImdbInsertCert),
        AsProviderFunction(&ImdbInsertCrl),
        AsProviderFunction(&ImdbInsertKeyForCert),
        AsProviderFunction(&ImdbInsertKey),
        AsProviderFunction(&ImdbSelectByIssuerSerial),
        AsProviderFunction(&ImdbSelectBySubject),
        AsProviderFunction(&ImdbSelectCerts),
        AsProviderFunction(&ImdbFirstCert),
        AsProviderFunction(&ImdbNextCert),
        AsProviderFunction(&ImdbEndIteration),
        AsProviderFunction(&ImdbSelectCrl),
        AsProviderFunction(&ImdbFirstCrl),
        AsProviderFunction(&ImdbNextCrl),
        AsProviderFunction(&ImdbEndIteration),
        AsProviderFunction(&ImdbGetKeyForCert),
        AsProviderFunction(&ImdbGetKey),
        AsProviderFunction(&ImdbFirstKey),
        AsProviderFunction(&ImdbNextKey),
        AsProviderFunction(&ImdbEndIteration),
        AsProviderFunction(&ImdbDeleteByIssuerSerial),
        AsProviderFunction(&ImdbDeleteCrl),
        AsProviderFunction(&ImdbDeleteKeyForCert),
        AsProviderFunction(&ImdbDeleteKey),
    };
    for (uint32_t slot = 0; slot < kImdbSlotCount; ++slot) funcs[slot] = table[slot];
}

}  // namespace

Status ImdbInit(ToolkitContext* context, void* params, ProviderFunction* funcs, void** handle) {
    if (funcs == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "funcs");
    if (handle == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "handle");
    FillTable(funcs);
    auto* imdb = static_cast<ImdbHandle*>(mem::AllocateBuffer(sizeof(ImdbHandle)));
    if (imdb == nullptr) return ImdbReport(context, kOutOfMemory, __FILE__, __LINE__, nullptr);
    *imdb = ImdbHandle{};
    if (params != nullptr) {
        const auto* lists = static_cast<const ImdbParams*>(params);
        *imdb = ImdbHandle{0, lists->certs, lists->crls, lists->keyIds, lists->keys, {}};
        *handle = imdb;
        return kOk;
    }
    imdb->owned = 1;
    for (ObjectList** list : {&imdb->certs, &imdb->crls, &imdb->keyIds, &imdb->keys}) {
        if (Status status = ObjectListCreate(list); status != kOk) {
            ImdbRelease(context, imdb, nullptr);
            return status;
        }
    }
    *handle = imdb;
    return kOk;
}

void ImdbRelease(ToolkitContext*, void* handle, const char*) {
    auto* imdb = static_cast<ImdbHandle*>(handle);
    if (imdb == nullptr) return;
    CertIndexFree(&imdb->certIndex);
    if (imdb->owned != 0) {
        ObjectListFree(&imdb->certs);
        ObjectListFree(&imdb->crls);
        ObjectListFree(&imdb->keyIds);
        ObjectListFree(&imdb->keys);
    }
    mem::FreeBuffer(imdb);
}

Status ImdbReport(ToolkitContext* context, Status code, const char* file, uint32_t line, const char* argument) {
    return StatusReport(context, code, kSeverityError, file, line, argument);
}

Status ImdbHandleCheck(ToolkitContext* context, void* handle, ImdbHandle** out, const char* file, uint32_t line) {
    if (handle == nullptr) return ImdbReport(context, kInvalidArgument, file, line, "handle");
    *out = static_cast<ImdbHandle*>(handle);
    return kOk;
}

Status ImdbStoreCheck(ToolkitContext* context, const void* store, const char* file, uint32_t line) {
    return store != nullptr ? kOk : ImdbReport(context, kWrongObjectKind, file, line, nullptr);
}

Status ImdbIterationStep(ImdbIterator* iterator, bool first, uint32_t count, uint32_t* index) {
    if (first) {
        *iterator = static_cast<uint32_t*>(mem::AllocateBuffer(sizeof(uint32_t)));
        if (*iterator == nullptr) return kOutOfMemory;
        **iterator = 0;
    } else if (*iterator == nullptr) {
        return kNotFound;
    } else {
        ++**iterator;
    }
    if (**iterator >= count) return ImdbIterationFailed(iterator, kNotFound);
    *index = **iterator;
    return kOk;
}

Status ImdbIterationFailed(ImdbIterator* iterator, Status failure) {
    mem::FreeBuffer(*iterator);
    *iterator = nullptr;
    return failure;
}

Status ImdbEndIteration(ToolkitContext* context, void* handle, ImdbIterator* iterator) {
    ImdbHandle* imdb = nullptr;
    if (Status status = ImdbHandleCheck(context, handle, &imdb, __FILE__, __LINE__); status != kOk) return status;
    if (iterator == nullptr) return ImdbReport(context, kInvalidArgument, __FILE__, __LINE__, "iterator");
    return ImdbIterationFailed(iterator, kOk);
}

}  // namespace korva::toolkit
