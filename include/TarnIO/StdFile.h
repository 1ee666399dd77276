// StdFile: a File over a C runtime buffered stream (FILE*). Owns its stream:
// Close, Attach of another stream, Open and the destructor close it with
// fclose; Release hands it back unclosed. Neither copyable nor assignable.
//
// Data passes through the C runtime's stream buffer. Before a failure is
// reported, errno is completed from the Win32 last error when the C runtime
// left it at 0. Constructors throw TarnError::InvalidArgument for a null
// name ("path") or mode ("mode") or a descriptor of -1 ("fd"), and
// FileOpenError "unable to open file" when the open fails; Open returns false
// and leaves the reason in errno.
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/Stream.h"

#include <TarnError/Error.h>

#include <boost/noncopyable.hpp>

#include <cstdio>
#include <share.h>

namespace TarnIO {

class Path;
class PathStats;

class TARNIO_API StdFile : public File, private boost::noncopyable {
public:
    StdFile();
    // Takes over stream without testing it.
    explicit StdFile(FILE* stream);
    // A stream over a C runtime descriptor (_fdopen); on success the stream
    // owns the descriptor.
    StdFile(int descriptor, const char* mode);
    StdFile(const char* path, const char* mode = "rb");
    StdFile(const char* path, const char* mode, int share);
    StdFile(const wchar_t* path, const wchar_t* mode, int share);
    StdFile(const Path& path, const wchar_t* mode, int share);
    StdFile(const Path& path, const wchar_t* mode = L"rb");
    ~StdFile() override;

    // Each closes what is open first, even when the new open fails. A null
    // name or mode fails with errno EINVAL and a descriptor of -1 with EBADF,
    // without calling the C runtime (whose invalid-parameter handler might
    // end the process); other arguments go to the C runtime unchecked. A
    // narrow name without share opens with fopen_s; in a C runtime without it
    // (Windows XP's msvcrt.dll), with _fsopen and the sharing fopen_s applies:
    // others may read while the stream only reads, nothing otherwise.
    bool Open(int descriptor, const char* mode);
    bool Open(const char* path, const char* mode = "rb");
    bool Open(const char* path, const char* mode, int share);
    bool Open(const wchar_t* path, const wchar_t* mode = L"rb");
    bool Open(const wchar_t* path, const wchar_t* mode, int share);
    bool Open(const Path& path, const wchar_t* mode = L"rb");
    bool Open(const Path& path, const wchar_t* mode, int share);

    // Closes the held stream first unless it is stream itself.
    void Attach(FILE* stream);
    FILE* Release();
    FILE* Raw() const { return stream; }
    // The stream's descriptor, or -1. Never throws.
    int RawDescriptor() const;
    // The Win32 handle beneath the stream (still owned by it), or
    // INVALID_HANDLE_VALUE. Never throws.
    void* RawHandle() const;

    // Seeks to the end and back under the stream's lock, so the position seen
    // by the caller is normally unchanged. Throws FileError "unable to query
    // file size" when the position or the size cannot be learned. A failure
    // of the seek back is not reported: the size is returned and the stream
    // may then stand at its end. A caller that must be sure of the position
    // seeks there itself.
    std::uint64_t GetSize() const override;
    std::uint64_t GetPosition() const override;
    // One fread/fwrite with the whole count: they take a size_t and call
    // _read/_write as often as they need. (In the 32-bit build a count beyond
    // a size_t, which no buffer can hold, is passed as the largest size_t.)
    // errno and the last error are cleared first, so a failure reports its own
    // cause. A short count is returned even when the stream failed after it;
    // once the stream's error indicator is set, every transfer of nothing
    // throws, a count of 0 included, with errno 0 when that call met no new
    // cause.
    std::uint64_t Read(void* buffer, std::uint64_t count) override;
    std::uint64_t Write(const void* buffer, std::uint64_t count) override;
    bool IsOpen() const override { return stream != nullptr; }
    void Close() override;
    void Flush() override;
    std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override;

    // Fills stats through FileDescriptor::Query on the stream's descriptor.
    // false when the attributes cannot be read, stats then unchanged or
    // marked failed; throws only when not open.
    bool Query(PathStats& stats) const;

private:
    void VerifyOpen(const TarnError::Context& context) const;

    FILE* stream;
};

}  // namespace TarnIO
