#include "TarnIO/AtomicFile.h"

#include "Sys.h"
#include "Throw.h"

#include <cwchar>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\AtomicFile";

// What the new file takes over from the file it replaces.
const DWORD keptAttributes =
    FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
// Tries at other names when one is taken (a temporary an earlier process of
// the same id left behind).
const int namesTried = 16;
const std::size_t longestKeptBase = 200;

// Beside target, named after it: the process id and a count of this
// process's temporaries make it unique unless a leftover holds it.
Path TemporaryFor(const Path& target) {
    static volatile LONG made = 0;
    wchar_t suffix[40];
    std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".~%lx-%lx.tmp",
                  static_cast<unsigned long>(::GetCurrentProcessId()),
                  static_cast<unsigned long>(::InterlockedIncrement(&made)));
    // The suffix must fit in a name of at most 255 characters.
    std::wstring name = target.AsString();
    const std::size_t base = name.find_last_of(L"\\:") + 1;  // npos + 1 is 0
    if (name.size() - base > longestKeptBase)
        name.resize(base + longestKeptBase);
    return Path(name + suffix);
}

}  // namespace

AtomicFile::AtomicFile(const Path& target) : target(target) {
    if (target.IsEmpty())
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::AtomicFile::AtomicFile"), "target");
    for (int attempt = 1;; ++attempt) {
        temporary = TemporaryFor(target);
        if (file.Open(temporary, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                      FILE_ATTRIBUTE_NORMAL))
            return;
        const DWORD error = ::GetLastError();
        if ((error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) || attempt == namesTried)
            detail::ThrowWin32<FileOpenError>("unable to open file",
                                              TARNIO_HERE("TarnIO::AtomicFile::AtomicFile"), error,
                                              detail::EscapeWide(temporary.AsString()));
    }
}

AtomicFile::~AtomicFile() { Close(); }

void AtomicFile::Close() {
    file.Close();
    if (temporary.IsEmpty())
        return;
    sys::DeleteFileW(temporary.AsCStr());
    temporary.Clear();
}

unsigned long AtomicFile::Replace() {
    if (!sys::FlushFileBuffers(file.Raw()))
        return ::GetLastError();
    // Moved by name, which an open handle that shares no deletion forbids.
    file.Close();
    // The attributes of a symbolic link are the link's own: a link is
    // replaced, never what it points to.
    const DWORD attributes = sys::GetFileAttributesW(target.AsCStr());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND)
            return error;
    } else if (attributes & FILE_ATTRIBUTE_READONLY) {
        // What MoveFileExW reports on Windows, said before trying, so that
        // the rule holds where the system does not enforce it (Wine as root).
        return ERROR_ACCESS_DENIED;
    } else if ((attributes & keptAttributes) &&
               !sys::SetFileAttributesW(temporary.AsCStr(), attributes & keptAttributes)) {
        return ::GetLastError();
    }
    if (!sys::MoveFileExW(temporary.AsCStr(), target.AsCStr(),
                          MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return ::GetLastError();
    temporary.Clear();  // it is the target now
    return NO_ERROR;
}

void AtomicFile::Commit() {
    if (!IsOpen())
        detail::ThrowNotOpen(TARNIO_HERE("TarnIO::AtomicFile::Commit"));
    const DWORD error = Replace();
    if (error == NO_ERROR)
        return;
    Close();
    detail::ThrowWin32Path<FileWriteError>(
        "unable to replace file", TARNIO_HERE("TarnIO::AtomicFile::Commit"), error, target);
}

}  // namespace TarnIO
