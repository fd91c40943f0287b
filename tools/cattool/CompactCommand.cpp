// compact CATDB: rewrites an append-only Cat.DB that superseded entries have
// grown into the smallest file with the same content. The new file is
// written beside the old one, read back through the engine's loader, and
// only then moved over it in one step, so a failure at any point leaves the
// old file as it was.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "engine/CatalogDatabaseFile.h"
#include "engine/CatalogStoreFile.h"
#include "engine/StoreOutput.h"
#include "platform/ByteWriter.h"
#include "platform/Files.h"
#include "platform/TextConversion.h"
#include "tools/cattool/Commands.h"
#include "tools/cattool/DatabaseView.h"
#include "tools/cattool/Json.h"
#include "tools/cattool/LoadReport.h"

namespace korva::cattool {

namespace {

namespace tvt = TarnVerifyTrustDriver;

constexpr const wchar_t* kTemporarySuffix = L".compact";

class MemoryOutput : public tvt::IStoreOutput {
public:
    explicit MemoryOutput(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
    bool Write(const void* data, uint32_t size) override {
        const auto* in = static_cast<const uint8_t*>(data);
        bytes_.insert(bytes_.end(), in, in + size);
        return true;
    }

private:
    std::vector<uint8_t>& bytes_;
};

// The header of a finished save, then every entry the store holds, each once.
std::vector<uint8_t> CompactBytes(tvt::CatalogStore& store) {
    std::vector<uint8_t> bytes(tvt::kDatabaseHeaderSize);
    platform::ByteWriter header(bytes);
    (void)(header.WriteU32Le(tvt::kDatabaseMagic) && header.WriteU32Le(tvt::kDatabaseVersion) && header.WriteU32Le(0));
    for (uint32_t i = 0; i < store.records().count(); ++i) store.records()[i].unsaved = true;
    for (uint32_t i = 0; i < store.signerValues().count(); ++i) store.signerValues()[i].unsaved = true;
    store.names().ForEach([](tvt::NameEntry& entry) { return entry.ref.unsaved = true; });
    store.hashes().ForEach([](tvt::HashEntry& entry) { return entry.unsaved = true; });
    MemoryOutput output(bytes);
    tvt::SaveStore(store, output);
    return bytes;
}

// Writes `bytes` to a new file at `path`; the Win32 error, or 0.
uint32_t WriteNewFile(const std::wstring& path, const std::vector<uint8_t>& bytes) {
    platform::FileHandle file =
        platform::OpenFile(path.c_str(), platform::kGenericWrite, 0, platform::kCreateAlways, 0);
    if (file == platform::InvalidFileHandle()) return platform::LastError();
    uint32_t error = 0;
    size_t done = 0;
    while (error == 0 && done < bytes.size()) {
        uint32_t written = 0;
        uint32_t chunk = static_cast<uint32_t>(std::min<size_t>(bytes.size() - done, UINT32_MAX));
        if (!platform::WriteFile(file, bytes.data() + done, chunk, written)) {
            error = platform::LastError();
        } else if (written == 0) {
            error = platform::kErrorIoDevice;
        }
        done += written;
    }
    if (!platform::CloseFile(file) && error == 0) error = platform::LastError();
    return error;
}

// The same content: every record, name, member hash and signer value.
bool SameContent(DatabaseView& a, DatabaseView& b) {
    return a.store->records().count() == b.store->records().count() &&
           a.store->signerValues().count() == b.store->signerValues().count() &&
           a.store->names().count() == b.store->names().count() &&
           a.store->hashes().count() == b.store->hashes().count() && a.PathsByRecord() == b.PathsByRecord();
}

std::string Compact(const std::wstring& path, DatabaseView& before, size_t& after) {
    std::vector<uint8_t> bytes = CompactBytes(*before.store);
    after = bytes.size();
    if (after >= before.bytes.size()) return {};
    const std::wstring temporary = path + kTemporarySuffix;
    std::string failure;
    if (uint32_t error = WriteNewFile(temporary, bytes); error != 0) {
        failure = "cannot write " + platform::WideToUtf8(temporary) + ": " + ErrorWords(error);
    } else {
        DatabaseView written;
        uint32_t readError = 0;
        if (!OpenDatabaseView(temporary, written, readError)) {
            failure = "cannot read back " + platform::WideToUtf8(temporary) + ": " + ErrorWords(readError);
        } else if (!written.loads || written.bytes != bytes || !SameContent(before, written)) {
            failure = "the compacted file does not hold the same content";
        } else if (!platform::MoveFileReplacing(temporary.c_str(), path.c_str())) {
            failure = "cannot put the compacted file in place: " + ErrorWords(platform::LastError());
        } else {
            return {};
        }
    }
    platform::RemoveFile(temporary.c_str());
    return failure;
}

}  // namespace

int RunCompact(const Invocation& invocation, CommandOutput& output) {
    const std::wstring& path = invocation.operands[0];
    DatabaseView view;
    if (!OpenDatabaseOperand(path, view, output)) return kExitError;
    const std::string name = platform::WideToUtf8(path);
    if (!view.loads) {
        output.err = "KorvaCatalogTool: " + name + ": not compacted: it " + LoadVerdictText(view) + "\n";
        return kExitError;
    }
    const size_t before = view.bytes.size();
    size_t after = before;
    std::string failure = Compact(path, view, after);
    const bool compacted = failure.empty() && after < before;
    const size_t saved = compacted ? before - after : 0;
    if (invocation.json) {
        JsonWriter json;
        json.BeginObject().Key("schema").Number(1).Key("command").String("compact").Key("file").String(name);
        json.Key("compacted").Bool(compacted).Key("before").Number(before);
        json.Key("after").Number(compacted ? after : before);
        json.Key("saved").Number(saved).Key("failure");
        failure.empty() ? json.Null() : json.String(failure);
        output.out = json.EndObject().Finish();
    } else if (failure.empty()) {
        output.out = compacted ? name + ": compacted from " + std::to_string(before) + " to " + std::to_string(after) +
                                     " bytes, " + std::to_string(saved) + " bytes saved\n"
                               : name + ": already as small as its content allows (" + std::to_string(before) +
                                     " bytes)\n";
    }
    if (failure.empty()) return kExitSuccess;
    output.err = "KorvaCatalogTool: " + name + ": not compacted, the file is unchanged: " + failure + "\n";
    return kExitError;
}

}  // namespace korva::cattool
