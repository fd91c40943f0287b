#include "catalog/ParseCatalogFile.h"

#include "catalog/ParseAsn1.h"
#include "platform/Trace.h"
#include "runtime/File.h"

namespace TarnVerifyTrustDriver {

namespace {

namespace trace = korva::trace;

void Emit(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Asn1, number, level, data);
}

// Releases what a parse holds on every way out.
struct ParseResources {
    ParserStack* stack = nullptr;
    CatalogReadBuffer* reads = nullptr;
    ~ParseResources() {
        if (reads != nullptr) reads->Done();
        delete stack;
    }
};

}  // namespace

uint32_t ParseCatalogFile(CatalogParseRecord* record, CCallbacks* allocator, const wchar_t* path,
                          IAsn1NodeCallback* callback, CatalogReadBuffer* buffer) {
    if (record != nullptr) record->value = 0;
    CatalogReadBuffer own;  // outlives `held`, which marks it done
    ParseResources held;
    held.stack = new (allocator) ParserStack();
    if (held.stack == nullptr || !held.stack->IsValid()) return kWalkOutOfMemory;
    if (callback != nullptr && callback->OnParseBegin() != 0) return kWalkOutOfMemory;

    CFile file;
    CFileIO::COpenParameters parameters(path);
    parameters.read = 1;
    uint32_t error = 0;
    if (path == nullptr || !file.Open(parameters, error)) {
        Emit(10, trace::Level::Error, {trace::Num(error)});
        return kWalkCannotOpen;
    }
    uint64_t size = 0;
    if (!file.GetSize(size)) {
        Emit(11, trace::Level::Error);
        return kWalkCannotRead;
    }
    if (size == 0) {
        Emit(12, trace::Level::Error);
        return kWalkEmptyFile;
    }
    if (size > UINT32_MAX) {
        Emit(13, trace::Level::Error, {trace::Num(size)});
        return kWalkOutOfMemory;
    }
    held.reads = buffer != nullptr ? buffer : &own;
    uint8_t* data = held.reads->Reserve(static_cast<size_t>(size));
    if (data == nullptr) {
        Emit(14, trace::Level::Error, {trace::Num(size)});
        return kWalkOutOfMemory;
    }
    if (!file.Read(data, static_cast<uint32_t>(size), nullptr)) {
        Emit(15, trace::Level::Error, {trace::Num(size)});
        return kWalkCannotRead;
    }
    return ParseAsn1(allocator, held.stack, data, static_cast<uint32_t>(size), callback);
}

}  // namespace TarnVerifyTrustDriver
