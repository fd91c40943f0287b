// Directory change notifications with the shape of FindFirstChangeNotificationW,
// FindNextChangeNotification, FindCloseChangeNotification and a
// WaitForSingleObject on such a handle, so that the engine arms and tests them
// the same way on both hosts.
//
// On POSIX a handle is an inotify instance watching the directory and, when
// asked, every directory below it (directories created or moved in later are
// watched as they appear). The handle is signalled once an event that the
// filter asks for is pending; it stays signalled until it is re-armed.
// Re-arming forgets only the changes a wait has already reported: one made
// after that wait, say while the caller was scanning, signals the handle
// again at once, as on Windows. The filter bits map onto inotify events:
// file and directory names onto create, delete and both halves of a rename;
// size and last write onto modify; attributes, last write, creation and
// security onto attribute changes (inotify does not tell a time from a mode or
// owner change, so each of these bits sees all of them); last access onto
// access. Losing the watched directory, an event queue overflow or a failure
// to watch a new subdirectory signals the handle, so a caller rescans rather
// than miss a change.
#pragma once

#include <cstdint>
#include <span>

#include "platform/Types.h"

namespace korva::platform {

using NotificationHandle = void*;

constexpr uint32_t kNotifyChangeFileName = 0x1;
constexpr uint32_t kNotifyChangeDirName = 0x2;
constexpr uint32_t kNotifyChangeAttributes = 0x4;
constexpr uint32_t kNotifyChangeSize = 0x8;
constexpr uint32_t kNotifyChangeLastWrite = 0x10;
constexpr uint32_t kNotifyChangeLastAccess = 0x20;
constexpr uint32_t kNotifyChangeCreation = 0x40;
constexpr uint32_t kNotifyChangeSecurity = 0x100;

constexpr uint32_t kWaitObject0 = 0;
constexpr uint32_t kWaitTimeout = 0x102;
constexpr uint32_t kWaitFailed = 0xFFFFFFFFu;
constexpr uint32_t kInfinite = 0xFFFFFFFFu;

// FindFirstChangeNotificationW: InvalidFileHandle() on failure, with
// LastError() set (kErrorInvalidParameter for an empty or unknown filter).
NotificationHandle OpenChangeNotification(const wchar_t* directory, bool watchSubtree, uint32_t filter);
// FindNextChangeNotification: clears the signal and waits for the next change.
bool RearmChangeNotification(NotificationHandle handle);
// FindCloseChangeNotification.
bool CloseChangeNotification(NotificationHandle handle);
// WaitForSingleObject on a notification handle: kWaitObject0 when signalled,
// kWaitTimeout when `milliseconds` (kInfinite: no limit) passed without a
// change, kWaitFailed with LastError() set otherwise.
uint32_t WaitForChangeNotification(NotificationHandle handle, uint32_t milliseconds);
// WaitForMultipleObjects on notification handles, any one: kWaitObject0 + i for
// the first signalled handle i. With no handles it only sleeps. On POSIX a
// signal that interrupts the sleep ends it early as kWaitTimeout, so that a
// caller woken that way can look at why.
uint32_t WaitForAnyChangeNotification(std::span<const NotificationHandle> handles, uint32_t milliseconds);

}  // namespace korva::platform
