// The file-level entry of the walker: one read of the whole catalog file
// into one buffer, then ParseAsn1 over it.
#pragma once

#include <cstdint>

#include "catalog/Asn1NodeCallback.h"
#include "catalog/CatalogReadBuffer.h"
#include "catalog/WalkResult.h"
#include "runtime/MemoryService.h"

namespace TarnVerifyTrustDriver {

// The caller's record of a parse; cleared at entry.
struct CatalogParseRecord {
    uint32_t value = 0;
};

// 1 walked, 5 empty file, 8 cannot open, 9 cannot size or read, 11 malformed
// or rejected, 22 out of memory or refused by OnParseBegin. The file is read
// into `buffer`, or into a buffer of the call's own when it is null.
uint32_t ParseCatalogFile(CatalogParseRecord* record, CCallbacks* allocator, const wchar_t* path,
                          IAsn1NodeCallback* callback, CatalogReadBuffer* buffer = nullptr);

}  // namespace TarnVerifyTrustDriver
