// --trust-test-root DER: roots that join the built-in code-signing anchors for
// one command, for people who sign their own drivers under a test root.
// KorvaCatalogDB itself never trusts one.
#pragma once

#include <string>
#include <vector>

#include "catalog/ExtraRoots.h"
#include "tools/cattool/Commands.h"

namespace korva::cattool {

inline constexpr const wchar_t* kTrustTestRootOption = L"--trust-test-root";

// Splits the operands into the roots' files and the rest, and adds each
// root to `roots`; false with the reason in `output.err`.
bool TakeTestRoots(const std::vector<std::wstring>& operands, std::vector<std::wstring>& rootPaths,
                   std::vector<std::wstring>& rest, TarnVerifyTrustDriver::CExtraRoots& roots, CommandOutput& output);

}  // namespace korva::cattool
