#include "engine/CatalogDatabaseFile.h"

#include "engine/CatalogStoreFile.h"
#include "engine/StoreOutput.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/PathOps.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;
using korva::platform::ByteReader;
using korva::platform::ByteWriter;

namespace {

void EngineEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Engine, number, level, data);
}

// Each write goes straight to the file at the stream's position.
class FileOutput : public IStoreOutput {
public:
    explicit FileOutput(CFile& file) : file_(file) {}
    bool Write(const void* data, uint32_t size) override { return file_.Write(data, size); }

private:
    CFile& file_;
};

}  // namespace

HResult CatalogDatabaseFile::OpenDatabaseFile() {
    if (stream_.IsOpen()) return kSuccess;
    std::wstring path;
    try {
        path = korva::platform::JoinPath(directory_, L"Cat.DB");
    } catch (...) {
        EngineEvent(41, trace::Level::Error);
        return kGeneralFailure;
    }
    CFileIO::COpenParameters parameters(path.c_str());
    parameters.openAlways = 1;
    parameters.read = 1;
    parameters.write = 1;
    uint32_t error = 0;
    if (!stream_.Open(parameters, error)) {
        EngineEvent(41, trace::Level::Error, {trace::Num(error), trace::Text(path)});
        return kGeneralFailure;
    }
    // Without the buffer a load still works, one system call per field.
    stream_.AttachReadBuffer();
    EngineEvent(42, trace::Level::Information);
    return kSuccess;
}

HResult LoadDatabase(CatalogStore& store, IStream& stream, LoadDiagnostics* diagnostics) {
    // Header failures are the engine's events; the body's are the store's.
    auto fail = [diagnostics](LoadRule rule, uint32_t number, trace::Level level, uint64_t value) {
        if (rule == LoadRule::SizeUnknown) {
            EngineEvent(number, level);
        } else {
            EngineEvent(number, level, {trace::Num(value)});
        }
        if (diagnostics != nullptr) *diagnostics = {rule, EntryKind::Header, 0, 0, trace::Source::Engine, number, {value, 0}};
        return kBadDatabaseFile;
    };
    uint64_t size = 0;
    if (!stream.GetSize(size)) return fail(LoadRule::SizeUnknown, 46, trace::Level::Information, 0);
    if (size == 0) {
        EngineEvent(47, trace::Level::Information);
        return kSuccess;
    }
    // A short file leaves the missing fields zero, which the checks refuse.
    uint8_t bytes[kDatabaseHeaderSize] = {};
    stream.ReadAt(0, bytes, kDatabaseHeaderSize, nullptr);
    ByteReader header(bytes);
    uint32_t magic = 0;
    uint32_t version = 0;
    uint32_t dirty = 0;
    bool decoded = header.ReadU32Le(magic) && header.ReadU32Le(version) && header.ReadU32Le(dirty);
    if (!decoded || magic != kDatabaseMagic) return fail(LoadRule::BadMagic, 49, trace::Level::Error, magic);
    if (version != kDatabaseVersion) return fail(LoadRule::BadVersion, 50, trace::Level::Error, version);
    if (dirty != 0) return fail(LoadRule::DirtyHeader, 51, trace::Level::Error, dirty);
    if (!LoadStore(store, stream, kDatabaseHeaderSize, diagnostics)) {
        EngineEvent(52, trace::Level::Error);
        return kBadDatabaseFile;
    }
    return kSuccess;
}

HResult CatalogDatabaseFile::LoadDatabaseFile(CatalogStore& store) {
    HResult opened = OpenDatabaseFile();
    if (Failed(opened)) return opened;
    return LoadDatabase(store, stream_);
}

bool CatalogDatabaseFile::WriteHeader(uint32_t dirty) {
    uint8_t bytes[kDatabaseHeaderSize];
    ByteWriter header(bytes);
    return header.WriteU32Le(kDatabaseMagic) && header.WriteU32Le(kDatabaseVersion) && header.WriteU32Le(dirty) &&
           stream_.SeekTo(0) && stream_.Write(bytes, kDatabaseHeaderSize);
}

HResult CatalogDatabaseFile::SaveDatabaseFile(CatalogStore& store) {
    if (!stream_.IsOpen()) {
        EngineEvent(53, trace::Level::Error);
        return kGeneralFailure;
    }
    // A header without entries would fail the load (no signer value), while
    // an empty file loads as an empty store; a store without signer values
    // holds no catalog, and its file is empty (a refused one was emptied).
    if (store.signerValues().count() == 0) return kSuccess;
    if (!WriteHeader(1)) {
        EngineEvent(54, trace::Level::Error);
        return kGeneralFailure;
    }
    if (!stream_.Seek(0, CFile::kFromEnd)) {
        EngineEvent(55, trace::Level::Error);
        return kGeneralFailure;
    }
    FileOutput output(stream_);
    if (!SaveStore(store, output)) {
        EngineEvent(56, trace::Level::Error);
        return kGeneralFailure;
    }
    if (!WriteHeader(0)) {
        EngineEvent(57, trace::Level::Error);
        return kGeneralFailure;
    }
    return kSuccess;
}

}  // namespace TarnVerifyTrustDriver
