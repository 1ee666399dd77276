// FileDescriptor: a File over a C runtime low-level descriptor (_sopen_s,
// _read, _write...). Owns its descriptor: Close, Attach of another value,
// Open and the destructor close it; Release hands it back unclosed. Neither
// copyable nor assignable. Only -1 means "no file".
//
// Opening constructors throw FileOpenError "unable to open file" with the
// FileErrorCode, errno and the file name (TarnError::InvalidArgument naming
// "oflag, share" when the C runtime refuses the flags); Open returns false and
// leaves the reason in errno. Other failures throw with the FileErrorCode and
// errno attached.
//
// By default a name is opened for binary reading, sharing everything.
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/Stream.h"

#include <TarnError/Error.h>

#include <boost/noncopyable.hpp>

#include <fcntl.h>
#include <share.h>
#include <sys/stat.h>

namespace TarnIO {

class Path;
class PathStats;

class TARNIO_API FileDescriptor : public File, private boost::noncopyable {
public:
    FileDescriptor();
    // Takes over descriptor without testing it.
    explicit FileDescriptor(int descriptor);
    FileDescriptor(const char* path, int oflag = _O_RDONLY | _O_BINARY, int share = _SH_DENYNO,
                   int pmode = _S_IREAD | _S_IWRITE);
    FileDescriptor(const wchar_t* path, int oflag = _O_RDONLY | _O_BINARY,
                   int share = _SH_DENYNO, int pmode = _S_IREAD | _S_IWRITE);
    FileDescriptor(const Path& path, int oflag = _O_RDONLY | _O_BINARY, int share = _SH_DENYNO,
                   int pmode = _S_IREAD | _S_IWRITE);
    // A descriptor over an open Win32 handle (_open_osfhandle). On success the
    // descriptor owns the handle; on failure it is still the caller's.
    FileDescriptor(void* fileHandle, int flags);
    ~FileDescriptor() override;

    // Closes what is open first, even when the new open fails.
    bool Open(const char* path, int oflag = _O_RDONLY | _O_BINARY, int share = _SH_DENYNO,
              int pmode = _S_IREAD | _S_IWRITE);
    bool Open(const wchar_t* path, int oflag = _O_RDONLY | _O_BINARY, int share = _SH_DENYNO,
              int pmode = _S_IREAD | _S_IWRITE);
    bool Open(const Path& path, int oflag = _O_RDONLY | _O_BINARY, int share = _SH_DENYNO,
              int pmode = _S_IREAD | _S_IWRITE);

    // Closes the held descriptor first unless it is descriptor itself.
    void Attach(int descriptor);
    int Release();
    int Raw() const { return descriptor; }
    // The Win32 handle beneath the descriptor (still owned by it), or
    // INVALID_HANDLE_VALUE when there is no file. Never throws.
    void* RawHandle() const;

    std::uint64_t GetSize() const override;
    std::uint64_t GetPosition() const override;
    // One _read/_write for a count of at most INT_MAX. A larger count is
    // moved with as many calls as it needs, in pieces of 0x7FFF0000 bytes,
    // stopping at the first that comes short or fails, on purpose rather than
    // with one call: the int result of one call cannot report such a count
    // (under Wine, one call of 3 GiB returned a negative count), and an error
    // or a silent short count would lose data the caller asked for whole. A short count is always one the C
    // runtime gave. A failure is thrown when no byte has moved; after some
    // have, their count is returned and a Read or Write of the rest meets the
    // failure and throws it, as FileHandle does.
    std::uint64_t Read(void* buffer, std::uint64_t count) override;
    std::uint64_t Write(const void* buffer, std::uint64_t count) override;
    bool IsOpen() const override { return descriptor != -1; }
    void Close() override;
    void Flush() override;
    std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override;

    // Fills stats through FileHandle::Query on the descriptor's handle, which
    // stays open and owned by the descriptor.
    bool Query(PathStats& stats) const;

private:
    void VerifyOpen(const TarnError::Context& context) const;

    int descriptor;
};

}  // namespace TarnIO
