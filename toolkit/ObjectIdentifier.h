// The X.690 form of OBJECT IDENTIFIER contents.
#pragma once

#include "platform/ByteReader.h"

namespace korva::toolkit {

// Non-empty, every subidentifier in its shortest form (no leading 0x80
// octet) and the last one complete.
bool OidWellFormed(platform::ByteSpan content);

}  // namespace korva::toolkit
