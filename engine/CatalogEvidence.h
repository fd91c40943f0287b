// Where AddCatalog meets catalog verification. The store asks a verifier
// (standing for the trust anchor set and the ASN.1 walker) for a fresh catalog
// callback, has it walk one catalog file, and then reads what the callback
// decided and collected. The engine plugs the real walker and callback in.
#pragma once

#include <cstdint>

#include "engine/CatalogRecord.h"
#include "engine/MemberHash.h"
#include "runtime/Memory.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

// What the directory scan knows of a catalog file.
struct CatalogFindData {
    uint32_t attributes = 0;
    FileTime lastWriteTime;
};

inline constexpr uint32_t kFileAttributeSystem = 0x4;
inline constexpr uint32_t kFileAttributeDirectory = 0x10;
inline constexpr uint32_t kFileAttributeArchive = 0x20;
inline constexpr uint32_t kFileAttributeDevice = 0x40;
inline constexpr uint32_t kFileAttributeNormal = 0x80;
inline constexpr uint32_t kFileAttributeSparseFile = 0x200;

// The walk result that means the whole file was walked and accepted so far.
inline constexpr uint32_t kWalkSucceeded = 1;

// A catalog callback after its walk: the three verdicts and what it collected.
class ICatalogEvidence {
public:
    virtual ~ICatalogEvidence() = default;
    virtual bool ContentDigestMatched() const = 0;
    virtual bool SignerVerified() const = 0;
    virtual bool SignerRejected() const = 0;
    // Values 1 to 4: subject name, issuer name, serial number, certificate SHA-1.
    virtual const CMemory& SignerValue(uint32_t number) const = 0;
    virtual uint32_t SignerFlags() const = 0;
    virtual uint32_t TimeValue() const = 0;
    // The member hashes in document order.
    virtual uint32_t MemberCount() const = 0;
    virtual const MemberHash& Member(uint32_t position) const = 0;
    // Ends the store's use: what letting the callback go reports is reported
    // here, so that deleting it later, on the thread that walked it, reports
    // nothing more.
    virtual void Close() {}
};

class ICatalogVerifier {
public:
    virtual ~ICatalogVerifier() = default;
    // A fresh callback bound to the trust anchor set, or null when it cannot
    // be made. The caller deletes it.
    virtual ICatalogEvidence* CreateCallback(CCallbacks* callbacks) = 0;
    // Walks the catalog file at `path` with `callback`; the walk result.
    virtual uint32_t ParseCatalogFile(const wchar_t* path, ICatalogEvidence& callback, CCallbacks* callbacks) = 0;
};

}  // namespace TarnVerifyTrustDriver
