#include "engine/CatalogStoreFile.h"

#include <algorithm>
#include <span>
#include <string>

#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "runtime/KernelPath.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;
using korva::platform::ByteReader;
using korva::platform::ByteWriter;

namespace {

constexpr uint64_t kRecordEntrySize = 29;
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

void StoreEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Store, number, level, data);
}

bool Put(ByteWriter& writer, uint8_t value) { return writer.WriteU8(value); }
bool Put(ByteWriter& writer, uint16_t value) { return writer.WriteU16Le(value); }
bool Put(ByteWriter& writer, uint32_t value) { return writer.WriteU32Le(value); }
bool Put(ByteWriter& writer, uint64_t value) { return writer.WriteU64Le(value); }
bool Get(ByteReader& reader, uint8_t& value) { return reader.ReadU8(value); }
bool Get(ByteReader& reader, uint16_t& value) { return reader.ReadU16Le(value); }
bool Get(ByteReader& reader, uint32_t& value) { return reader.ReadU32Le(value); }
bool Get(ByteReader& reader, uint64_t& value) { return reader.ReadU64Le(value); }

// One field per write, little-endian, as the layout gives it.
class FieldWriter {
public:
    explicit FieldWriter(IStoreOutput& output) : output_(output) {}

    template <class T>
    bool Field(T value) {
        uint8_t bytes[sizeof(T)];
        ByteWriter writer(bytes);
        return Put(writer, value) && output_.Write(bytes, sizeof(T));
    }
    bool Bytes(std::span<const uint8_t> bytes) {
        return output_.Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

private:
    IStoreOutput& output_;
};

// Sequential field reads through the stream. A read succeeds as soon as part
// of the field arrives; the bytes that do not arrive keep what the field held
// before, which the range checks and the validation then judge.
class FieldReader {
public:
    FieldReader(IStream& stream, uint64_t position) : stream_(stream), position_(position) {}

    uint64_t position() const { return position_; }

    bool Bytes(std::span<uint8_t> bytes) {
        uint32_t count = 0;
        bool ok = stream_.ReadAt(position_, bytes.data(), static_cast<uint32_t>(bytes.size()), &count);
        position_ += count;
        return ok;
    }
    template <class T>
    bool Field(T& value) {
        uint8_t bytes[sizeof(T)];
        ByteWriter previous(bytes);
        if (!Put(previous, value) || !Bytes(bytes)) return false;
        ByteReader reader(bytes);
        return Get(reader, value);
    }

private:
    IStream& stream_;
    uint64_t position_;
};

// The path of a name entry in the form Cat.DB stores, as UTF-16LE bytes.
bool KernelFormBytes(const CMemory& name, std::string& bytes) {
    try {
        std::wstring path = korva::platform::Utf16LeToWide(name.data(), name.size());
        std::wstring kernelPath;
        if (!ToKernelPath(path, kernelPath)) return false;
        bytes = korva::platform::WideToUtf16Le(kernelPath);
        return bytes.size() <= 0xFFFF;
    } catch (...) {
        return false;
    }
}

std::span<const uint8_t> AsBytes(const std::string& text) {
    return {reinterpret_cast<const uint8_t*>(text.data()), text.size()};
}

bool SaveRecords(CatalogStore& store, FieldWriter& out) {
    uint32_t written = 0;
    for (CatalogRecord& record : store.records().items()) {
        if (!record.unsaved) continue;
        if (!out.Field(kRecordTag)) {
            StoreEvent(30, trace::Level::Warning);
            return false;
        }
        if (!out.Field(record.fileTime.low) || !out.Field(record.fileTime.high) || !out.Field(record.signerFlags) ||
            !out.Field(record.signerValue2) || !out.Field(record.signerValue1) || !out.Field(record.signerValue3) ||
            !out.Field(record.signerValue4) || !out.Field(record.timeValue) || !out.Field(record.recordIndex)) {
            StoreEvent(31, trace::Level::Warning);
            return false;
        }
        record.unsaved = false;
        ++written;
    }
    StoreEvent(32, trace::Level::Information, {trace::Num(written)});
    return true;
}

bool SaveNames(CatalogStore& store, FieldWriter& out) {
    uint32_t written = 0;
    std::string bytes;
    bool ok = store.names().ForEach([&](NameEntry& entry) {
        if (!entry.ref.unsaved) return true;
        if (!out.Field(kNameTag)) {
            StoreEvent(33, trace::Level::Warning);
            return false;
        }
        if (!KernelFormBytes(entry.name, bytes) || !out.Field(static_cast<uint16_t>(bytes.size())) ||
            !out.Bytes(AsBytes(bytes))) {
            StoreEvent(34, trace::Level::Warning);
            return false;
        }
        if (!out.Field(entry.ref.index)) {
            StoreEvent(35, trace::Level::Warning);
            return false;
        }
        entry.ref.unsaved = false;
        ++written;
        return true;
    });
    if (ok) StoreEvent(36, trace::Level::Information, {trace::Num(written)});
    return ok;
}

bool SaveHashes(CatalogStore& store, FieldWriter& out) {
    uint32_t written = 0;
    bool ok = store.hashes().ForEach([&](HashEntry& entry) {
        if (!entry.unsaved) return true;
        if (!out.Field(kHashTag)) {
            StoreEvent(38, trace::Level::Warning);
            return false;
        }
        if (!out.Field(entry.length) || !out.Bytes(entry.view())) {
            StoreEvent(39, trace::Level::Warning);
            return false;
        }
        if (!out.Field(entry.index)) {
            StoreEvent(40, trace::Level::Warning);
            return false;
        }
        entry.unsaved = false;
        ++written;
        return true;
    });
    if (ok) StoreEvent(41, trace::Level::Information, {trace::Num(written)});
    return ok;
}

bool SaveSignerValues(CatalogStore& store, FieldWriter& out) {
    uint32_t written = 0;
    for (SignerValueEntry& entry : store.signerValues().items()) {
        if (!entry.unsaved) continue;
        if (!out.Field(kSignerValueTag)) {
            StoreEvent(42, trace::Level::Warning);
            return false;
        }
        if (!out.Field(entry.value.size()) || !out.Bytes(entry.value.bytes())) {
            StoreEvent(43, trace::Level::Warning);
            return false;
        }
        entry.unsaved = false;
        ++written;
    }
    StoreEvent(44, trace::Level::Information, {trace::Num(written)});
    return true;
}

// Replays one log into a cleared store. The scratch fields persist from one
// entry to the next of their kind, as the short-read rule needs.
class StoreLoader {
public:
    StoreLoader(CatalogStore& store, IStream& stream, uint64_t position, uint64_t size)
        : store_(store), in_(stream, position), size_(size) {
        record_.owner = &store;
    }

    bool Replay() {
        for (uint8_t tag = 0; in_.Field(tag);) {
            bool ok = false;
            switch (tag) {
                case kRecordTag: ok = LoadRecord(); break;
                case kNameTag: ok = LoadName(); break;
                case kHashTag: ok = LoadHash(); break;
                case kSignerValueTag: ok = LoadSignerValue(); break;
                default: StoreEvent(62, trace::Level::Warning, {trace::Num(tag)});
            }
            if (!ok) return false;
        }
        return true;
    }

private:
    bool LoadRecord() {
        CatalogRecord& r = record_;
        if (!in_.Field(r.fileTime.low) || !in_.Field(r.fileTime.high) || !in_.Field(r.signerFlags) ||
            !in_.Field(r.signerValue2) || !in_.Field(r.signerValue1) || !in_.Field(r.signerValue3) ||
            !in_.Field(r.signerValue4) || !in_.Field(r.timeValue) || !in_.Field(r.recordIndex)) {
            StoreEvent(49, trace::Level::Error);
            return false;
        }
        r.unsaved = false;
        GrowableArray<CatalogRecord>& records = store_.records();
        // Every index a writer uses has an entry of its own in the file, so
        // an index beyond what the file could hold is damage; refusing it
        // keeps a damaged file from asking for gigabytes of empty records.
        uint64_t fileCanHold = size_ / kRecordEntrySize;
        if (records.count() >= CatalogStore::kMaxRecords || r.recordIndex >= kNoIndex || r.recordIndex >= fileCanHold) {
            StoreEvent(50, trace::Level::Warning, {trace::Num(r.recordIndex)});
            return false;
        }
        auto index = static_cast<uint32_t>(r.recordIndex);
        if (index >= records.count() && !records.Resize(index + 1)) {
            StoreEvent(51, trace::Level::Warning, {trace::Num(r.recordIndex)});
            return false;
        }
        records[index] = r;
        return true;
    }

    bool LoadName() {
        uint16_t count = nameCount_;
        if (!in_.Field(count) || count == 0 || !ReadScratch(nameBytes_, count)) {
            StoreEvent(52, trace::Level::Error);
            return false;
        }
        nameCount_ = count;
        // An odd last byte is read but belongs to no code unit.
        ByteReader units(nameBytes_.bytes().first(count / 2 * 2));
        uint16_t unit = 0;
        size_t length = 0;
        while (units.ReadU16Le(unit) && unit != 0) ++length;
        std::wstring path;
        try {
            std::wstring stored = korva::platform::Utf16LeToWide(nameBytes_.data(), length * 2);
            if (!FromKernelPath(stored, path)) path.clear();
        } catch (...) {
            path.clear();
        }
        if (path.empty()) {
            StoreEvent(52, trace::Level::Error);
            return false;
        }
        if (!in_.Field(nameIndex_) || nameIndex_ == kNoIndex) {
            StoreEvent(53, trace::Level::Error);
            return false;
        }
        OrderedMap<NameOrder>::Result entry = store_.names().FindOrInsert(path);
        if (entry.entry == nullptr) {
            StoreEvent(54, trace::Level::Warning);
            return false;
        }
        if (entry.inserted) entry.entry->ref = {&store_, nameIndex_, false};
        return true;
    }

    bool LoadHash() {
        MemberHash hash;
        uint8_t length = 0;
        if (!in_.Field(length)) {
            StoreEvent(55, trace::Level::Warning);
            return false;
        }
        if (length > MemberHash::kMaxLength) {
            trace::Emit(trace::Source::Hash, 14, trace::Level::Error, {trace::Num(length)});
            return false;
        }
        hash.length = length;
        if (!in_.Bytes(std::span<uint8_t>(hash.bytes, length))) {
            StoreEvent(55, trace::Level::Warning);
            return false;
        }
        if (!in_.Field(hashIndex_) || hashIndex_ == kNoIndex) {
            StoreEvent(56, trace::Level::Warning);
            return false;
        }
        OrderedMap<HashOrder>::Result entry = store_.hashes().FindOrInsert(hash);
        if (entry.entry == nullptr) {
            StoreEvent(57, trace::Level::Warning);
            return false;
        }
        if (entry.inserted) {
            entry.entry->index = hashIndex_;
            entry.entry->unsaved = false;
        }
        return true;
    }

    bool LoadSignerValue() {
        uint32_t length = valueLength_;
        // A value running past the end of the file is damage; refusing it
        // before asking for memory keeps a bad length from costing 4 GiB.
        if (!in_.Field(length) || length > Remaining() || !ReadScratch(valueBytes_, length)) {
            StoreEvent(58, trace::Level::Error);
            return false;
        }
        valueLength_ = length;
        std::span<const uint8_t> value = valueBytes_.bytes().first(length);
        GrowableArray<SignerValueEntry>& table = store_.signerValues();
        if (table.count() >= CatalogStore::kMaxSignerValues) {
            StoreEvent(59, trace::Level::Warning, {trace::Num(table.count())});
            return false;
        }
        SignerValueEntry* row = table.Append();
        if (row == nullptr || !CopyBytes(row->value, value)) {
            if (row != nullptr) table.Resize(table.count() - 1);
            StoreEvent(60, trace::Level::Error);
            return false;
        }
        // A value already indexed keeps its first index; the duplicate still
        // takes its place in the table.
        OrderedMap<SignerValueOrder>::Result entry = store_.signerValueIndex().FindOrInsert(value);
        if (entry.entry == nullptr) {
            StoreEvent(61, trace::Level::Error);
            return false;
        }
        if (entry.inserted) entry.entry->index = static_cast<uint8_t>(table.count() - 1);
        return true;
    }

    uint64_t Remaining() const { return size_ - std::min(size_, in_.position()); }

    // Reads `count` bytes into a scratch buffer that grows to the longest
    // field seen; bytes cut off by the end of the file keep what was there.
    bool ReadScratch(CMemory& scratch, uint32_t count) {
        uint32_t held = scratch.size();
        if (count > held) {
            if (!scratch.Resize(count)) return false;
            std::fill(scratch.data() + held, scratch.data() + count, uint8_t{0});
        }
        return count == 0 || in_.Bytes(scratch.bytes().first(count));
    }

    CatalogStore& store_;
    FieldReader in_;
    uint64_t size_;
    CatalogRecord record_;
    CMemory nameBytes_;
    uint16_t nameCount_ = 0;
    uint32_t nameIndex_ = kNoIndex;
    uint32_t hashIndex_ = kNoIndex;
    CMemory valueBytes_;
    uint32_t valueLength_ = 0;
};

bool Validate(CatalogStore& store) {
    uint32_t values = store.signerValues().count();
    if (values == 0) {
        StoreEvent(63, trace::Level::Warning);
        return false;
    }
    GrowableArray<CatalogRecord>& records = store.records();
    // The largest signer value index over the records the entries name.
    auto reach = [&records](uint32_t index, uint32_t& highest) {
        if (index >= records.count()) {
            StoreEvent(10, trace::Level::Error, {trace::Num(records.count()), trace::Num(index)});
            return false;
        }
        highest = std::max<uint32_t>(highest, records[index].HighestSignerValue());
        return true;
    };
    uint32_t nameMax = 0;
    if (!store.names().ForEach([&](NameEntry& entry) { return reach(entry.ref.index, nameMax); })) {
        StoreEvent(64, trace::Level::Warning);
        return false;
    }
    uint32_t hashMax = 0;
    if (!store.hashes().ForEach([&](HashEntry& entry) { return reach(entry.index, hashMax); })) {
        StoreEvent(65, trace::Level::Warning);
        return false;
    }
    if (nameMax != hashMax) {
        StoreEvent(66, trace::Level::Warning, {trace::Num(nameMax), trace::Num(hashMax)});
        return false;
    }
    if (nameMax != values - 1) {
        StoreEvent(67, trace::Level::Warning, {trace::Num(nameMax), trace::Num(values)});
        return false;
    }
    return true;
}

}  // namespace

bool SaveStore(CatalogStore& store, IStoreOutput& output) {
    FieldWriter out(output);
    return SaveRecords(store, out) && SaveNames(store, out) && SaveHashes(store, out) && SaveSignerValues(store, out);
}

bool LoadStore(CatalogStore& store, IStream& stream, uint64_t position) {
    store.ClearStore();
    uint64_t size = 0;
    if (!stream.GetSize(size)) {
        StoreEvent(49, trace::Level::Error);
        return false;
    }
    StoreLoader loader(store, stream, position, size);
    return loader.Replay() && Validate(store);
}

}  // namespace TarnVerifyTrustDriver
