#include "platform/Lock.h"

#include <mutex>
#include <new>

namespace korva::platform {

static_assert(sizeof(std::mutex) <= 64);

CriticalSection::CriticalSection() { new (storage_) std::mutex(); }
CriticalSection::~CriticalSection() { reinterpret_cast<std::mutex*>(storage_)->~mutex(); }
void CriticalSection::Enter() { reinterpret_cast<std::mutex*>(storage_)->lock(); }
void CriticalSection::Leave() { reinterpret_cast<std::mutex*>(storage_)->unlock(); }

}  // namespace korva::platform
