// The loader accepts a store only when the highest signer value index reached
// through catalog names equals the one reached through member hashes and is
// the last index of the table. Appending a catalog can break that: one that
// owns no member hash yet brings new signer values (a re-signed package whose
// hashes another catalog already owns, or a catalog without members), or an
// update that drops the values only its record used. Such a catalog is held
// back instead, so that every saved Cat.DB stays loadable.
#pragma once

#include "engine/CatalogEvidence.h"
#include "engine/CatalogStore.h"

namespace TarnVerifyTrustDriver {

// Whether giving `record` (null for a catalog not yet in the store) the signer
// values and member hashes of `evidence` keeps the store loadable. Also false
// when the new values would not fit the table.
bool KeepsSignerReach(CatalogStore& store, const CatalogRecord* record, const ICatalogEvidence& evidence);

}  // namespace TarnVerifyTrustDriver
