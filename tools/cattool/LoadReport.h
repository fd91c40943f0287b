// The engine's verdict on a Cat.DB, as text and as the "load" JSON member;
// dump and check print the same.
#pragma once

#include <string>

#include "tools/cattool/DatabaseView.h"
#include "tools/cattool/Json.h"

namespace korva::cattool {

// One line: "loads" or "would be discarded and rebuilt: ...".
std::string LoadVerdictText(const DatabaseView& view);

// {"loads": true} or {"loads": false, "rule": ..., "description": ..., "kind": ...,
//  "offset": ..., "tag": ..., "event": {"source": ..., "number": ...}, "values": [a, b]}
void WriteLoadJson(JsonWriter& json, const DatabaseView& view);

}  // namespace korva::cattool
