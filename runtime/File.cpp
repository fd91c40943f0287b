#include "runtime/File.h"

#include <algorithm>
#include <span>

#include "platform/Files.h"
#include "platform/Trace.h"

namespace TarnVerifyTrustDriver {

namespace platform = korva::platform;
namespace trace = korva::trace;

namespace {

constexpr uint64_t kLargestSeek = 0x7FFFFFFFFFFFFFFFull;

// SetFilePointerEx takes a signed distance: a position above the largest one
// is reached in two moves.
template <class Move>
bool MoveInTwoSteps(uint64_t position, Move move) {
    if (position <= kLargestSeek) return move(static_cast<int64_t>(position), CFile::kFromBeginning);
    return move(static_cast<int64_t>(kLargestSeek), CFile::kFromBeginning) &&
           move(static_cast<int64_t>(position - kLargestSeek), CFile::kFromCurrent);
}

bool IsKnownMethod(uint32_t method) { return method <= CFile::kFromEnd; }

}  // namespace

CFile::~CFile() {
    // A host's stream stays the host's to close.
    if (hostCallbacks_ == nullptr) Close();
    DropReadBuffer();
}

bool CFile::Open(const CFileIO::COpenParameters& parameters, uint32_t& error) {
    Close();
    if (hostCallbacks_ != nullptr) {
        // A driver host opens its own streams; the handle slot stays empty.
        if (parameters.read || parameters.write) handle_ = platform::InvalidFileHandle();
        return false;
    }
    if (parameters.path == nullptr || parameters.path[0] == L'\0') {
        error = platform::kErrorInvalidParameter;
        trace::Emit(trace::Source::FileIo, 10, trace::Level::Error, {trace::Num(error)});
        return false;
    }
    uint32_t access = (parameters.read ? platform::kGenericRead : 0) | (parameters.write ? platform::kGenericWrite : 0);
    uint32_t disposition = parameters.openAlways ? platform::kOpenAlways
                           : parameters.create   ? platform::kCreateAlways
                                                 : platform::kOpenExisting;
    uint32_t flags = platform::kFileAttributeNormal | (parameters.deleteOnClose ? platform::kFileFlagDeleteOnClose : 0);
    platform::FileHandle handle = platform::OpenFile(parameters.path, access, platform::kFileShareRead, disposition, flags);
    if (handle == platform::InvalidFileHandle()) {
        error = platform::LastError();
        trace::Emit(trace::Source::FileIo, 10, trace::Level::Error, {trace::Num(error), trace::Text(parameters.path)});
        return false;
    }
    error = platform::kErrorSuccess;
    handle_ = handle;
    position_ = 0;
    bufferBase_ = 0;
    bufferFill_ = 0;
    return true;
}

bool CFile::Close() {
    if (!ownsHandle_) return true;
    if (hostCallbacks_ != nullptr) {
        return hostCallbacks_->close != nullptr && hostCallbacks_->close(hostCallbacks_->context, hostCallbacks_->hostStream);
    }
    if (handle_ == platform::InvalidFileHandle()) return true;
    if (!platform::CloseFile(handle_)) return false;
    handle_ = platform::InvalidFileHandle();
    return true;
}

bool CFile::IsOpen() const { return handle_ != platform::InvalidFileHandle(); }

bool CFile::GetSize(uint64_t& size) {
    if (hostCallbacks_ != nullptr) {
        return hostCallbacks_->getSize != nullptr &&
               hostCallbacks_->getSize(hostCallbacks_->context, hostCallbacks_->hostStream, &size);
    }
    if (handle_ == nullptr || handle_ == platform::InvalidFileHandle()) return false;
    uint32_t high = 0;
    uint32_t low = platform::GetFileSize(handle_, &high);
    if (low == platform::kInvalidFileSize && platform::LastError() != platform::kErrorSuccess) return false;
    size = (uint64_t{high} << 32) | low;
    return true;
}

bool CFile::ReadAt(uint64_t position, void* buffer, uint32_t size, uint32_t* count) {
    if (!SeekTo(position)) {
        if (count != nullptr) *count = 0;
        return false;
    }
    return Read(buffer, size, count);
}

bool CFile::Read(void* buffer, uint32_t size, uint32_t* count) {
    bool ok = readBuffer_ != nullptr ? ReadBuffered(buffer, size, count) : ReadDirect(buffer, size, count);
    if (!ok) trace::Emit(trace::Source::File, 13, trace::Level::Warning, {trace::Num(size), trace::Num(position_)});
    return ok;
}

bool CFile::ReadDirect(void* buffer, uint32_t size, uint32_t* count) {
    uint32_t delivered = 0;
    bool ok = ReadExactly(buffer, size, delivered);
    if (count != nullptr) *count = delivered;
    if (ok) position_ += size;
    return ok;
}

bool CFile::ReadBuffered(void* buffer, uint32_t size, uint32_t* count) {
    if (size == 0) {
        if (count != nullptr) *count = 0;
        return true;
    }
    std::span<uint8_t> out(static_cast<uint8_t*>(buffer), size);
    uint32_t copied = 0;
    bool refilled = false;
    while (copied < size) {
        if (position_ >= bufferBase_ && position_ - bufferBase_ < bufferFill_) {
            auto offset = static_cast<uint32_t>(position_ - bufferBase_);
            uint32_t take = std::min(bufferFill_ - offset, size - copied);
            std::ranges::copy(std::span<const uint8_t>(readBuffer_, bufferFill_).subspan(offset, take),
                              out.subspan(copied).begin());
            copied += take;
            position_ += take;
        }
        if (copied == size) break;
        refilled = Refill();
        if (!refilled && bufferFill_ == 0) break;
    }
    if (count != nullptr) *count = copied;
    return copied > 0 || refilled;
}

bool CFile::Refill() {
    bufferFill_ = 0;
    bufferBase_ = position_;
    if (!MoveHandleTo(position_)) return false;
    uint32_t delivered = 0;
    bool ok = ReadExactly(readBuffer_, kReadBufferSize, delivered);
    bufferFill_ = delivered;
    return ok;
}

bool CFile::Write(const void* buffer, uint32_t size) {
    if (readBuffer_ != nullptr) {
        DropReadBuffer();
        // Refills leave the handle past the logical position; bytes written
        // wherever it stands would corrupt the file, so a failed move fails.
        if ((hostCallbacks_ != nullptr || IsOpen()) && !SeekTo(position_)) return false;
    }
    if (!WriteExactly(buffer, size)) return false;
    position_ += size;
    return true;
}

bool CFile::Seek(int64_t offset, uint32_t method) {
    if (!IsKnownMethod(method)) {
        trace::Emit(trace::Source::File, hostCallbacks_ != nullptr ? 10 : 12, trace::Level::Warning, {trace::Num(method)});
        return false;
    }
    // With a read buffer the next refill moves the handle.
    if (readBuffer_ == nullptr && !MoveHandle(offset, method)) return false;
    switch (method) {
        case kFromBeginning: position_ = static_cast<uint64_t>(offset); break;
        case kFromCurrent: position_ += static_cast<uint64_t>(offset); break;
        default: {
            uint64_t size = 0;
            if (!GetSize(size)) {
                trace::Emit(trace::Source::File, 11, trace::Level::Warning);
                return false;
            }
            position_ = size + static_cast<uint64_t>(offset);
        }
    }
    return true;
}

bool CFile::SeekTo(uint64_t position) {
    return MoveInTwoSteps(position, [this](int64_t offset, uint32_t method) { return Seek(offset, method); });
}

bool CFile::AttachReadBuffer() {
    if (readBuffer_ != nullptr) return true;
    readBuffer_ = static_cast<uint8_t*>(AllocateBuffer(kReadBufferSize));
    bufferBase_ = 0;
    bufferFill_ = 0;
    return readBuffer_ != nullptr;
}

void CFile::DropReadBuffer() {
    FreeBuffer(readBuffer_);
    readBuffer_ = nullptr;
    bufferBase_ = 0;
    bufferFill_ = 0;
}

bool CFile::MoveHandle(int64_t offset, uint32_t method) {
    if (hostCallbacks_ != nullptr) {
        return hostCallbacks_->seek != nullptr &&
               hostCallbacks_->seek(hostCallbacks_->context, hostCallbacks_->hostStream, offset, method);
    }
    // Looked up at every move, as a driver library must not assume the export.
    platform::SetFilePointerExFn setFilePointerEx = nullptr;
    switch (platform::LookupSetFilePointerEx(setFilePointerEx)) {
        case platform::FunctionLookup::ModuleMissing:
            trace::Emit(trace::Source::FileIo, 11, trace::Level::Error);
            return false;
        case platform::FunctionLookup::FunctionMissing:
            trace::Emit(trace::Source::FileIo, 12, trace::Level::Error);
            return false;
        case platform::FunctionLookup::Found: break;
    }
    return setFilePointerEx(handle_, offset, nullptr, method);
}

bool CFile::MoveHandleTo(uint64_t position) {
    return MoveInTwoSteps(position, [this](int64_t offset, uint32_t method) { return MoveHandle(offset, method); });
}

bool CFile::ReadExactly(void* buffer, uint32_t size, uint32_t& delivered) {
    delivered = 0;
    bool ok = hostCallbacks_ != nullptr
                  ? hostCallbacks_->read != nullptr &&
                        hostCallbacks_->read(hostCallbacks_->context, hostCallbacks_->hostStream, buffer, size, &delivered)
                  : platform::ReadFile(handle_, buffer, size, delivered);
    delivered = std::min(delivered, size);  // a host must not overrun the buffer's bounds
    if (ok && delivered == size) return true;
    trace::Emit(trace::Source::FileIo, 15, trace::Level::Error, {trace::Num(size), trace::Num(delivered)});
    return false;
}

bool CFile::WriteExactly(const void* buffer, uint32_t size) {
    uint32_t written = 0;
    bool ok = hostCallbacks_ != nullptr
                  ? hostCallbacks_->write != nullptr &&
                        hostCallbacks_->write(hostCallbacks_->context, hostCallbacks_->hostStream, buffer, size, &written)
                  : platform::WriteFile(handle_, buffer, size, written);
    if (ok && written == size) return true;
    trace::Emit(trace::Source::FileIo, 16, trace::Level::Error, {trace::Num(size), trace::Num(written)});
    return false;
}

}  // namespace TarnVerifyTrustDriver
