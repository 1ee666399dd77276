#include "TarnIO/StdFile.h"

#include "TarnIO/FileDescriptor.h"
#include "TarnIO/Path.h"
#include "TarnIO/PathStats.h"

#include "Bindings.h"
#include "Sys.h"
#include "Throw.h"

#include <TarnUtil/Text.h>

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <string>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\StdFile";

static_assert(seekCurrent == 0 && seekBegin == 1 && seekEnd == 2, "SeekOrigin indexes whenceOf");
static_assert(SEEK_SET == 0 && SEEK_CUR == 1 && SEEK_END == 2, "C runtime whence values");
const int whenceOf[] = {SEEK_CUR, SEEK_SET, SEEK_END};

// Some stream failures of the C runtime come from a Win32 call whose error
// never reached errno. When errno says nothing, translate the last error so
// the report still carries a cause. Returns errno afterwards.
int FillErrnoFromLastError() {
    DWORD lastError = ::GetLastError();
    if (errno != 0 || lastError == 0)
        return errno;
    int error;
    switch (lastError) {
    case ERROR_FILE_NOT_FOUND:       error = ENOENT; break;  // 2
    case ERROR_PATH_NOT_FOUND:       error = ENOENT; break;  // 3
    case ERROR_TOO_MANY_OPEN_FILES:  error = ENFILE; break;  // 4
    case ERROR_ACCESS_DENIED:        error = EACCES; break;  // 5
    case ERROR_INVALID_HANDLE:       error = EBADF;  break;  // 6
    case ERROR_NOT_ENOUGH_MEMORY:    error = ENOMEM; break;  // 8
    case ERROR_OUTOFMEMORY:          error = ENOMEM; break;  // 14
    case ERROR_INVALID_DRIVE:        error = ENODEV; break;  // 15
    case ERROR_FILE_EXISTS:          error = EEXIST; break;  // 80
    default:                         error = EIO;    break;
    }
    errno = error;
    return error;
}

// A C runtime stream call that may fail reports through errno and the last
// error, and neither is cleared on success. Clearing both first means that
// what FillErrnoFromLastError finds after a failure belongs to that failure,
// not to an unrelated earlier call.
void ClearErrors() {
    errno = 0;
    ::SetLastError(0);
}

// fread and fwrite take a size_t count and loop over _read and _write
// themselves, so a count is passed whole. Only in the 32-bit build can a count
// exceed a size_t; no buffer is that large, and it is passed as the largest
// size_t, never cut to its low 32 bits.
std::size_t StreamCount(std::uint64_t count) {
    if constexpr (sizeof(std::size_t) < sizeof(std::uint64_t))
        if (count > SIZE_MAX)
            return SIZE_MAX;
    return static_cast<std::size_t>(count);
}

// Holds the C runtime's own lock of a stream for a sequence of calls.
//
// This C runtime (msvcrt) has no _fseeki64_nolock or _ftelli64_nolock, so the
// sequences below call _fseeki64 and _ftelli64, which take the same lock
// again. The stream lock is recursive, so that is safe, and the sequence is
// still atomic for every other user of the stream that locks it.
class StreamLock {
public:
    explicit StreamLock(FILE* stream) : stream(stream) { sys::_lock_file(stream); }
    ~StreamLock() { sys::_unlock_file(stream); }
    StreamLock(const StreamLock&) = delete;
    StreamLock& operator=(const StreamLock&) = delete;

private:
    FILE* stream;
};

// Lends the stream's descriptor to a FileDescriptor for one query and takes it
// back before the FileDescriptor dies, also when the query throws: the
// descriptor stays the stream's and is never closed here.
class LentDescriptor {
public:
    explicit LentDescriptor(int descriptor) : file(descriptor) {}
    ~LentDescriptor() { file.Release(); }
    LentDescriptor(const LentDescriptor&) = delete;
    LentDescriptor& operator=(const LentDescriptor&) = delete;

    FileDescriptor file;
};

// What the constructors that open by name share: refuse a null name, then a
// null mode; open; on failure complete errno from the last error and throw
// with the file's name, which is only built then.
template <class Char, class OpenCall, class Describe>
void OpenOrThrow(const Char* path, const Char* mode, OpenCall open, Describe describe) {
    if (!path)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::StdFile::StdFile"), "path");
    if (!mode)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::StdFile::StdFile"), "mode");
    ClearErrors();
    if (open())
        return;
    int error = FillErrnoFromLastError();
    detail::ThrowErrno<FileOpenError>("unable to open file",
                                      TARNIO_HERE("TarnIO::StdFile::StdFile"), error, describe());
}

}  // namespace

StdFile::StdFile() : stream(nullptr) {}

StdFile::StdFile(FILE* stream) : stream(stream) {}

StdFile::StdFile(int descriptor, const char* mode) : stream(nullptr) {
    if (descriptor == -1)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::StdFile::StdFile"), "fd");
    ClearErrors();
    if (Open(descriptor, mode))
        return;
    int error = FillErrnoFromLastError();
    if (error == EINVAL)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::StdFile::StdFile"), "mode");
    detail::ThrowErrno<FileOpenError>("unable to open file",
                                      TARNIO_HERE("TarnIO::StdFile::StdFile"), error);
}

StdFile::StdFile(const char* path, const char* mode) : stream(nullptr) {
    OpenOrThrow(path, mode, [&] { return Open(path, mode); }, [&] { return std::string(path); });
}

StdFile::StdFile(const char* path, const char* mode, int share) : stream(nullptr) {
    OpenOrThrow(path, mode, [&] { return Open(path, mode, share); },
                [&] { return std::string(path); });
}

StdFile::StdFile(const wchar_t* path, const wchar_t* mode, int share) : stream(nullptr) {
    OpenOrThrow(path, mode, [&] { return Open(path, mode, share); },
                [&] { return TarnError::UnicodeEscape(path, 0xFFFFFFFF); });
}

StdFile::StdFile(const Path& path, const wchar_t* mode, int share) : stream(nullptr) {
    OpenOrThrow(path.AsCStr(), mode, [&] { return Open(path, mode, share); },
                [&] { return detail::EscapeWide(path.AsString()); });
}

StdFile::StdFile(const Path& path, const wchar_t* mode) : stream(nullptr) {
    OpenOrThrow(path.AsCStr(), mode, [&] { return Open(path, mode); },
                [&] { return detail::EscapeWide(path.AsString()); });
}

StdFile::~StdFile() {
    if (!stream)
        return;
    FILE* taken = stream;
    stream = nullptr;
    sys::fclose(taken);
}

// A null name or mode, or descriptor -1, never reaches the C runtime, whose
// invalid-parameter handler may end the process: the open fails with EINVAL
// (EBADF for the descriptor), after closing what was open like any Open.
namespace {

bool Refuse(int error) {
    errno = error;
    return false;
}

}  // namespace

bool StdFile::Open(int descriptor, const char* mode) {
    Close();
    if (descriptor == -1)
        return Refuse(EBADF);
    if (!mode)
        return Refuse(EINVAL);
    stream = sys::_fdopen(descriptor, mode);
    return stream != nullptr;
}

bool StdFile::Open(const char* path, const char* mode) {
    Close();
    if (!path || !mode)
        return Refuse(EINVAL);
    // fopen_s returns its error; storing it makes errno 0 after a success.
    errno = sys::fopen_s(&stream, path, mode);
    return stream != nullptr;
}

bool StdFile::Open(const char* path, const char* mode, int share) {
    Close();
    if (!path || !mode)
        return Refuse(EINVAL);
    stream = sys::_fsopen(path, mode, share);
    return stream != nullptr;
}

bool StdFile::Open(const wchar_t* path, const wchar_t* mode) {
    if (!path || !mode) {
        Close();
        return Refuse(EINVAL);
    }
    if (bind::WfopenFn wfopen = bind::Wfopen()) {
        Close();
        stream = wfopen(path, mode);
        return stream != nullptr;
    }
    // No wide open in this C runtime (or not an NT-family system): narrow
    // both texts to the ANSI code page for the narrow call, before anything
    // is closed.
    std::string narrowPath;
    std::string narrowMode;
    TarnUtil::TextNarrow(path, 0xFFFFFFFF, narrowPath);
    TarnUtil::TextNarrow(mode, 0xFFFFFFFF, narrowMode);
    return Open(narrowPath.c_str(), narrowMode.c_str());
}

bool StdFile::Open(const wchar_t* path, const wchar_t* mode, int share) {
    if (!path || !mode) {
        Close();
        return Refuse(EINVAL);
    }
    if (bind::WfsopenFn wfsopen = bind::Wfsopen()) {
        Close();
        stream = wfsopen(path, mode, share);
        return stream != nullptr;
    }
    std::string narrowPath;
    std::string narrowMode;
    TarnUtil::TextNarrow(path, 0xFFFFFFFF, narrowPath);
    TarnUtil::TextNarrow(mode, 0xFFFFFFFF, narrowMode);
    return Open(narrowPath.c_str(), narrowMode.c_str(), share);
}

bool StdFile::Open(const Path& path, const wchar_t* mode) {
    return Open(path.AsString().c_str(), mode);
}

bool StdFile::Open(const Path& path, const wchar_t* mode, int share) {
    return Open(path.AsString().c_str(), mode, share);
}

void StdFile::Attach(FILE* newStream) {
    if (newStream == stream)
        return;
    Close();
    stream = newStream;
}

FILE* StdFile::Release() {
    FILE* released = stream;
    stream = nullptr;
    return released;
}

int StdFile::RawDescriptor() const { return stream ? sys::_fileno(stream) : -1; }

void* StdFile::RawHandle() const {
    int descriptor = RawDescriptor();
    if (descriptor == -1)
        return INVALID_HANDLE_VALUE;
    return reinterpret_cast<void*>(sys::_get_osfhandle(descriptor));
}

std::uint64_t StdFile::GetSize() const {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::GetSize"));
    __int64 size = -1;
    int error = 0;
    {
        StreamLock lock(stream);
        ClearErrors();
        __int64 position = sys::_ftelli64(stream);
        if (position == -1) {
            error = FillErrnoFromLastError();
        } else if (sys::_fseeki64(stream, 0, SEEK_END) != 0) {
            // The failed seek has not moved the position.
            error = FillErrnoFromLastError();
        } else {
            size = sys::_ftelli64(stream);
            if (size == -1)
                error = FillErrnoFromLastError();
            // Back to where the caller was, whatever the size query gave; the
            // outcome of this seek is ignored (see the header).
            sys::_fseeki64(stream, position, SEEK_SET);
        }
    }
    if (size == -1)
        detail::ThrowErrno<FileError>("unable to query file size",
                                      TARNIO_HERE("TarnIO::StdFile::GetSize"), error);
    return static_cast<std::uint64_t>(size);
}

std::uint64_t StdFile::GetPosition() const {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::GetPosition"));
    ClearErrors();
    __int64 position = sys::_ftelli64(stream);
    if (position == -1) {
        int error = FillErrnoFromLastError();
        detail::ThrowErrno<FileError>("unable to query file position",
                                      TARNIO_HERE("TarnIO::StdFile::GetPosition"), error);
    }
    return static_cast<std::uint64_t>(position);
}

std::uint64_t StdFile::Seek(std::int64_t offset, SeekOrigin origin) {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::Seek"));
    if (origin != seekCurrent && origin != seekBegin && origin != seekEnd)
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::StdFile::Seek"), "origin");
    __int64 position = -1;
    int error = 0;
    {
        StreamLock lock(stream);
        ClearErrors();
        if (sys::_fseeki64(stream, offset, whenceOf[origin]) == 0)
            position = sys::_ftelli64(stream);
        if (position == -1)
            error = FillErrnoFromLastError();
    }
    if (position == -1)
        detail::ThrowErrno<FileError>("unable to seek in file",
                                      TARNIO_HERE("TarnIO::StdFile::Seek"), error);
    return static_cast<std::uint64_t>(position);
}

std::uint64_t StdFile::Read(void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::Read"));
    // A stream whose error indicator is already set fails again with no new
    // cause: cleared first, errno and the last error then report none rather
    // than an older one. (Under Wine, where errno is reached through a
    // thread-data lookup, the two stores take about 30 ns.)
    ClearErrors();
    std::size_t done = sys::fread(buffer, 1, StreamCount(count), stream);
    if (done != 0)
        return done;
    // Nothing read: end of file or a count of 0, unless the stream's error
    // indicator says otherwise. The indicator is never cleared here, so a
    // stream that failed once keeps failing.
    if (!sys::ferror(stream))
        return 0;
    int error = FillErrnoFromLastError();
    detail::ThrowErrno<FileReadError>("unable to read file", TARNIO_HERE("TarnIO::StdFile::Read"),
                                      error);
}

std::uint64_t StdFile::Write(const void* buffer, std::uint64_t count) {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::Write"));
    ClearErrors();
    std::size_t done = sys::fwrite(buffer, 1, StreamCount(count), stream);
    if (done != 0)
        return done;
    if (!sys::ferror(stream))
        return 0;
    int error = FillErrnoFromLastError();
    detail::ThrowErrno<FileWriteError>("unable to write file",
                                       TARNIO_HERE("TarnIO::StdFile::Write"), error);
}

void StdFile::Close() {
    if (!IsOpen())
        return;
    FILE* taken = stream;
    stream = nullptr;
    sys::fclose(taken);
}

void StdFile::Flush() {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::Flush"));
    ClearErrors();
    if (sys::fflush(stream) != 0) {
        int error = FillErrnoFromLastError();
        detail::ThrowErrno<FileWriteError>("unable to flush file buffers",
                                           TARNIO_HERE("TarnIO::StdFile::Flush"), error);
    }
}

bool StdFile::Query(PathStats& stats) const {
    VerifyOpen(TARNIO_HERE("TarnIO::StdFile::Query"));
    LentDescriptor lent(sys::_fileno(stream));
    try {
        return lent.file.Query(stats);
    } catch (const TarnError::Error&) {
        // The stream has no usable descriptor or handle ("file not open" from
        // the borrower): the attributes are simply not available.
        return false;
    }
}

void StdFile::VerifyOpen(const TarnError::Context& context) const {
    if (!IsOpen())
        detail::ThrowNotOpen(context);
}

}  // namespace TarnIO
