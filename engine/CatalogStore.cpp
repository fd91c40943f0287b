#include "engine/CatalogStore.h"

#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace trace = korva::trace;

namespace {

void StoreEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Store, number, level, data);
}

void RecordEvent(uint32_t number, trace::Level level, std::initializer_list<trace::Value> data = {}) {
    trace::Emit(trace::Source::Record, number, level, data);
}

bool IsPlainFile(uint32_t attributes) {
    constexpr uint32_t kPlain = kFileAttributeSystem | kFileAttributeArchive | kFileAttributeNormal;
    constexpr uint32_t kNotPlain = kFileAttributeDirectory | kFileAttributeDevice | kFileAttributeSparseFile;
    return (attributes & kPlain) != 0 && (attributes & kNotPlain) == 0;
}

// Deletes the catalog callback on every way out of AddCatalog.
class CallbackOwner {
public:
    explicit CallbackOwner(ICatalogEvidence* callback) : callback_(callback) {}
    ~CallbackOwner() { delete callback_; }
    CallbackOwner(const CallbackOwner&) = delete;
    CallbackOwner& operator=(const CallbackOwner&) = delete;

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
}

bool CatalogStore::AddCatalog(const std::wstring& path, const CatalogFindData& findData, ICatalogVerifier& verifier) {
    if (!IsPlainFile(findData.attributes)) return true;
    if (records_.count() >= kMaxRecords) {
        StoreEvent(11, trace::Level::Warning, {trace::Num(records_.count())});
        return false;
    }
    if (NameEntry* known = names_.Find(path)) {
        CatalogRecord* record = ResolveRef(known->ref);
        if (record == nullptr) {
            StoreEvent(12, trace::Level::Warning, {trace::Text(path)});
            return false;
        }
        if (record->fileTime == findData.lastWriteTime) return true;
    }

    ICatalogEvidence* callback = verifier.CreateCallback(callbacks_);
    if (callback == nullptr) {
        StoreEvent(13, trace::Level::Error);
        return false;
    }
    CallbackOwner owner(callback);
    if (verifier.ParseCatalogFile(path.c_str(), *callback, callbacks_) != kWalkSucceeded) return false;
    if (!callback->ContentDigestMatched()) {
        StoreEvent(14, trace::Level::Warning, {trace::Text(path)});
        return false;
    }
    if (!callback->SignerVerified()) {
        StoreEvent(15, trace::Level::Warning, {trace::Text(path)});
        return false;
    }
    if (callback->SignerRejected()) {
        StoreEvent(16, trace::Level::Information, {trace::Text(path)});
        return false;
    }

    OrderedMap<NameOrder>::Result name = names_.FindOrInsert(path);
    if (name.entry == nullptr) {
        StoreEvent(17, trace::Level::Error);
        return false;
    }
    if (name.inserted) {
        CatalogRecord* fresh = records_.Append();
        if (fresh == nullptr) {
            StoreEvent(18, trace::Level::Error);
            return false;
        }
        uint32_t index = records_.count() - 1;
        fresh->recordIndex = index;
        fresh->owner = this;
        if (!SetRef(name.entry->ref, this, index)) {
            StoreEvent(20, trace::Level::Warning);
            return false;
        }
    }
    CatalogRecord* record = ResolveRef(name.entry->ref);
    if (record == nullptr) {
        StoreEvent(21, trace::Level::Warning);
        return false;
    }
    record->fileTime = findData.lastWriteTime;
    record->unsaved = true;

    uint8_t* slots[] = {&record->signerValue1, &record->signerValue2, &record->signerValue3, &record->signerValue4};
    for (uint32_t number = 1; number <= 4; ++number) {
        if (!InternSignerValue(*record, callback->SignerValue(number).bytes(), *slots[number - 1])) {
            StoreEvent(21 + number, trace::Level::Warning);
            return false;
        }
    }
    record->signerFlags = callback->SignerFlags();
    record->timeValue = callback->TimeValue();
    record->unsaved = true;

    // The first catalog that lists a hash keeps it.
    uint32_t added = 0;
    for (uint32_t i = 0; i < callback->MemberCount(); ++i) {
        OrderedMap<HashOrder>::Result hash = hashes_.FindOrInsert(callback->Member(i));
        if (hash.entry == nullptr) {
            StoreEvent(27, trace::Level::Error);
            return false;
        }
        if (hash.inserted) {
            hash.entry->index = name.entry->ref.index;
            hash.entry->unsaved = true;
            ++added;
        }
    }
    StoreEvent(29, trace::Level::Information, {trace::Num(added)});
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
    SignerValueEntry* row = table.Append();
    if (row == nullptr || !CopyBytes(row->value, value)) {
        if (row != nullptr) table.Resize(table.count() - 1);
        RecordEvent(16, trace::Level::Warning);
        return false;
    }
    row->unsaved = true;
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
