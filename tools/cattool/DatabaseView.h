// A Cat.DB as the tool sees it: loaded through the engine's own loader, so
// that every verdict is the engine's, plus a raw walk over the entries that
// counts them and finds the bytes later entries made useless. Read-only: the
// file is read whole and never opened for writing.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/CatalogStore.h"
#include "engine/LoadDiagnostics.h"

namespace korva::cattool {

// Entry statistics of one kind.
struct EntryTally {
    uint64_t count = 0;
    uint64_t bytes = 0;
    uint64_t superseded = 0;       // entries a later record or an earlier name or hash made useless
    uint64_t supersededBytes = 0;
};

struct RawWalk {
    // By tag: record, name, hash, signer value.
    EntryTally records, names, hashes, signerValues;
    uint64_t end = 0;        // where the walk stopped
    bool complete = false;   // it stopped at the end of the file
};

// A record's name as stored ("\SystemRoot\SYSTEM32\..." below the system
// directory) and the host path it stands for; `host` is empty for a name
// stored as it is.
struct RecordName {
    std::wstring stored;
    std::wstring host;
};

struct DatabaseView {
    std::vector<uint8_t> bytes;
    uint32_t magic = 0;
    uint32_t version = 0;
    uint32_t dirty = 0;
    bool loads = false;  // the engine would keep this file
    TarnVerifyTrustDriver::LoadDiagnostics diagnostics;
    std::unique_ptr<TarnVerifyTrustDriver::CatalogStore> store;
    RawWalk walk;

    // The paths whose names map to each record, by record index.
    std::vector<std::vector<std::wstring>> PathsByRecord();
    // The same as the file stores them, with the host path beside each name
    // stored in kernel form.
    std::vector<std::vector<RecordName>> NamesByRecord();
};

class JsonWriter;
// "names": [{"stored": "..", "host": ".." | null}], for dump and lookup.
void WriteNamesJson(JsonWriter& json, const std::vector<RecordName>& names);

// Reads `path` and loads it; false with `error` (a Win32 code) when the file
// cannot be read.
bool OpenDatabaseView(const std::wstring& path, DatabaseView& view, uint32_t& error);

// The same over bytes already in memory.
void LoadDatabaseView(DatabaseView& view);

}  // namespace korva::cattool
