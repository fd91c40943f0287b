#include <windows.h>

#include <new>

#include "platform/Lock.h"

namespace korva::platform {

static_assert(sizeof(CRITICAL_SECTION) <= 64);

CriticalSection::CriticalSection() { ::InitializeCriticalSection(new (storage_) CRITICAL_SECTION); }
CriticalSection::~CriticalSection() { ::DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Enter() { ::EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }
void CriticalSection::Leave() { ::LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(storage_)); }

}  // namespace korva::platform
