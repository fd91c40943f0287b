#include <windows.h>
#include <shlobj.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "platform/Process.h"
#include "platform/TextConversion.h"

namespace korva::platform {

uint32_t QueryModulePath(std::wstring& path) {
    wchar_t buffer[kMaxPath] = {};
    if (::GetModuleFileNameW(nullptr, buffer, kMaxPath) == 0) return ::GetLastError();
    try {
        path = buffer;  // ends at the first NUL within the buffer
    } catch (...) {
        return kErrorNotEnoughMemory;
    }
    return kErrorSuccess;
}

uint32_t QuerySystemDirectory(wchar_t* buffer, uint32_t size) { return ::GetSystemDirectoryW(buffer, size); }

Wow64State QueryWow64() {
    using IsWow64ProcessType = BOOL(WINAPI*)(HANDLE, PBOOL);
    // Looked up once; the function is absent on systems that predate WOW64.
    static const auto isWow64Process = reinterpret_cast<IsWow64ProcessType>(
        reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleW(L"kernel32"), "IsWow64Process")));
    if (isWow64Process == nullptr) return Wow64State::FunctionMissing;
    BOOL wow64 = FALSE;
    if (!isWow64Process(::GetCurrentProcess(), &wow64)) return Wow64State::CallFailed;
    return wow64 ? Wow64State::Wow64 : Wow64State::Native;
}

int32_t QueryFolderPath(int csidl, uint32_t flags, wchar_t* buffer) {
    return static_cast<int32_t>(::SHGetFolderPathW(nullptr, csidl, nullptr, flags, buffer));
}

bool QuerySpecialFolderPath(wchar_t* buffer, int csidl, bool create) {
    return ::SHGetSpecialFolderPathW(nullptr, buffer, csidl, create ? TRUE : FALSE) != FALSE;
}

void WriteStandardOutput(const std::wstring& text) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != nullptr && out != INVALID_HANDLE_VALUE && ::GetConsoleMode(out, &mode)) {
        DWORD written = 0;
        ::WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    // Redirected output gets UTF-8 with bare line feeds, byte for byte what the
    // POSIX host writes: the messages say line feed, not CR LF.
    static const bool binary = _setmode(_fileno(stdout), _O_BINARY) != -1;
    (void)binary;
    std::string bytes = WideToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

}  // namespace korva::platform
