#include "platform/Process.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

#include "platform/TextConversion.h"
#include "platform/posix/PosixErrors.h"

namespace korva::platform {

namespace {

constexpr int32_t kEFail = static_cast<int32_t>(0x80004005u);

// Copies `text` into a Win32-style buffer; the length or 0 when it does not fit.
uint32_t CopyOut(const std::wstring& text, wchar_t* buffer, uint32_t size) {
    if (text.size() + 1 > size) {
        if (size > 0) {
            std::wmemcpy(buffer, text.data(), size - 1);
            buffer[size - 1] = L'\0';
        }
        SetLastError(kErrorInsufficientBuffer);
        return 0;
    }
    std::wmemcpy(buffer, text.data(), text.size());
    buffer[text.size()] = L'\0';
    return static_cast<uint32_t>(text.size());
}

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value == nullptr ? std::string() : std::string(value);
}

// Default folders of the POSIX host, by CSIDL number. Any number can be set or
// overridden with KORVA_CSIDL_<number>=<path>.
std::string DefaultFolder(int csidl) {
    std::string home = Environment("HOME");
    std::string system = Environment("KORVA_SYSTEM_DIR");
    switch (csidl) {
        case 0x05: return home.empty() ? "" : home + "/Documents";          // CSIDL_PERSONAL
        case 0x1A: return home.empty() ? "" : home + "/.config";            // CSIDL_APPDATA
        case 0x1C: return home.empty() ? "" : home + "/.local/share";       // CSIDL_LOCAL_APPDATA
        case 0x23: return "/var/lib";                                       // CSIDL_COMMON_APPDATA
        case 0x24: return system.empty() ? "" : system + "/..";             // CSIDL_WINDOWS
        case 0x25: return system;                                           // CSIDL_SYSTEM
        case 0x26: return "/opt";                                           // CSIDL_PROGRAM_FILES
        case 0x28: return home;                                             // CSIDL_PROFILE
        default: return "";
    }
}

bool LookupFolder(int csidl, wchar_t* buffer) {
    std::string folder = Environment(("KORVA_CSIDL_" + std::to_string(csidl & 0xFF)).c_str());
    if (folder.empty()) folder = DefaultFolder(csidl & 0xFF);
    if (folder.empty()) return false;
    return CopyOut(Utf8ToWide(folder), buffer, kMaxPath) != 0;
}

}  // namespace

uint32_t QueryModulePath(std::wstring& path) {
    try {
        // readlink() says nothing of truncation: a result that fills the
        // buffer may have been cut, so try again with more room.
        std::string target(256, '\0');
        for (;;) {
            ssize_t n = ::readlink("/proc/self/exe", target.data(), target.size());
            if (n <= 0) return n == 0 ? kErrorFileNotFound : Win32ErrorFromErrno(errno);
            if (static_cast<size_t>(n) < target.size()) {
                target.resize(static_cast<size_t>(n));
                break;
            }
            target.resize(target.size() * 2);
        }
        path = Utf8ToWide(target);
        return kErrorSuccess;
    } catch (...) {
        return kErrorNotEnoughMemory;
    }
}

uint32_t QuerySystemDirectory(wchar_t* buffer, uint32_t size) {
    try {
        std::string dir = Environment("KORVA_SYSTEM_DIR");
        if (dir.empty()) {
            SetLastError(kErrorFileNotFound);
            return 0;
        }
        std::wstring wide = Utf8ToWide(dir);
        if (wide.size() + 1 > size) return static_cast<uint32_t>(wide.size() + 1);
        return CopyOut(wide, buffer, size);
    } catch (...) {
        SetLastError(kErrorNotEnoughMemory);
        return 0;
    }
}

Wow64State QueryWow64() { return Wow64State::FunctionMissing; }

int32_t QueryFolderPath(int csidl, uint32_t /*flags*/, wchar_t* buffer) {
    try {
        return LookupFolder(csidl, buffer) ? 0 : kEFail;
    } catch (...) {
        return kEFail;
    }
}

bool QuerySpecialFolderPath(wchar_t* buffer, int csidl, bool /*create*/) {
    try {
        return LookupFolder(csidl, buffer);
    } catch (...) {
        return false;
    }
}

void WriteStandardOutput(const std::wstring& text) {
    std::string bytes = WideToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace korva::platform
