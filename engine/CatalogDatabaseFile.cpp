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

HResult CatalogDatabaseFile::LoadDatabaseFile(CatalogStore& store) {
    HResult opened = OpenDatabaseFile();
    if (Failed(opened)) return opened;
    uint64_t size = 0;
    if (!stream_.GetSize(size)) {
        EngineEvent(46, trace::Level::Information);
        return kBadDatabaseFile;
    }
    if (size == 0) {
        EngineEvent(47, trace::Level::Information);
        return kSuccess;
    }
    // A short file leaves the missing fields zero, which the checks refuse.
    uint8_t bytes[kDatabaseHeaderSize] = {};
    stream_.ReadAt(0, bytes, kDatabaseHeaderSize, nullptr);
    ByteReader header(bytes);
    uint32_t magic = 0;
    uint32_t version = 0;
    uint32_t dirty = 0;
    bool decoded = header.ReadU32Le(magic) && header.ReadU32Le(version) && header.ReadU32Le(dirty);
    if (!decoded || magic != kDatabaseMagic) {
        EngineEvent(49, trace::Level::Error, {trace::Num(magic)});
        return kBadDatabaseFile;
    }
    if (version != kDatabaseVersion) {
        EngineEvent(50, trace::Level::Error, {trace::Num(version)});
        return kBadDatabaseFile;
    }
    if (dirty != 0) {
        EngineEvent(51, trace::Level::Error, {trace::Num(dirty)});
        return kBadDatabaseFile;
    }
    if (!LoadStore(store, stream_, kDatabaseHeaderSize)) {
        EngineEvent(52, trace::Level::Error);
        return kBadDatabaseFile;
    }
    return kSuccess;
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
