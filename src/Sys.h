// The system and C runtime entry points that TarnIO calls, reached through
// one table so that the library's own tests can count calls and make any of
// them fail. Every entry defaults to the real function; call sites read as
// plain calls: sys::ReadFile(handle, buffer, size, &done, nullptr).
//
// Nothing here is exported from the DLL: only code linked with the library's
// object files (the internal tests) can reach the table.
#pragma once

#include <windows.h>

#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

// Every entry point, by name. Functions bound at run time (GetFileSizeEx,
// SetFilePointerEx, NtQueryInformationFile, _wsopen, _wfopen, _wfsopen) are
// not here: see Bindings.h.
#define TARNIO_SYSTEM_CALLS(X)                                                       \
    X(CreateFileA) X(CreateFileW) X(ReadFile) X(WriteFile) X(FlushFileBuffers)       \
    X(CloseHandle) X(GetFileSize) X(SetFilePointer) X(GetFileInformationByHandle)    \
    X(GetFileAttributesW) X(FindFirstFileW) X(FindNextFileW) X(FindClose)            \
    X(GetBinaryTypeW) X(MoveFileW) X(GetCurrentDirectoryW) X(GetEnvironmentVariableW) \
    X(GetVersionExA)                                                                 \
    X(_sopen_s) X(_read) X(_write) X(_lseeki64) X(_telli64) X(_filelengthi64)        \
    X(_commit) X(_close) X(_get_osfhandle) X(_open_osfhandle)                        \
    X(fopen_s) X(_fsopen) X(_fdopen) X(fread) X(fwrite) X(fflush) X(ferror)          \
    X(fclose) X(_fileno) X(_ftelli64) X(_fseeki64) X(_lock_file) X(_unlock_file)     \
    X(_waccess) X(towupper) X(malloc) X(free)

namespace TarnIO {
namespace sys {

struct Table {
#define TARNIO_SYSTEM_CALL_FIELD(name) decltype(&::name) name;
    TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_FIELD)
#undef TARNIO_SYSTEM_CALL_FIELD
};

// The table in use. Tests may replace entries and must restore them.
extern Table table;
// The real functions, for restoring.
extern const Table realTable;

#define TARNIO_SYSTEM_CALL_FORWARD(name)                                 \
    template <class... Args>                                             \
    inline auto name(Args... args) -> decltype(table.name(args...)) {    \
        return table.name(args...);                                      \
    }
TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_FORWARD)
#undef TARNIO_SYSTEM_CALL_FORWARD

}  // namespace sys
}  // namespace TarnIO
