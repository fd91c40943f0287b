// CFile: the engine's file stream over a Win32-style handle, or over a host's
// stream when a driver host supplies file callbacks. It keeps a logical
// position of its own; an attached 64 KiB read buffer turns the many small
// field reads of a Cat.DB load into one system call per 64 KiB. Writes bypass
// and drop the buffer. Nothing throws.
#pragma once

#include <cstdint>

#include "runtime/MemoryService.h"
#include "runtime/OpenParameters.h"
#include "runtime/Stream.h"
#include "platform/Types.h"

namespace TarnVerifyTrustDriver {

class CFile : public IStream {
public:
    static constexpr uint32_t kReadBufferSize = 0x10000;
    static constexpr uint32_t kFromBeginning = 0;
    static constexpr uint32_t kFromCurrent = 1;
    static constexpr uint32_t kFromEnd = 2;

    // `ownsHandle` clear: Close and destruction leave the handle open.
    explicit CFile(CCallbacks* hostCallbacks = nullptr, bool ownsHandle = true)
        : hostCallbacks_(hostCallbacks), ownsHandle_(ownsHandle) {}
    ~CFile() override;
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;

    // Closes any current handle first; `error` receives the system error.
    bool Open(const CFileIO::COpenParameters& parameters, uint32_t& error);
    // false keeps the handle.
    bool Close();

    bool IsOpen() const override;
    // The whole 64-bit size, so that no caller reads a huge file as a small one.
    bool GetSize(uint64_t& size) override;
    bool ReadAt(uint64_t position, void* buffer, uint32_t size, uint32_t* count) override;

    // Unbuffered: all `size` bytes or false with the position unchanged.
    // Buffered: true as soon as at least one byte was copied; `count` tells
    // how many. `count` may be null.
    bool Read(void* buffer, uint32_t size, uint32_t* count);
    bool Write(const void* buffer, uint32_t size);
    bool Seek(int64_t offset, uint32_t method);
    bool SeekTo(uint64_t position);

    // Allocates the read buffer unless one is attached; reads are buffered
    // from then on until the next write.
    bool AttachReadBuffer();
    bool HasReadBuffer() const { return readBuffer_ != nullptr; }
    uint64_t position() const { return position_; }

private:
    // Moves the handle (or the host stream) without touching the position.
    bool MoveHandle(int64_t offset, uint32_t method);
    bool MoveHandleTo(uint64_t position);
    // One read or write of the handle; false unless all bytes moved.
    bool ReadExactly(void* buffer, uint32_t size, uint32_t& delivered);
    bool WriteExactly(const void* buffer, uint32_t size);
    bool ReadBuffered(void* buffer, uint32_t size, uint32_t* count);
    bool ReadDirect(void* buffer, uint32_t size, uint32_t* count);
    bool Refill();
    void DropReadBuffer();

    korva::platform::FileHandle handle_ = korva::platform::InvalidFileHandle();
    CCallbacks* hostCallbacks_;
    bool ownsHandle_;
    uint64_t position_ = 0;
    uint64_t bufferBase_ = 0;
    uint32_t bufferFill_ = 0;
    uint8_t* readBuffer_ = nullptr;
};

}  // namespace TarnVerifyTrustDriver
