#include "engine/CatalogStore.h"

#include "engine/SignerReach.h"
#include "engine/StoreTrace.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

namespace {

void RecordEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Record, number, level, data);
}

bool IsPlainFile(uint32_t attributes) {
    constexpr uint32_t kPlain = kFileAttributeSystem | kFileAttributeArchive | kFileAttributeNormal;
    constexpr uint32_t kNotPlain = kFileAttributeDirectory | kFileAttributeDevice | kFileAttributeSparseFile;
    return (attributes & kPlain) != 0 && (attributes & kNotPlain) == 0;
}

// Closes the catalog callback on every way out of AddCatalog; the walk that
// made it deletes it.
class CallbackCloser {
public:
    explicit CallbackCloser(ICatalogEvidence* callback) : callback_(callback) {}
    ~CallbackCloser() { callback_->Close(); }
    CallbackCloser(const CallbackCloser&) = delete;
    CallbackCloser& operator=(const CallbackCloser&) = delete;

private:
    ICatalogEvidence* callback_;
};

}  // namespace

CatalogStore::CatalogStore(CCallbacks* callbacks)
    : callbacks_(callbacks),
      records_(callbacks),
      names_(callbacks),
      hashes_(callbacks),
      signerValues_(callbacks),
      signerValueIndex_(callbacks) {}

void CatalogStore::ClearStore() {
    records_.Clear();
    names_.Clear();
    hashes_.Clear();
    signerValues_.Clear();
    signerValueIndex_.Clear();
    ForgetSignerReach();
}

bool CatalogStore::AddCatalog(const std::wstring& path, const CatalogFindData& findData, ICatalogVerifier& verifier,
                              PreparedWalk* prepared) {
    if (!IsPlainFile(findData.attributes)) return true;
    if (records_.count() >= kMaxRecords) return StoreFailure(11, trace::Level::Warning, {trace::Num(records_.count())});
    const CatalogRecord* known = nullptr;
    if (NameEntry* name = names_.Find(path)) {
        known = ResolveRef(name->ref);
        if (known == nullptr) return StoreFailure(12, trace::Level::Warning, {trace::Text(path)});
        if (known->fileTime == findData.lastWriteTime) return true;
    }

    PreparedWalk here;
    if (prepared == nullptr || !prepared->walked()) {
        prepared = &here;
        prepared->Walk(verifier, path.c_str(), callbacks_);
    }
    uint32_t walkResult = 0;
    ICatalogEvidence* callback = prepared->Take(walkResult);
    if (callback == nullptr) return StoreFailure(13, trace::Level::Error);
    CallbackCloser closer(callback);
    if (walkResult != kWalkSucceeded) return false;
    if (!callback->ContentDigestMatched()) return StoreFailure(14, trace::Level::Warning, {trace::Text(path)});
    if (!callback->SignerVerified()) return StoreFailure(15, trace::Level::Warning, {trace::Text(path)});
    if (callback->SignerRejected()) return StoreFailure(16, trace::Level::Information, {trace::Text(path)});
    // Held back like a refused catalog: not recorded, so walked again by the
    // next scan. A new catalog held back lists only hashes other catalogs
    // already own; a held-back update keeps the record it had.
    if (!KeepsSignerReach(*this, known, *callback)) return StoreFailure(28, trace::Level::Warning, {trace::Text(path)});

    // The signer values are interned before the record is touched, so that
    // a failure here leaves no record whose values name another signer's.
    ForgetSignerReach();
    CatalogRecord scratch;
    scratch.owner = this;
    uint8_t values[4] = {};
    for (uint32_t number = 1; number <= 4; ++number) {
        if (!InternSignerValue(scratch, callback->SignerValue(number).bytes(), values[number - 1])) {
            return StoreFailure(21 + number, trace::Level::Warning);
        }
    }

    OrderedMap<NameOrder>::Result name = names_.FindOrInsert(path);
    if (name.entry == nullptr) return StoreFailure(17, trace::Level::Error);
    if (name.inserted) {
        CatalogRecord* fresh = records_.Append();
        if (fresh == nullptr) return StoreFailure(18, trace::Level::Error);
        uint32_t index = records_.count() - 1;
        fresh->recordIndex = index;
        fresh->owner = this;
        if (!SetRef(name.entry->ref, this, index)) return StoreFailure(20, trace::Level::Warning);
    }
    CatalogRecord* record = ResolveRef(name.entry->ref);
    if (record == nullptr) return StoreFailure(21, trace::Level::Warning);
    record->signerValue1 = values[0];
    record->signerValue2 = values[1];
    record->signerValue3 = values[2];
    record->signerValue4 = values[3];
    record->signerFlags = callback->SignerFlags();
    record->timeValue = callback->TimeValue();
    record->unsaved = true;

    // The first catalog that lists a hash keeps it. Room for every member is
    // made at once: a large catalog does not grow the table step by step.
    uint32_t added = 0;
    const uint32_t count = callback->MemberCount();
    if (!hashes_.Reserve(count)) return StoreFailure(27, trace::Level::Error);
    for (uint32_t i = 0; i < count; ++i) {
        MemberHashIndex::Result hash = hashes_.FindOrInsert(callback->Member(i));
        if (hash.entry == nullptr) return StoreFailure(27, trace::Level::Error);
        if (hash.inserted) {
            hash.entry->index = name.entry->ref.index;
            hash.entry->unsaved = true;
            record->ownsHash = true;
            ++added;
        }
    }
    // The file time goes in last: a catalog taken in only in part keeps a
    // time that differs from its file's, so the next scan walks it again.
    record->fileTime = findData.lastWriteTime;
    // KeepsSignerReach let the catalog in only for a store left as the
    // loader demands, and it was taken in whole.
    NoteSignerReachHolds();
    StoreEvent(29, trace::Level::Information, {trace::Num(added)});
    return true;
}

bool CatalogStore::WouldWalk(const std::wstring& path, const CatalogFindData& findData) {
    if (!IsPlainFile(findData.attributes) || records_.count() >= kMaxRecords) return false;
    const NameEntry* name = names_.Find(path);
    if (name == nullptr) return true;
    const CatalogRef& ref = name->ref;
    // A name whose record is gone is refused before any walk.
    if (ref.owner == nullptr || ref.index >= ref.owner->records().count()) return false;
    return !(ref.owner->records()[ref.index].fileTime == findData.lastWriteTime);
}

bool CatalogStore::AppendSignerValue(std::span<const uint8_t> value, bool unsaved) {
    SignerValueEntry* row = signerValues_.Append();
    if (row == nullptr) return false;
    if (!CopyBytes(row->value, value)) {
        signerValues_.Resize(signerValues_.count() - 1);
        return false;
    }
    row->unsaved = unsaved;
    return true;
}

CatalogRecord* ResolveRef(const CatalogRef& reference) {
    if (reference.owner == nullptr || reference.index >= reference.owner->records().count()) {
        trace::Emit(trace::Source::Reference, 18, trace::Level::Warning, {trace::Num(reference.index)});
        return nullptr;
    }
    return &reference.owner->records()[reference.index];
}

bool SetRef(CatalogRef& reference, CatalogStore* store, uint32_t index) {
    if (store == nullptr || index >= store->records().count()) return false;
    reference.owner = store;
    reference.index = index;
    reference.unsaved = true;
    return true;
}

bool InternSignerValue(CatalogRecord& record, std::span<const uint8_t> value, uint8_t& index) {
    CatalogStore* store = record.owner;
    if (store == nullptr) {
        RecordEvent(13, trace::Level::Information);
        return false;
    }
    GrowableArray<SignerValueEntry>& table = store->signerValues();
    RecordEvent(14, trace::Level::Information, {trace::Num(table.count())});
    if (table.count() >= CatalogStore::kMaxSignerValues) {
        RecordEvent(15, trace::Level::Warning, {trace::Num(table.count())});
        return false;
    }
    if (const SignerIndexEntry* known = store->signerValueIndex().Find(value)) {
        index = known->index;
        record.unsaved = true;
        return true;
    }
    // The table row comes first, so that an index entry is never left
    // pointing at a row that could not be made.
    if (!store->AppendSignerValue(value, true)) {
        RecordEvent(16, trace::Level::Warning);
        return false;
    }
    OrderedMap<SignerValueOrder>::Result entry = store->signerValueIndex().FindOrInsert(value);
    if (entry.entry == nullptr) {
        table.Resize(table.count() - 1);
        RecordEvent(18, trace::Level::Warning);
        return false;
    }
    RecordEvent(17, trace::Level::Information, {trace::Num(table.count())});
    entry.entry->index = static_cast<uint8_t>(table.count() - 1);
    index = entry.entry->index;
    record.unsaved = true;
    return true;
}

}  // namespace TarnVerifyTrustDriver
