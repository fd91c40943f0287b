// The silo this installation belongs to, read once per process from
// isolate.ini: its identifier, its registry path below HKEY_LOCAL_MACHINE and
// the registry view to open that path with.
#pragma once

#include <cstdint>
#include <string>

namespace korva::support {

// Loads the silo information on first use; true when it is available. A
// failed load is tried again on the next call.
bool InitSiloInfo();

// Null when the silo information is unavailable. The strings live until the
// process ends and never change once loaded.
const std::wstring* GetSiloId();
const std::wstring* GetSiloRegistryPath();
// 0 (native view) or KEY_WOW64_32KEY; 0 when unavailable.
uint32_t GetSiloRegistryViewFlags();

namespace testing {
// Forgets the loaded silo information so that the next call searches for
// isolate.ini again. Tests only; not safe while other threads use the silo.
void ResetSiloInfo();
}  // namespace testing

}  // namespace korva::support
