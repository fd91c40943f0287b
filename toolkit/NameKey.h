// Keys that file names for lookup: every stored name that NameCompare
// (stored, wanted) accepts is filed under one of the wanted name's lookup
// keys. A key only narrows the search; NameCompare confirms each hit.
//
// NameCompare matches each attribute of the stored name somewhere in the
// wanted name's RDN at the same place, so it is not symmetric once an RDN
// holds several values ({X,X} accepts {X},{Y}), and no single key per name
// could serve. A stored name of single-valued RDNs only matches a wanted
// name of the same attributes in order: it is filed under all of them. Any
// other stored name is filed under its count and the least of its attribute
// hashes, an attribute the wanted name must hold somewhere: a lookup tries
// each of the wanted name's attributes.
#pragma once

#include <cstdint>

#include "toolkit/Name.h"

namespace korva::toolkit {

uint64_t NameStoredKey(const NameObject* name);
// Lookup keys 0 to the name's attribute count, inclusive.
uint32_t NameLookupKeyCount(const NameObject* name);
uint64_t NameLookupKey(const NameObject* name, uint32_t index);
// A name key joined with a serial number's octets.
uint64_t NameKeyWithSerial(uint64_t nameKey, const uint8_t* serial, uint32_t serialLength);

}  // namespace korva::toolkit
