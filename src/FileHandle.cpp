#include "TarnIO/FileHandle.h"

#include "TarnIO/Path.h"
#include "TarnIO/PathStats.h"

#include "AttributeData.h"
#include "ScopedFind.h"
#include "Bindings.h"
#include "Sys.h"
#include "Throw.h"

#include <cstring>
#include <new>
#include <string>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\FileHandle";

// SeekOrigin counts from the current position first; the system's move
// methods count from the beginning first. The table below translates.
static_assert(seekCurrent == 0 && seekBegin == 1 && seekEnd == 2, "SeekOrigin values");
static_assert(FILE_BEGIN == 0 && FILE_CURRENT == 1 && FILE_END == 2, "move method values");
const DWORD moveMethods[] = {
    FILE_CURRENT,  // seekCurrent
    FILE_BEGIN,    // seekBegin
    FILE_END,      // seekEnd
};

// ReadFile and WriteFile take a 32-bit count. A larger one (64-bit build
// only) is moved in pieces of 0xFFFF0000 bytes, a multiple of 64 KiB: a file
// opened without buffering takes whole sectors only, and then gets them in
// every piece but the last.
const std::uint64_t largestCount = 0xFFFFFFFF;
const DWORD pieceSize = 0xFFFF0000;

// Moves count bytes (more than one call takes) at buffer with one
// call(at, piece, &done) per piece, and stops at the first piece that comes
// short or fails. Returns the bytes moved. failed is set only when the first
// piece failed, the last error still as that call left it; a failure after
// bytes have moved returns them, and a transfer of the rest meets it again.
template <class Byte, class Call>
std::uint64_t MoveInPieces(Byte* buffer, std::uint64_t count, Call call, bool& failed) {
    std::uint64_t moved = 0;
    for (;;) {
        const std::uint64_t rest = count - moved;
        const DWORD piece = rest > pieceSize ? pieceSize : static_cast<DWORD>(rest);
        DWORD done = 0;
        if (!call(buffer + moved, piece, &done)) {
            failed = moved == 0;
            return moved;
        }
        moved += done;
        if (done < piece || moved == count)
            return moved;
    }
}

// A malloc'd block, freed on every way out.
class ScopedMalloc {
public:
    explicit ScopedMalloc(std::size_t size) : block(static_cast<unsigned char*>(sys::malloc(size))) {}
    ~ScopedMalloc() {
        if (block)
            sys::free(block);
    }
    ScopedMalloc(const ScopedMalloc&) = delete;
    ScopedMalloc& operator=(const ScopedMalloc&) = delete;

    unsigned char* Get() const { return block; }

private:
    unsigned char* block;
};

// ntdll's IO_STATUS_BLOCK: a status (or pointer) and a count, pointer-sized each.
struct IoStatusBlock {
    void* status;
    ULONG_PTR information;
};

const int fileNameInformation = 9;  // FILE_INFORMATION_CLASS FileNameInformation
// FILE_NAME_INFORMATION: the name's length in bytes, then the name itself.
const std::size_t nameLengthSize = sizeof(ULONG);
const std::size_t nameInformationHeader = 8;

// The name of the open file as ntdll reports it: the path from the root of
// its volume, without drive or volume prefix ("\dir\file.txt"). false when
// ntdll has no NtQueryInformationFile or cannot tell; name is written only on
// success.
bool GetHandleFileName(HANDLE handle, std::wstring& name) {
    bind::NtQueryInformationFileFn query = bind::NtQueryInformationFile();
    if (!query)
        return false;

    // A buffer too small for any name: the call fails, but it still writes
    // the length the name needs.
    IoStatusBlock status = {};
    unsigned char probe[nameInformationHeader] = {};
    query(handle, &status, probe, sizeof probe, fileNameInformation);
    ULONG length = 0;
    std::memcpy(&length, probe, nameLengthSize);
    if (length == 0 || length > 0xFFFFFFFFu - nameInformationHeader)
        return false;

    const ULONG size = length + static_cast<ULONG>(nameInformationHeader);
    ScopedMalloc buffer(size);
    if (!buffer.Get())
        return false;
    status = {};
    LONG result = query(handle, &status, buffer.Get(), size, fileNameInformation);
    if (result != 0)
        return false;
    // The name may have grown since the probe: never read past the buffer.
    ULONG reported = 0;
    std::memcpy(&reported, buffer.Get(), nameLengthSize);
    const std::size_t room = size - nameLengthSize;
    const std::size_t bytes = reported < room ? reported : room;
    try {
        name.assign(reinterpret_cast<const wchar_t*>(buffer.Get() + nameLengthSize),
                    bytes / sizeof(wchar_t));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

}  // namespace

FileHandle::FileHandle() : handle(INVALID_HANDLE_VALUE) {}

FileHandle::FileHandle(void* handle) : handle(handle) {}

FileHandle::FileHandle(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile)
    : handle(INVALID_HANDLE_VALUE) {
    handle = sys::CreateFileA(path, access, share, security, disposition, flags, templateFile);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        detail::ThrowWin32<FileOpenError>("unable to open file",
                                          TARNIO_HERE("TarnIO::FileHandle::FileHandle"), error,
                                          std::string(path));
    }
}

FileHandle::FileHandle(const wchar_t* path, DWORD access, DWORD share,
                       SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                       HANDLE templateFile)
    : handle(INVALID_HANDLE_VALUE) {
    handle = sys::CreateFileW(path, access, share, security, disposition, flags, templateFile);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        detail::ThrowWin32<FileOpenError>("unable to open file",
                                          TARNIO_HERE("TarnIO::FileHandle::FileHandle"), error,
                                          TarnError::UnicodeEscape(path, 0xFFFFFFFFu));
    }
}

FileHandle::FileHandle(const Path& path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                       DWORD disposition, DWORD flags, HANDLE templateFile)
    : handle(INVALID_HANDLE_VALUE) {
    handle = sys::CreateFileW(path.AsCStr(), access, share, security, disposition, flags,
                              templateFile);
    if (handle == INVALID_HANDLE_VALUE) {
        DWORD error = ::GetLastError();
        detail::ThrowWin32<FileOpenError>("unable to open file",
                                          TARNIO_HERE("TarnIO::FileHandle::FileHandle"), error,
                                          detail::EscapeWide(path.AsString()));
    }
}

FileHandle::~FileHandle() {
    if (handle != INVALID_HANDLE_VALUE)
        sys::CloseHandle(handle);
}

bool FileHandle::Open(const char* path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) {
    Close();
    handle = sys::CreateFileA(path, access, share, security, disposition, flags, templateFile);
    return handle != INVALID_HANDLE_VALUE;
}

bool FileHandle::Open(const wchar_t* path, DWORD access, DWORD share,
                      SECURITY_ATTRIBUTES* security, DWORD disposition, DWORD flags,
                      HANDLE templateFile) {
    Close();
    handle = sys::CreateFileW(path, access, share, security, disposition, flags, templateFile);
    return handle != INVALID_HANDLE_VALUE;
}

bool FileHandle::Open(const Path& path, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                      DWORD disposition, DWORD flags, HANDLE templateFile) {
    Close();
    handle = sys::CreateFileW(path.AsCStr(), access, share, security, disposition, flags,
                              templateFile);
    return handle != INVALID_HANDLE_VALUE;
}

void FileHandle::Attach(void* other) {
    if (other == handle)
        return;
    Close();
    handle = other;
}

void* FileHandle::Release() {
    HANDLE released = handle;
    handle = INVALID_HANDLE_VALUE;
    return released;
}

void FileHandle::VerifyOpen(const TarnError::Context& context) const {
    if (IsOpen())
        return;
    detail::ThrowNotOpen(context);
}

std::uint64_t FileHandle::GetSize() const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::GetSize"));
    if (bind::GetFileSizeExFn getFileSizeEx = bind::GetFileSizeEx()) {
        LARGE_INTEGER size;
        if (!getFileSizeEx(handle, &size)) {
            DWORD error = ::GetLastError();
            detail::ThrowWin32<FileError>("unable to query file size",
                                          TARNIO_HERE("TarnIO::FileHandle::GetSize"), error);
        }
        return static_cast<std::uint64_t>(size.QuadPart);
    }
    // API oddity: 0xFFFFFFFF (INVALID_FILE_SIZE) is also the low word of a
    // valid size. The system clears the last error when that is what it is.
    DWORD high = 0;
    DWORD low = sys::GetFileSize(handle, &high);
    if (low == INVALID_FILE_SIZE) {
        DWORD error = ::GetLastError();
        if (error != NO_ERROR)
            detail::ThrowWin32<FileError>("unable to query file size",
                                          TARNIO_HERE("TarnIO::FileHandle::GetSize"), error);
    }
    return (static_cast<std::uint64_t>(high) << 32) + low;
}

std::uint64_t FileHandle::GetPosition() const {
    // Seek changes nothing when it moves by 0 from the current position.
    return const_cast<FileHandle*>(this)->Seek(0, seekCurrent);
}

std::uint64_t FileHandle::Seek(std::int64_t offset, SeekOrigin origin) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Seek"));
    const unsigned index = static_cast<unsigned>(origin);
    if (index >= sizeof moveMethods / sizeof moveMethods[0])
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileHandle::Seek"), "origin");
    const DWORD method = moveMethods[index];

    if (bind::SetFilePointerExFn setFilePointerEx = bind::SetFilePointerEx()) {
        LARGE_INTEGER distance;
        distance.QuadPart = offset;
        LARGE_INTEGER position;
        if (!setFilePointerEx(handle, distance, &position, method)) {
            DWORD error = ::GetLastError();
            detail::ThrowWin32<FileError>("unable to seek in file",
                                          TARNIO_HERE("TarnIO::FileHandle::Seek"), error);
        }
        return static_cast<std::uint64_t>(position.QuadPart);
    }
    // API oddity: INVALID_SET_FILE_POINTER may also be a valid new low word;
    // the system clears the last error when it is.
    LONG high = static_cast<LONG>(static_cast<std::uint64_t>(offset) >> 32);
    DWORD low = sys::SetFilePointer(handle, static_cast<LONG>(offset & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER) {
        DWORD error = ::GetLastError();
        if (error != NO_ERROR)
            detail::ThrowWin32<FileError>("unable to seek in file",
                                          TARNIO_HERE("TarnIO::FileHandle::Seek"), error);
    }
    return (static_cast<std::uint64_t>(static_cast<DWORD>(high)) << 32) + low;
}

std::uint64_t FileHandle::Read(void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Read"));
    DWORD done = 0;
    if (count > largestCount) {
        bool failed = false;
        const std::uint64_t moved = MoveInPieces(
            static_cast<unsigned char*>(buffer), count,
            [&](void* at, DWORD piece, DWORD* pieceDone) {
                return sys::ReadFile(handle, at, piece, pieceDone, nullptr);
            },
            failed);
        if (!failed)
            return moved;
    } else if (sys::ReadFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return done;
    }
    DWORD error = ::GetLastError();
    detail::ThrowWin32<FileReadError>("unable to read file", TARNIO_HERE("TarnIO::FileHandle::Read"),
                                      error);
}

std::uint64_t FileHandle::Write(const void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Write"));
    DWORD done = 0;
    if (count > largestCount) {
        bool failed = false;
        const std::uint64_t moved = MoveInPieces(
            static_cast<const unsigned char*>(buffer), count,
            [&](const void* at, DWORD piece, DWORD* pieceDone) {
                return sys::WriteFile(handle, at, piece, pieceDone, nullptr);
            },
            failed);
        if (!failed)
            return moved;
    } else if (sys::WriteFile(handle, buffer, static_cast<DWORD>(count), &done, nullptr)) {
        return done;
    }
    DWORD error = ::GetLastError();
    detail::ThrowWin32<FileWriteError>("unable to write file",
                                       TARNIO_HERE("TarnIO::FileHandle::Write"), error);
}

void FileHandle::Close() {
    if (!IsOpen())
        return;
    HANDLE closing = handle;
    handle = INVALID_HANDLE_VALUE;
    sys::CloseHandle(closing);
}

void FileHandle::Flush() {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Flush"));
    if (!sys::FlushFileBuffers(handle)) {
        DWORD error = ::GetLastError();
        detail::ThrowWin32<FileWriteError>("unable flush file buffers",
                                           TARNIO_HERE("TarnIO::FileHandle::Flush"), error);
    }
}

void FileHandle::Stat(BY_HANDLE_FILE_INFORMATION& info) const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Stat"));
    if (!sys::GetFileInformationByHandle(handle, &info)) {
        DWORD error = ::GetLastError();
        detail::ThrowWin32<FileError>("unable to stat file",
                                      TARNIO_HERE("TarnIO::FileHandle::Stat"), error);
    }
}

bool FileHandle::Query(PathStats& stats) const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileHandle::Query"));
    BY_HANDLE_FILE_INFORMATION info;
    if (!sys::GetFileInformationByHandle(handle, &info)) {
        DWORD error = ::GetLastError();
        stats.exists = false;
        stats.lastError = error;
        return false;
    }
    detail::CopyAttributeData(stats.attributeData, info);
    stats.reparseTag = 0;
    stats.lastError = 0;
    stats.exists = true;

    // The handle information has no reparse tag; a directory search on the
    // file's own name reports it in dwReserved0. Not knowing it is no failure.
    if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
        std::wstring name;
        if (!GetHandleFileName(handle, name))
            return true;
        WIN32_FIND_DATAW data;
        std::memset(&data, 0, sizeof data);
        detail::ScopedFind find(sys::FindFirstFileW(name.c_str(), &data));
        if (find.IsValid())
            stats.reparseTag = data.dwReserved0;
    }
    return true;
}

}  // namespace TarnIO
