#include "tools/cattool/DatabaseView.h"

#include <map>
#include <set>

#include "engine/CatalogDatabaseFile.h"
#include "engine/CatalogStoreFile.h"
#include "platform/ByteReader.h"
#include "platform/TextConversion.h"
#include "platform/Types.h"
#include "platform/WholeFile.h"
#include "runtime/KernelPath.h"
#include "runtime/Stream.h"
#include "tools/cattool/Json.h"

namespace korva::cattool {

namespace tvt = TarnVerifyTrustDriver;
using platform::ByteReader;
using platform::ByteSpan;

namespace {

// Cat.DB is a log of small entries; a gigabyte is far beyond any real one.
constexpr size_t kMaxDatabaseSize = size_t{1} << 30;
constexpr size_t kRecordEntrySize = 29;

// Serves the file's bytes as the engine's buffered stream does: a read is
// true as soon as one byte arrives.
class BytesStream : public tvt::IStream {
public:
    explicit BytesStream(ByteSpan bytes) : bytes_(bytes) {}
    bool IsOpen() const override { return true; }
    bool GetSize(uint64_t& size) override { return size = bytes_.size(), true; }
    bool ReadAt(uint64_t position, void* buffer, uint32_t size, uint32_t* count) override {
        ByteReader reader(bytes_);
        uint32_t delivered = 0;
        ByteSpan part;
        if (position <= bytes_.size() && reader.Skip(static_cast<size_t>(position))) {
            delivered = static_cast<uint32_t>(std::min<size_t>(size, reader.Remaining()));
            if (reader.ReadBytes(delivered, part)) std::copy(part.begin(), part.end(), static_cast<uint8_t*>(buffer));
        }
        if (count != nullptr) *count = delivered;
        return delivered > 0 || size == 0;
    }

private:
    ByteSpan bytes_;
};

void Tally(EntryTally& tally, uint64_t size, bool superseded) {
    ++tally.count;
    tally.bytes += size;
    if (superseded) {
        ++tally.superseded;
        tally.supersededBytes += size;
    }
}

// The path a name entry's code units stand for, as the loader reads it.
std::wstring NameKey(ByteSpan units) {
    ByteReader reader(units.first(units.size() / 2 * 2));
    uint16_t unit = 0;
    size_t length = 0;
    while (reader.ReadU16Le(unit) && unit != 0) ++length;
    std::wstring path;
    try {
        std::wstring stored = platform::Utf16LeToWide(units.data(), length * 2);
        if (!tvt::FromKernelPath(stored, path)) path = stored;
    } catch (...) {
        path.clear();
    }
    return path;
}

// Walks whole entries only: the walk stops at the first one cut short or of
// an unknown tag. Records: all but the last of an index are superseded;
// names and hashes: all but the first of a key.
RawWalk WalkEntries(ByteSpan bytes) {
    RawWalk walk;
    ByteReader reader(bytes);
    if (!reader.Skip(tvt::kDatabaseHeaderSize)) return walk;
    std::map<uint64_t, uint64_t> recordCount;
    std::set<std::wstring> names;
    std::set<std::string> hashes;
    for (;;) {
        walk.end = reader.Position();
        uint8_t tag = 0;
        if (!reader.ReadU8(tag)) {
            walk.complete = true;
            break;
        }
        ByteSpan field;
        uint16_t nameSize = 0;
        uint8_t hashSize = 0;
        uint32_t valueSize = 0;
        uint32_t index = 0;
        uint64_t recordIndex = 0;
        if (tag == tvt::kRecordTag && reader.Skip(20) && reader.ReadU64Le(recordIndex)) {
            ++recordCount[recordIndex];
            Tally(walk.records, kRecordEntrySize, false);
        } else if (tag == tvt::kNameTag && reader.ReadU16Le(nameSize) && reader.ReadBytes(nameSize, field) &&
                   reader.ReadU32Le(index)) {
            Tally(walk.names, 7u + nameSize, !names.insert(NameKey(field)).second);
        } else if (tag == tvt::kHashTag && reader.ReadU8(hashSize) && reader.ReadBytes(hashSize, field) &&
                   reader.ReadU32Le(index)) {
            Tally(walk.hashes, 6u + hashSize, !hashes.insert(std::string(field.begin(), field.end())).second);
        } else if (tag == tvt::kSignerValueTag && reader.ReadU32Le(valueSize) && reader.ReadBytes(valueSize, field)) {
            Tally(walk.signerValues, 5u + valueSize, false);
        } else {
            break;
        }
    }
    for (const auto& [index, count] : recordCount) {
        walk.records.superseded += count - 1;
        walk.records.supersededBytes += (count - 1) * kRecordEntrySize;
    }
    return walk;
}

}  // namespace

void LoadDatabaseView(DatabaseView& view) {
    ByteReader header(view.bytes);
    if (!header.ReadU32Le(view.magic) || !header.ReadU32Le(view.version) || !header.ReadU32Le(view.dirty)) {
        view.magic = view.version = view.dirty = 0;
    }
    view.store = std::make_unique<tvt::CatalogStore>();
    BytesStream stream(view.bytes);
    view.diagnostics = {};
    view.loads = !tvt::Failed(tvt::LoadDatabase(*view.store, stream, &view.diagnostics));
    view.walk = WalkEntries(view.bytes);
}

bool OpenDatabaseView(const std::wstring& path, DatabaseView& view, uint32_t& error) {
    error = platform::ReadWholeFile(path.c_str(), kMaxDatabaseSize, view.bytes);
    if (error != platform::kErrorSuccess) return false;
    LoadDatabaseView(view);
    return true;
}

std::vector<std::vector<std::wstring>> DatabaseView::PathsByRecord() {
    std::vector<std::vector<std::wstring>> paths(store->records().count());
    store->names().ForEach([&](tvt::NameEntry& entry) {
        if (entry.ref.index < paths.size()) {
            paths[entry.ref.index].push_back(platform::Utf16LeToWide(entry.name.data(), entry.name.size()));
        }
        return true;
    });
    return paths;
}

void WriteNamesJson(JsonWriter& json, const std::vector<RecordName>& names) {
    json.Key("names").BeginArray();
    for (const RecordName& name : names) {
        json.BeginObject().Key("stored").String(platform::WideToUtf8(name.stored)).Key("host");
        name.host.empty() ? json.Null() : json.String(platform::WideToUtf8(name.host));
        json.EndObject();
    }
    json.EndArray();
}

std::vector<std::vector<RecordName>> DatabaseView::NamesByRecord() {
    std::vector<std::vector<RecordName>> names;
    for (const std::vector<std::wstring>& paths : PathsByRecord()) {
        std::vector<RecordName>& record = names.emplace_back();
        for (const std::wstring& path : paths) {
            std::wstring kernel;
            if (tvt::ToKernelPath(path, kernel) && kernel != path) {
                record.push_back({kernel, path});
            } else {
                record.push_back({path, {}});
            }
        }
    }
    return names;
}

}  // namespace korva::cattool
