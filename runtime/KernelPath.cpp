#include "runtime/KernelPath.h"

#include <algorithm>
#include <mutex>

#include "platform/Process.h"
#include "platform/TextConversion.h"
#include "platform/Trace.h"
#include "platform/Types.h"

namespace TarnVerifyTrustDriver {

namespace platform = korva::platform;
namespace trace = korva::trace;

namespace {

void PathEvent(uint32_t number, trace::Level level = trace::Level::Warning) {
    trace::Emit(trace::Source::Path, number, level);
}

// Appends `rest` with every `from` separator turned into `to`; a no-op
// conversion on Windows, where both are '\'.
void AppendWithSeparator(std::wstring& out, std::wstring_view rest, wchar_t from, wchar_t to) {
    size_t start = out.size();
    out.append(rest);
    std::replace(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), from, to);
}

}  // namespace

bool GetSystemDirectoryPath(std::wstring& directory) {
    // Filled by the first lookup that succeeds; a failed one leaves it empty,
    // so that a later call asks the system again.
    static std::mutex lock;
    static std::wstring cached;
    try {
        std::lock_guard guard(lock);
        if (cached.empty()) {
            wchar_t buffer[platform::kMaxPath] = {};
            uint32_t length = platform::QuerySystemDirectory(buffer, platform::kMaxPath);
            if (length == 0 || length > platform::kMaxPath) {
                PathEvent(10);
                return false;
            }
            std::wstring found(buffer, length);
            if (found.back() != platform::kPathSeparator) found += platform::kPathSeparator;
            cached = std::move(found);
        }
        directory = cached;
        return true;
    } catch (...) {
        PathEvent(11);
        return false;
    }
}

bool ToKernelPath(std::wstring_view path, std::wstring& kernelPath) {
    std::wstring systemDirectory;
    if (!GetSystemDirectoryPath(systemDirectory)) {
        PathEvent(12);
        return false;
    }
    return ToKernelPath(systemDirectory, path, kernelPath);
}

bool FromKernelPath(std::wstring_view name, std::wstring& path) {
    std::wstring systemDirectory;
    if (!GetSystemDirectoryPath(systemDirectory)) {
        PathEvent(14, trace::Level::Error);
        return false;
    }
    return FromKernelPath(systemDirectory, name, path);
}

bool ToKernelPath(std::wstring_view systemDirectory, std::wstring_view path, std::wstring& kernelPath) {
    try {
        if (systemDirectory.empty() || !platform::StartsWithIgnoreAsciiCase(path, systemDirectory)) {
            kernelPath.assign(path);
            return true;
        }
        kernelPath.assign(kKernelSystemPrefix);
        AppendWithSeparator(kernelPath, path.substr(systemDirectory.size()), platform::kPathSeparator, L'\\');
        return true;
    } catch (...) {
        PathEvent(13);
        return false;
    }
}

bool FromKernelPath(std::wstring_view systemDirectory, std::wstring_view name, std::wstring& path) {
    try {
        if (!platform::StartsWithIgnoreAsciiCase(name, kKernelSystemPrefix)) {
            path.assign(name);
            return true;
        }
        path.assign(systemDirectory);
        AppendWithSeparator(path, name.substr(kKernelSystemPrefix.size()), L'\\', platform::kPathSeparator);
        return true;
    } catch (...) {
        PathEvent(14, trace::Level::Error);
        return false;
    }
}

}  // namespace TarnVerifyTrustDriver
