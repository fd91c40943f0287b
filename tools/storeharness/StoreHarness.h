// A harness for driving the catalog store without files or signatures, shared
// by the tests, the store benchmark and the fuzz targets: streams over memory,
// a canonical text of a store's content, and a catalog verifier that serves
// prepared catalogs instead of walking files. Header-only and free of
// GoogleTest, so that the fuzz targets can use it.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <array>
#include <cstdio>
#include <functional>
#include <map>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/CatalogDatabaseFile.h"
#include "engine/CatalogStore.h"
#include "engine/StoreOutput.h"
#include "runtime/KernelPath.h"
#include "runtime/Stream.h"

namespace TarnVerifyTrustDriver::test {

using Bytes = std::vector<uint8_t>;

// Reads as the buffered file stream does: true once a byte arrives.
class MemoryStream : public IStream {
public:
    explicit MemoryStream(Bytes bytes) : bytes_(std::move(bytes)) {}
    bool IsOpen() const override { return true; }
    bool GetSize(uint64_t& size) override { return size = bytes_.size(), true; }
    bool ReadAt(uint64_t position, void* buffer, uint32_t size, uint32_t* count) override {
        auto delivered = static_cast<uint32_t>(std::min<uint64_t>(size, bytes_.size() - std::min<uint64_t>(position, bytes_.size())));
        if (delivered > 0) std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position), delivered, static_cast<uint8_t*>(buffer));
        if (count != nullptr) *count = delivered;
        return delivered > 0 || size == 0;
    }

private:
    Bytes bytes_;
};

// The header of a completed save.
inline const Bytes kHeader = {0xDE, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0};

class MemoryOutput : public IStoreOutput {
public:
    bool Write(const void* data, uint32_t size) override {
        return written.insert(written.end(), static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), true;
    }
    Bytes written;
};

inline std::string Hex(std::span<const uint8_t> bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (uint8_t b : bytes) hex += {kDigits[b >> 4], kDigits[b & 15]};
    return hex;
}

// ASCII text as the hex of its UTF-16LE code units, as names are stored.
inline std::string Utf16Hex(std::string_view ascii) {
    Bytes bytes;
    for (char c : ascii) bytes.insert(bytes.end(), {static_cast<uint8_t>(c), 0});
    return Hex(bytes);
}

// Everything a store holds but the unsaved marks, one line per entry.
inline std::string Describe(CatalogStore& store) {
    std::string text;
    auto line = [&text](auto... parts) { ((text += parts, text += ' '), ...), text += '\n'; };
    for (const CatalogRecord& r : store.records().items()) {
        line("record", std::to_string(r.recordIndex), std::to_string(r.fileTime.low), std::to_string(r.fileTime.high),
             std::to_string(r.signerFlags), std::to_string(r.timeValue), std::to_string(r.signerValue1),
             std::to_string(r.signerValue2), std::to_string(r.signerValue3), std::to_string(r.signerValue4));
    }
    store.names().ForEach([&](NameEntry& e) { return line("name", Hex(e.name.bytes()), std::to_string(e.ref.index)), true; });
    // In key order, sorted here: the store's own order would take memory
    // from the service that the sweeps make fail.
    std::vector<const HashEntry*> hashes;
    store.hashes().ForEach([&](HashEntry& e) { return hashes.push_back(&e), true; });
    std::sort(hashes.begin(), hashes.end(), [](auto* a, auto* b) { return CompareHashBytes(a->view(), b->view()) < 0; });
    for (const HashEntry* e : hashes) line("hash", Hex(e->view()), std::to_string(e->index));
    for (const SignerValueEntry& v : store.signerValues().items()) line("value", Hex(v.value.bytes()));
    store.signerValueIndex().ForEach([&](SignerIndexEntry& e) { return line("index", Hex(e.value.bytes()), std::to_string(e.index)), true; });
    return text;
}

// A store's content without record indexes: name -> record fields and
// signer values, hash -> name; sorted, so that the order of adding is moot.
inline std::string Content(CatalogStore& store) {
    std::map<uint32_t, std::string> names;
    std::vector<std::string> lines;
    store.names().ForEach([&](NameEntry& e) {
        const CatalogRecord* r = ResolveRef(e.ref);
        std::string line = Hex(e.name.bytes()) + " " + std::to_string(r->fileTime.low) + " " +
                           std::to_string(r->signerFlags) + " " + std::to_string(r->timeValue);
        for (uint8_t value : {r->signerValue1, r->signerValue2, r->signerValue3, r->signerValue4}) {
            line += " " + Hex(store.signerValues().items()[value].value.bytes());
        }
        names[e.ref.index] = Hex(e.name.bytes());
        return lines.push_back(line), true;
    });
    store.hashes().ForEach([&](HashEntry& e) { return lines.push_back(Hex(e.view()) + " " + names[e.index]), true; });
    std::sort(lines.begin(), lines.end());
    std::string text;
    for (const std::string& line : lines) text += line + "\n";
    return text;
}

// What the engine's own load makes of a Cat.DB: empty when it is refused.
inline std::string LoadedContent(const Bytes& bytes) {
    CatalogStore store;
    MemoryStream stream(bytes);
    return LoadDatabase(store, stream) == kSuccess ? Content(store) : std::string();
}

// So that a loaded store can be written out again in full.
inline void MarkAllUnsaved(CatalogStore& store) {
    // Only records that stand at their own index: a gap's empty record
    // names index 0 and would overwrite the first record.
    for (CatalogRecord& r : store.records().items()) r.unsaved = r.recordIndex == static_cast<uint64_t>(&r - store.records().items().data());
    store.names().ForEach([](NameEntry& e) { return e.ref.unsaved = true; });
    store.hashes().ForEach([](HashEntry& e) { return e.unsaved = true; });
    for (SignerValueEntry& v : store.signerValues().items()) v.unsaved = true;
}

// The system directory with its trailing separator; on POSIX hosts one is
// made up unless the environment names one.
inline std::wstring SystemDirectory() {
#ifndef _WIN32
    setenv("KORVA_SYSTEM_DIR", "/mnt/Win/System32", 0);
#endif
    std::wstring directory;
    GetSystemDirectoryPath(directory);
    return directory;
}

inline MemberHash Hash(uint8_t fill, uint32_t length) {
    MemberHash hash;
    std::fill_n(hash.bytes, length, fill);
    hash.length = length;
    return hash;
}

inline Bytes Text(const char* text) { return Bytes(text, text + std::char_traits<char>::length(text)); }

// What a catalog callback would report for one catalog file.
struct FakeCatalog {
    std::array<Bytes, 4> values;
    std::vector<MemberHash> members;
    uint32_t signerFlags = 0;
    uint32_t timeValue = 0;
    uint32_t walkResult = kWalkSucceeded;
    bool digestMatched = true;
    bool signerVerified = true;
    bool signerRejected = false;
};

class FakeEvidence : public ICatalogEvidence {
public:
    bool ContentDigestMatched() const override { return catalog.digestMatched; }
    bool SignerVerified() const override { return catalog.signerVerified; }
    bool SignerRejected() const override { return catalog.signerRejected; }
    const CMemory& SignerValue(uint32_t number) const override { return values[number - 1]; }
    uint32_t SignerFlags() const override { return catalog.signerFlags; }
    uint32_t TimeValue() const override { return catalog.timeValue; }
    uint32_t MemberCount() const override { return static_cast<uint32_t>(catalog.members.size()); }
    const MemberHash& Member(uint32_t position) const override { return catalog.members[position]; }

    // Reports `from` from now on; false when a value could not be copied.
    bool Report(const FakeCatalog& from) {
        catalog = from;
        for (size_t i = 0; i < 4; ++i) {
            if (!CopyBytes(values[i], from.values[i])) return false;
        }
        return true;
    }

    FakeCatalog catalog;
    CMemory values[4];
};

// Serves the catalogs it was given by path; unknown paths cannot be opened.
class FakeVerifier : public ICatalogVerifier {
public:
    static constexpr uint32_t kCannotOpen = 8;
    static constexpr uint32_t kOutOfMemory = 22;

    ICatalogEvidence* CreateCallback(CCallbacks*) override {
        return refuseCallback ? nullptr : new (std::nothrow) FakeEvidence();
    }
    uint32_t ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback, CCallbacks*) override {
        ++walks;
        if (onWalk) onWalk(path);
        auto found = catalogs.find(path);
        if (found == catalogs.end()) return kCannotOpen;
        if (!static_cast<FakeEvidence&>(callback).Report(found->second)) return kOutOfMemory;
        return found->second.walkResult;
    }

    std::map<std::wstring, FakeCatalog> catalogs;
    std::function<void(const wchar_t*)> onWalk;  // runs as a walk starts, in the middle of a scan
    bool refuseCallback = false;
    int walks = 0;
};

}  // namespace TarnVerifyTrustDriver::test
