#include "engine/CatalogStoreFile.h"

#include <algorithm>
#include <span>
#include <string>

#include "catalog/FastPaths.h"
#include "engine/EntryBatch.h"
#include "platform/ByteReader.h"
#include "platform/ByteWriter.h"
#include "platform/TextConversion.h"
#include "engine/StoreTrace.h"
#include "platform/Trace.h"
#include "runtime/KernelPath.h"
#include "runtime/Memory.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;
using korva::platform::ByteReader;
using korva::platform::ByteWriter;

namespace {

// How far a record may lie beyond the records read before it.
constexpr uint64_t kMaxRecordGap = 4096;
constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

bool Put(ByteWriter& writer, uint8_t value) { return writer.WriteU8(value); }
bool Put(ByteWriter& writer, uint16_t value) { return writer.WriteU16Le(value); }
bool Put(ByteWriter& writer, uint32_t value) { return writer.WriteU32Le(value); }
bool Put(ByteWriter& writer, uint64_t value) { return writer.WriteU64Le(value); }
bool Get(ByteReader& reader, uint8_t& value) { return reader.ReadU8(value); }
bool Get(ByteReader& reader, uint16_t& value) { return reader.ReadU16Le(value); }
bool Get(ByteReader& reader, uint32_t& value) { return reader.ReadU32Le(value); }
bool Get(ByteReader& reader, uint64_t& value) { return reader.ReadU64Le(value); }

// The fields of one entry, little-endian as the layout gives them, into the
// save's batch.
class FieldWriter {
public:
    explicit FieldWriter(EntryBatch& batch) : batch_(batch) {}

    template <class T>
    bool Field(T value) {
        uint8_t bytes[sizeof(T)];
        ByteWriter writer(bytes);
        return Put(writer, value) && batch_.Put(bytes);
    }
    bool Bytes(std::span<const uint8_t> bytes) { return batch_.Put(bytes); }
    bool End(bool& unsaved) { return batch_.End(unsaved); }
    bool Flush() { return batch_.Flush(); }

private:
    EntryBatch& batch_;
};

// Sequential field reads through the stream. A read succeeds as soon as part
// of the field arrives; the bytes that do not arrive keep what the field held
// before, which the range checks and the validation then judge.
class FieldReader {
public:
    FieldReader(IStream& stream, uint64_t position) : stream_(stream), position_(position) {}

    uint64_t position() const { return position_; }

    bool Bytes(std::span<uint8_t> bytes) {
        if (bytes.empty()) return true;
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

template <class T, class Visit>
bool ForEachEntry(GrowableArray<T>& entries, Visit&& visit) {
    for (T& entry : entries.items()) {
        if (!visit(entry)) return false;
    }
    return true;
}

template <class Traits, class Visit>
bool ForEachEntry(OrderedMap<Traits>& entries, Visit&& visit) {
    return entries.ForEach(visit);
}

template <class Visit>
bool ForEachEntry(HashKeyOrder& entries, Visit&& visit) {
    return entries.ForEach(visit);
}

// One pass of a save: writes every unsaved entry in container order; a mark
// is cleared once its entry reached the file. A failed write ends the pass
// with `failedEvent`, unless the entry's own step reported it.
template <class Container, class MarkOf, class Write>
bool SavePass(Container& entries, FieldWriter& out, uint32_t doneEvent, uint32_t failedEvent, MarkOf markOf,
              Write write) {
    uint32_t written = 0;
    bool ok = ForEachEntry(entries, [&](auto& entry) {
        bool& unsaved = markOf(entry);
        if (!unsaved) return true;
        if (!write(entry)) return false;
        if (!out.End(unsaved)) return StoreFailure(failedEvent, trace::Level::Warning);
        ++written;
        return true;
    });
    if (ok && !out.Flush()) ok = StoreFailure(failedEvent, trace::Level::Warning);
    if (ok) StoreEvent(doneEvent, trace::Level::Information, {trace::Num(written)});
    return ok;
}

bool SaveRecord(FieldWriter& out, const CatalogRecord& r) {
    if (!out.Field(kRecordTag)) return StoreFailure(30, trace::Level::Warning);
    if (!out.Field(r.fileTime.low) || !out.Field(r.fileTime.high) || !out.Field(r.signerFlags) ||
        !out.Field(r.signerValue2) || !out.Field(r.signerValue1) || !out.Field(r.signerValue3) ||
        !out.Field(r.signerValue4) || !out.Field(r.timeValue) || !out.Field(r.recordIndex)) {
        return StoreFailure(31, trace::Level::Warning);
    }
    return true;
}

bool SaveName(FieldWriter& out, const NameEntry& entry, std::string& bytes) {
    if (!out.Field(kNameTag)) return StoreFailure(33, trace::Level::Warning);
    if (!KernelFormBytes(entry.name, bytes) || !out.Field(static_cast<uint16_t>(bytes.size())) ||
        !out.Bytes(AsBytes(bytes))) {
        return StoreFailure(34, trace::Level::Warning);
    }
    if (!out.Field(entry.ref.index)) return StoreFailure(35, trace::Level::Warning);
    return true;
}

bool SaveHash(FieldWriter& out, const HashEntry& entry) {
    if (!out.Field(kHashTag)) return StoreFailure(38, trace::Level::Warning);
    if (!out.Field(entry.length) || !out.Bytes(entry.view())) return StoreFailure(39, trace::Level::Warning);
    if (!out.Field(entry.index)) return StoreFailure(40, trace::Level::Warning);
    return true;
}

bool SaveSignerValue(FieldWriter& out, const SignerValueEntry& entry) {
    if (!out.Field(kSignerValueTag)) return StoreFailure(42, trace::Level::Warning);
    if (!out.Field(entry.value.size()) || !out.Bytes(entry.value.bytes())) return StoreFailure(43, trace::Level::Warning);
    return true;
}

// Reports a load failure as a trace event and, when the caller asked, as
// diagnostics naming the entry and the rule; gives false.
class LoadFailure {
public:
    explicit LoadFailure(LoadDiagnostics* diagnostics) : diagnostics_(diagnostics) {}

    void Enter(EntryKind kind, uint64_t offset, uint8_t tag) {
        kind_ = kind;
        offset_ = offset;
        tag_ = tag;
    }
    bool operator()(LoadRule rule, uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {},
                    trace::Source source = trace::Source::Store) {
        trace::Emit(source, number, level, data);
        if (diagnostics_ == nullptr) return false;
        *diagnostics_ = {rule, kind_, offset_, tag_, source, number, {}};
        size_t i = 0;
        for (const trace::Value& value : data) {
            if (i < 2) diagnostics_->values[i++] = value.number;
        }
        return false;
    }

private:
    LoadDiagnostics* diagnostics_;
    EntryKind kind_ = EntryKind::Validation;
    uint64_t offset_ = 0;
    uint8_t tag_ = 0;
};

// Replays one log into a cleared store. The scratch fields persist from one
// entry to the next of their kind, as the short-read rule needs.
class StoreLoader {
public:
    StoreLoader(CatalogStore& store, IStream& stream, uint64_t position, uint64_t size, LoadFailure& fail)
        : store_(store), in_(stream, position), size_(size), fail_(fail) {
        record_.owner = &store;
    }

    bool Replay() {
        for (uint64_t start = in_.position(); in_.Field(tag_); start = in_.position()) {
            bool ok = false;
            switch (tag_) {
                case kRecordTag: fail_.Enter(EntryKind::Record, start, tag_), ok = LoadRecord(); break;
                case kNameTag: fail_.Enter(EntryKind::Name, start, tag_), ok = LoadName(); break;
                case kHashTag: fail_.Enter(EntryKind::Hash, start, tag_), ok = LoadHash(); break;
                case kSignerValueTag: fail_.Enter(EntryKind::SignerValue, start, tag_), ok = LoadSignerValue(); break;
                default:
                    fail_.Enter(EntryKind::UnknownTag, start, tag_);
                    fail_(LoadRule::UnknownTag, 62, trace::Level::Warning, {trace::Num(tag_)});
            }
            if (!ok) return false;
        }
        fail_.Enter(EntryKind::Validation, in_.position(), 0);
        return true;
    }

private:
    bool LoadRecord() {
        CatalogRecord& r = record_;
        if (!in_.Field(r.fileTime.low) || !in_.Field(r.fileTime.high) || !in_.Field(r.signerFlags) ||
            !in_.Field(r.signerValue2) || !in_.Field(r.signerValue1) || !in_.Field(r.signerValue3) ||
            !in_.Field(r.signerValue4) || !in_.Field(r.timeValue) || !in_.Field(r.recordIndex)) {
            return fail_(LoadRule::RecordTruncated, 49, trace::Level::Error);
        }
        r.unsaved = false;
        GrowableArray<CatalogRecord>& records = store_.records();
        // A writer gives out indexes in order and writes every record, so a
        // record never lies far beyond those before it; refusing a wide gap
        // keeps a damaged index from asking for gigabytes of empty records.
        if (records.count() >= CatalogStore::kMaxRecords || r.recordIndex >= kNoIndex ||
            r.recordIndex >= uint64_t{records.count()} + kMaxRecordGap) {
            return fail_(LoadRule::RecordIndexOutOfRange, 50, trace::Level::Warning, {trace::Num(r.recordIndex)});
        }
        auto index = static_cast<uint32_t>(r.recordIndex);
        if (index >= records.count() && !records.Resize(index + 1)) {
            return fail_(LoadRule::RecordsNotGrown, 51, trace::Level::Warning, {trace::Num(r.recordIndex)});
        }
        records[index] = r;
        return true;
    }

    bool LoadName() {
        uint16_t count = nameCount_;
        if (!in_.Field(count) || count == 0 || !ReadScratch(nameBytes_, count)) {
            return fail_(LoadRule::NameUnreadable, 52, trace::Level::Error);
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
        // A name empty up to its first NUL is refused as well: no writer makes
        // one, and a name entry needs at least one byte, so a store holding it
        // could not be written out again.
        if (path.empty()) return fail_(LoadRule::NameUnreadable, 52, trace::Level::Error);
        if (!in_.Field(nameIndex_) || nameIndex_ == kNoIndex) return fail_(LoadRule::NameIndexInvalid, 53, trace::Level::Error);
        OrderedMap<NameOrder>::Result entry = store_.names().FindOrInsert(path);
        if (entry.entry == nullptr) return fail_(LoadRule::NameNotInserted, 54, trace::Level::Warning);
        if (entry.inserted) entry.entry->ref = {&store_, nameIndex_, false};
        return true;
    }

    bool LoadHash() {
        MemberHash hash;
        uint8_t length = 0;
        if (!in_.Field(length)) return fail_(LoadRule::HashTruncated, 55, trace::Level::Warning);
        if (length > MemberHash::kMaxLength) {
            return fail_(LoadRule::HashTooLong, 14, trace::Level::Error, {trace::Num(length)}, trace::Source::Hash);
        }
        hash.length = length;
        if (!in_.Bytes(std::span<uint8_t>(hash.bytes, length))) return fail_(LoadRule::HashTruncated, 55, trace::Level::Warning);
        if (!in_.Field(hashIndex_) || hashIndex_ == kNoIndex) return fail_(LoadRule::HashIndexInvalid, 56, trace::Level::Warning);
        MemberHashIndex::Result entry = store_.hashes().FindOrInsert(hash);
        if (entry.entry == nullptr) return fail_(LoadRule::HashNotInserted, 57, trace::Level::Warning);
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
            return fail_(LoadRule::SignerValueTruncated, 58, trace::Level::Error);
        }
        valueLength_ = length;
        std::span<const uint8_t> value = valueBytes_.bytes().first(length);
        GrowableArray<SignerValueEntry>& table = store_.signerValues();
        if (table.count() >= CatalogStore::kMaxSignerValues) {
            return fail_(LoadRule::SignerValueTableFull, 59, trace::Level::Warning, {trace::Num(table.count())});
        }
        if (!store_.AppendSignerValue(value, false)) return fail_(LoadRule::SignerValueNotAppended, 60, trace::Level::Error);
        // A value already indexed keeps its first index; the duplicate still
        // takes its place in the table.
        OrderedMap<SignerValueOrder>::Result entry = store_.signerValueIndex().FindOrInsert(value);
        if (entry.entry == nullptr) return fail_(LoadRule::SignerValueNotIndexed, 61, trace::Level::Error);
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
        return in_.Bytes(scratch.bytes().first(count));
    }

    CatalogStore& store_;
    FieldReader in_;
    uint64_t size_;
    LoadFailure& fail_;
    uint8_t tag_ = 0;
    CatalogRecord record_;
    CMemory nameBytes_;
    uint16_t nameCount_ = 0;
    uint32_t nameIndex_ = kNoIndex;
    uint32_t hashIndex_ = kNoIndex;
    CMemory valueBytes_;
    uint32_t valueLength_ = 0;
};

bool Validate(CatalogStore& store, LoadFailure& fail) {
    uint32_t values = store.signerValues().count();
    if (values == 0) return fail(LoadRule::NoSignerValue, 63, trace::Level::Warning);
    GrowableArray<CatalogRecord>& records = store.records();
    // The largest signer value index over the records the entries name.
    uint64_t beyond[2] = {};
    auto reach = [&](uint32_t index, uint32_t& highest) {
        if (index >= records.count()) {
            StoreEvent(10, trace::Level::Error, {trace::Num(records.count()), trace::Num(index)});
            beyond[0] = index;
            beyond[1] = records.count();
            return false;
        }
        highest = std::max<uint32_t>(highest, records[index].HighestSignerValue());
        return true;
    };
    uint32_t nameMax = 0;
    if (!store.names().ForEach([&](NameEntry& entry) { return reach(entry.ref.index, nameMax); })) {
        return fail(LoadRule::NameIndexBeyondRecords, 64, trace::Level::Warning, {trace::Num(beyond[0]), trace::Num(beyond[1])});
    }
    uint32_t hashMax = 0;
    // Which records member hashes reach is kept for the writer's own check
    // (KeepsSignerReach); the log does not record it. Of the hashes beyond
    // the records, the first in key order is reported.
    const HashEntry* stray = nullptr;
    store.hashes().ForEach([&](HashEntry& entry) {
        if (entry.index >= records.count()) {
            if (stray == nullptr || CompareHashBytes(entry.view(), stray->view()) < 0) stray = &entry;
        } else {
            reach(entry.index, hashMax);
            records[entry.index].ownsHash = true;
        }
        return true;
    });
    if (stray != nullptr) {
        reach(stray->index, hashMax);
        return fail(LoadRule::HashIndexBeyondRecords, 65, trace::Level::Warning, {trace::Num(beyond[0]), trace::Num(beyond[1])});
    }
    if (nameMax != hashMax) {
        return fail(LoadRule::HashMaxNotNameMax, 66, trace::Level::Warning, {trace::Num(nameMax), trace::Num(hashMax)});
    }
    if (nameMax != values - 1) {
        return fail(LoadRule::NameMaxNotLastValue, 67, trace::Level::Warning, {trace::Num(nameMax), trace::Num(values)});
    }
    return true;
}

}  // namespace

bool SaveStore(CatalogStore& store, IStoreOutput& output) {
    EntryBatch batch(output, store.callbacks(), FastPathsEnabled());
    FieldWriter out(batch);
    std::string nameBytes;
    if (!SavePass(store.records(), out, 32, 31, [](CatalogRecord& r) -> bool& { return r.unsaved; },
                  [&](const CatalogRecord& r) { return SaveRecord(out, r); }) ||
        !SavePass(store.names(), out, 36, 35, [](NameEntry& e) -> bool& { return e.ref.unsaved; },
                  [&](const NameEntry& e) { return SaveName(out, e, nameBytes); })) {
        return false;
    }
    // The hash index keeps no order; the file has each save's hashes in key order.
    HashKeyOrder hashes(store.hashes(), true);
    if (!hashes.ok()) return StoreFailure(40, trace::Level::Warning);
    return SavePass(hashes, out, 41, 40, [](HashEntry& e) -> bool& { return e.unsaved; },
                    [&](const HashEntry& e) { return SaveHash(out, e); }) &&
           SavePass(store.signerValues(), out, 44, 43, [](SignerValueEntry& e) -> bool& { return e.unsaved; },
                    [&](const SignerValueEntry& e) { return SaveSignerValue(out, e); });
}

bool LoadStore(CatalogStore& store, IStream& stream, uint64_t position, LoadDiagnostics* diagnostics) {
    store.ClearStore();
    LoadFailure fail(diagnostics);
    fail.Enter(EntryKind::Header, position, 0);
    uint64_t size = 0;
    if (!stream.GetSize(size)) return fail(LoadRule::SizeUnknown, 49, trace::Level::Error);
    StoreLoader loader(store, stream, position, size, fail);
    return loader.Replay() && Validate(store, fail);
}

}  // namespace TarnVerifyTrustDriver
