#include "TarnIO/FileDescriptor.h"

#include "TarnIO/FileHandle.h"
#include "TarnIO/Path.h"
#include "TarnIO/PathStats.h"

#include "Bindings.h"
#include "Sys.h"
#include "Throw.h"

#include <TarnUtil/Text.h>

#include <windows.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <string>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\FileDescriptor";

// SeekOrigin is indexed into this table; the C runtime's whence values are
// the classic 0, 1, 2 of SEEK_SET, SEEK_CUR, SEEK_END.
static_assert(seekCurrent == 0 && seekBegin == 1 && seekEnd == 2, "SeekOrigin indexes whenceOf");
static_assert(SEEK_SET == 0 && SEEK_CUR == 1 && SEEK_END == 2, "C runtime whence values");
const int whenceOf[] = {SEEK_CUR, SEEK_SET, SEEK_END};

// _read and _write take an unsigned count, but their int result cannot
// report more than INT_MAX (under Wine, a call of 3 GiB returned a negative
// count). A larger count is moved in pieces of 0x7FFF0000 bytes, a multiple
// of 64 KiB, so that a descriptor over a file opened without buffering gets
// whole sectors in every piece but the last.
const std::uint64_t largestCount = INT_MAX;
const unsigned pieceSize = 0x7FFF0000;

// Moves count bytes (more than one call takes) at buffer with one
// call(at, piece) per piece, and stops at the first piece that comes short or
// fails (-1). Returns the bytes moved. failed is set only when the first
// piece failed, errno still as that call left it; a failure after bytes have
// moved returns them, and a transfer of the rest meets it again.
template <class Byte, class Call>
std::uint64_t MoveInPieces(Byte* buffer, std::uint64_t count, Call call, bool& failed) {
    std::uint64_t moved = 0;
    for (;;) {
        const std::uint64_t rest = count - moved;
        const unsigned piece = rest > pieceSize ? pieceSize : static_cast<unsigned>(rest);
        const int done = call(buffer + moved, piece);
        if (done == -1) {
            failed = moved == 0;
            return moved;
        }
        moved += static_cast<unsigned>(done);
        if (static_cast<unsigned>(done) < piece || moved == count)
            return moved;
    }
}

// Lends the descriptor's Win32 handle to a FileHandle for one query and takes
// it back before the FileHandle dies, also when the query throws: the handle
// stays the descriptor's and is never closed here.
class LentHandle {
public:
    explicit LentHandle(void* handle) : file(handle) {}
    ~LentHandle() { file.Release(); }
    LentHandle(const LentHandle&) = delete;
    LentHandle& operator=(const LentHandle&) = delete;

    FileHandle file;
};

// What the opening constructors throw when their Open failed, given the errno
// it left: the C runtime refusing oflag or share reports EINVAL.
[[noreturn]] void ThrowOpenFailure(int error, const std::string& filePath) {
    if (error == EINVAL)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileDescriptor::FileDescriptor"),
                                     "oflag, share", filePath);
    detail::ThrowErrno<FileOpenError>("unable to open file",
                                      TARNIO_HERE("TarnIO::FileDescriptor::FileDescriptor"), error,
                                      filePath);
}

}  // namespace

FileDescriptor::FileDescriptor() : descriptor(-1) {}

FileDescriptor::FileDescriptor(int descriptor) : descriptor(descriptor) {}

FileDescriptor::FileDescriptor(const char* path, int oflag, int share, int pmode)
    : descriptor(-1) {
    if (Open(path, oflag, share, pmode))
        return;
    int error = errno;
    ThrowOpenFailure(error, std::string(path));
}

FileDescriptor::FileDescriptor(const wchar_t* path, int oflag, int share, int pmode)
    : descriptor(-1) {
    if (Open(path, oflag, share, pmode))
        return;
    int error = errno;
    ThrowOpenFailure(error, TarnError::UnicodeEscape(path, 0xFFFFFFFF));
}

FileDescriptor::FileDescriptor(const Path& path, int oflag, int share, int pmode)
    : descriptor(-1) {
    if (Open(path, oflag, share, pmode))
        return;
    int error = errno;
    ThrowOpenFailure(error, detail::EscapeWide(path.AsString()));
}

FileDescriptor::FileDescriptor(void* fileHandle, int flags) : descriptor(-1) {
    if (fileHandle == INVALID_HANDLE_VALUE)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileDescriptor::FileDescriptor"),
                                     "fileHandle");
    int made = sys::_open_osfhandle(reinterpret_cast<intptr_t>(fileHandle), flags);
    int error = errno;
    if (made == -1)
        detail::ThrowErrno<FileOpenError>("unable to open file",
                                          TARNIO_HERE("TarnIO::FileDescriptor::FileDescriptor"),
                                          error);
    descriptor = made;
}

FileDescriptor::~FileDescriptor() {
    if (descriptor == -1)
        return;
    int taken = descriptor;
    descriptor = -1;
    sys::_close(taken);
}

bool FileDescriptor::Open(const char* path, int oflag, int share, int pmode) {
    Close();
    // _sopen_s returns its error instead of only setting errno; storing it
    // makes errno tell the outcome either way, 0 on success.
    errno = sys::_sopen_s(&descriptor, path, oflag, share, pmode);
    return errno == 0;
}

bool FileDescriptor::Open(const wchar_t* path, int oflag, int share, int pmode) {
    if (bind::WsopenFn wsopen = bind::Wsopen()) {
        Close();
        descriptor = wsopen(path, oflag, share, pmode);
        return descriptor != -1;
    }
    // No wide open in this C runtime (or not an NT-family system): the
    // narrow name in the ANSI code page is the best the narrow call can take.
    std::string narrow;
    TarnUtil::TextNarrow(path, 0xFFFFFFFF, narrow);
    return Open(narrow.c_str(), oflag, share, pmode);
}

bool FileDescriptor::Open(const Path& path, int oflag, int share, int pmode) {
    return Open(path.AsString().c_str(), oflag, share, pmode);
}

void FileDescriptor::Attach(int newDescriptor) {
    if (newDescriptor == descriptor)
        return;
    Close();
    descriptor = newDescriptor;
}

int FileDescriptor::Release() {
    int released = descriptor;
    descriptor = -1;
    return released;
}

void* FileDescriptor::RawHandle() const {
    if (!IsOpen())
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<void*>(sys::_get_osfhandle(descriptor));
}

std::uint64_t FileDescriptor::GetSize() const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::GetSize"));
    __int64 size = sys::_filelengthi64(descriptor);
    if (size == -1) {
        int error = errno;
        detail::ThrowErrno<FileError>("unable to query file size",
                                      TARNIO_HERE("TarnIO::FileDescriptor::GetSize"), error);
    }
    return static_cast<std::uint64_t>(size);
}

std::uint64_t FileDescriptor::GetPosition() const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::GetPosition"));
    __int64 position = sys::_telli64(descriptor);
    if (position == -1) {
        int error = errno;
        detail::ThrowErrno<FileError>("unable to query file position",
                                      TARNIO_HERE("TarnIO::FileDescriptor::GetPosition"), error);
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t FileDescriptor::Seek(std::int64_t offset, SeekOrigin origin) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::Seek"));
    if (origin != seekCurrent && origin != seekBegin && origin != seekEnd)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileDescriptor::Seek"), "origin");
    __int64 position = sys::_lseeki64(descriptor, offset, whenceOf[origin]);
    if (position == -1) {
        int error = errno;
        detail::ThrowErrno<FileError>("unable to seek in file",
                                      TARNIO_HERE("TarnIO::FileDescriptor::Seek"), error);
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t FileDescriptor::Read(void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::Read"));
    if (count > largestCount) {
        bool failed = false;
        const std::uint64_t moved = MoveInPieces(
            static_cast<unsigned char*>(buffer), count,
            [&](void* at, unsigned piece) { return sys::_read(descriptor, at, piece); }, failed);
        if (!failed)
            return moved;
    } else {
        const int done = sys::_read(descriptor, buffer, static_cast<unsigned>(count));
        if (done != -1)
            return static_cast<unsigned>(done);
    }
    int error = errno;
    // EINVAL: the C runtime refused the arguments (a null buffer) after its
    // invalid-parameter handler returned.
    if (error == EINVAL)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileDescriptor::Read"), "buffer");
    detail::ThrowErrno<FileReadError>("unable to read file",
                                      TARNIO_HERE("TarnIO::FileDescriptor::Read"), error);
}

std::uint64_t FileDescriptor::Write(const void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::Write"));
    if (count > largestCount) {
        bool failed = false;
        const std::uint64_t moved = MoveInPieces(
            static_cast<const unsigned char*>(buffer), count,
            [&](const void* at, unsigned piece) { return sys::_write(descriptor, at, piece); },
            failed);
        if (!failed)
            return moved;
    } else {
        const int done = sys::_write(descriptor, buffer, static_cast<unsigned>(count));
        if (done != -1)
            return static_cast<unsigned>(done);
    }
    int error = errno;
    if (error == EINVAL)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::FileDescriptor::Write"), "buffer");
    detail::ThrowErrno<FileWriteError>("unable to write file",
                                       TARNIO_HERE("TarnIO::FileDescriptor::Write"), error);
}

void FileDescriptor::Close() {
    if (!IsOpen())
        return;
    int taken = descriptor;
    descriptor = -1;
    sys::_close(taken);
}

void FileDescriptor::Flush() {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::Flush"));
    int result = sys::_commit(descriptor);
    if (result == -1) {
        int error = errno;
        detail::ThrowErrno<FileWriteError>("unable flush file buffers",
                                           TARNIO_HERE("TarnIO::FileDescriptor::Flush"), error);
    }
}

bool FileDescriptor::Query(PathStats& stats) const {
    VerifyOpen(TARNIO_HERE("TarnIO::FileDescriptor::Query"));
    // A descriptor the C runtime does not know gives INVALID_HANDLE_VALUE,
    // which FileHandle::Query refuses as "file not open".
    LentHandle lent(RawHandle());
    return lent.file.Query(stats);
}

void FileDescriptor::VerifyOpen(const TarnError::Context& context) const {
    if (!IsOpen())
        detail::ThrowNotOpen(context);
}

}  // namespace TarnIO
