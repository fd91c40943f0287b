// The strict check of name attribute values: string types and lengths of
// the attributes X.520 bounds.
#pragma once

#include "toolkit/Name.h"

namespace korva::toolkit {

// 0 when every attribute value of a known type has an allowed string type
// (1805), a length of 1 to its limit in characters (1810) and, for
// PrintableString, only PrintableString characters (1809).
Status NameCheckAttributes(const NameObject* name);

// True when `c` is one of the PrintableString characters.
bool IsPrintableStringChar(uint8_t c);

}  // namespace korva::toolkit
