// Test-only control of the POSIX host's registry, which otherwise loads the
// .reg file named by KORVA_REGISTRY_FILE once. Not available on Windows,
// where tests import their fixtures into the real (Wine) registry.
#pragma once

#ifndef _WIN32

#include <string_view>

#include "platform/RegFile.h"

namespace korva::platform::testing {

// Replaces the registry with the facts of a .reg text. On failure the
// registry is left empty. Open keys stay valid and see the new facts.
RegFileStatus LoadRegistryFixture(std::string_view regText);
RegFileStatus LoadRegistryFixtureFile(const wchar_t* path);

}  // namespace korva::platform::testing

#endif
