#include <windows.h>

#include "platform/ChangeNotification.h"

namespace korva::platform {

NotificationHandle OpenChangeNotification(const wchar_t* directory, bool watchSubtree, uint32_t filter) {
    HANDLE handle = ::FindFirstChangeNotificationW(directory, watchSubtree ? TRUE : FALSE, filter);
    return handle == INVALID_HANDLE_VALUE ? InvalidFileHandle() : handle;
}

bool RearmChangeNotification(NotificationHandle handle) { return ::FindNextChangeNotification(handle) != FALSE; }

bool CloseChangeNotification(NotificationHandle handle) { return ::FindCloseChangeNotification(handle) != FALSE; }

uint32_t WaitForChangeNotification(NotificationHandle handle, uint32_t milliseconds) {
    return ::WaitForSingleObject(handle, milliseconds);
}

uint32_t WaitForAnyChangeNotification(std::span<const NotificationHandle> handles, uint32_t milliseconds) {
    if (handles.empty()) {
        ::Sleep(milliseconds);
        return kWaitTimeout;
    }
    return ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, milliseconds);
}

}  // namespace korva::platform
