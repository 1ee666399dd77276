// Stream and File: the byte-stream interface shared by the three backends
// (FileHandle over a Win32 handle, FileDescriptor over a C runtime
// descriptor, StdFile over a C runtime FILE*). Hold any backend as Stream& or
// File& and the operations below behave the same.
//
// Counts, sizes and positions are unsigned 64-bit; the all-ones value
// (Stream::unknownSize) stands for an unknown count. Read and Write make one
// transfer (several system calls only where one cannot take the count) and
// may return a short count; Read returns 0 at the end of the file. Failures are thrown (see TarnIO/Error.h); an operation on a closed
// stream throws TarnError::LogicError "file not open".
#pragma once

#include "TarnIO/Export.h"

#include <cstdint>
#include <string>

namespace TarnIO {

enum SeekOrigin {
    seekCurrent = 0,  // from the current position
    seekBegin = 1,    // from the start of the file
    seekEnd = 2,      // from the end of the file
};

class TARNIO_API Stream {
public:
    static constexpr std::uint64_t unknownSize = ~std::uint64_t(0);

    Stream() {}
    Stream(const Stream&) {}
    Stream& operator=(const Stream&) { return *this; }
    virtual ~Stream();

    virtual std::uint64_t GetSize() const = 0;
    virtual std::uint64_t GetPosition() const = 0;
    // Bytes left from the position to the end, 0 at the end, or unknownSize
    // when the size or position is unknown or the position is past the end.
    // Throws what GetSize and GetPosition throw.
    virtual std::uint64_t Peek();
    virtual std::uint64_t Read(void* buffer, std::uint64_t count) = 0;
    // Appends the rest of the stream to out and returns the count appended.
    // A known remainder is read with one Read into out grown once; a stream
    // of unknown size is read in 4096-byte chunks until a Read returns 0.
    // When a Read throws, out is cut back to what it held before that Read
    // (earlier chunks stay) and the exception propagates unchanged. A
    // remainder larger than a std::string can hold throws std::length_error
    // before anything is read.
    virtual std::uint64_t ReadAll(std::string& out);
    virtual std::uint64_t Write(const void* buffer, std::uint64_t count) = 0;
    virtual bool IsOpen() const = 0;
    // Never throws; harmless when closed.
    virtual void Close() = 0;
    virtual void Flush() = 0;

    // True exactly when the stream is open.
    explicit operator bool() const { return IsOpen(); }
};

class TARNIO_API File : public Stream {
public:
    // Returns the new position from the start of the file. An origin other
    // than the three SeekOrigin values throws TarnError::InvalidArgument
    // naming "origin".
    virtual std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) = 0;
    // Read or Write at offset, then return to the position held before. The
    // position is restored also when the transfer throws; if restoring fails
    // while a transfer error propagates, the transfer error wins.
    virtual std::uint64_t ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count);
    virtual std::uint64_t WriteAt(std::uint64_t offset, const void* buffer, std::uint64_t count);
};

}  // namespace TarnIO
