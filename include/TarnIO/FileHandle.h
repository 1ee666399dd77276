// FileHandle: a File over a Win32 file handle (CreateFile, ReadFile,
// WriteFile...). Owns its handle: Close, Attach of another handle, Open and
// the destructor close it; Release hands it back unclosed. Neither copyable
// nor assignable. Only INVALID_HANDLE_VALUE means "no file": a null handle
// counts as open.
//
// Opening constructors throw FileOpenError "unable to open file" with the
// FileErrorCode, the Win32 error and the file name; Open returns false and
// leaves the reason in GetLastError(). Other failures throw with the
// FileErrorCode and the Win32 error attached.
//
// By default a name is opened for reading, sharing reads, and must exist.
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/Stream.h"

#include <TarnError/Error.h>

#include <boost/noncopyable.hpp>

#include <windows.h>

namespace TarnIO {

class Path;
class PathStats;

class TARNIO_API FileHandle : public File, private boost::noncopyable {
public:
    FileHandle();
    // Takes over handle without testing it.
    explicit FileHandle(void* handle);
    FileHandle(const char* path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
               SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
               DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);
    FileHandle(const wchar_t* path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
               SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
               DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);
    FileHandle(const Path& path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
               SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
               DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);
    ~FileHandle() override;

    // Closes what is open first, even when the new open fails.
    bool Open(const char* path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
              SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
              DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);
    bool Open(const wchar_t* path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
              SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
              DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);
    bool Open(const Path& path, DWORD access = GENERIC_READ, DWORD share = FILE_SHARE_READ,
              SECURITY_ATTRIBUTES* security = nullptr, DWORD disposition = OPEN_EXISTING,
              DWORD flags = FILE_ATTRIBUTE_NORMAL, HANDLE templateFile = nullptr);

    // Closes the held handle first unless it is handle itself.
    void Attach(void* handle);
    void* Release();
    void* Raw() const { return handle; }

    std::uint64_t GetSize() const override;
    // Seek(0, seekCurrent): failures name "TarnIO::FileHandle::Seek".
    std::uint64_t GetPosition() const override;
    // One ReadFile/WriteFile for a count of at most 0xFFFFFFFF, which is all
    // one call takes. A larger count (64-bit build) is moved with as many
    // calls as it needs, in pieces of 0xFFFF0000 bytes, stopping at the first
    // that comes short or fails: a short count is always one the system gave.
    // A failure is thrown when no byte has moved. After some have, their count
    // is returned instead: they are in the buffer or the file, the position is
    // past them, and a throw would hide how many; a Read or Write of the rest
    // then meets the failure and throws it.
    std::uint64_t Read(void* buffer, std::uint64_t count) override;
    std::uint64_t Write(const void* buffer, std::uint64_t count) override;
    bool IsOpen() const override { return handle != INVALID_HANDLE_VALUE; }
    void Close() override;
    void Flush() override;
    std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override;

    // GetFileInformationByHandle; throws FileError "unable to stat file".
    void Stat(BY_HANDLE_FILE_INFORMATION& info) const;
    // Fills stats from the handle, with the reparse tag of a reparse point
    // when the system can tell it. false (and the Win32 error in stats) when
    // the information cannot be read; throws only when not open.
    bool Query(PathStats& stats) const;

private:
    void VerifyOpen(const TarnError::Context& context) const;

    HANDLE handle;
};

}  // namespace TarnIO
