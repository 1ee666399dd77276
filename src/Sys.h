// The system and C runtime entry points that TarnIO calls, reached through
// one table so that the library's own tests can count calls and make any of
// them fail. Every entry defaults to the real function; call sites read as
// plain calls: sys::ReadFile(handle, buffer, size, &done, nullptr). The
// functions bound at run time sit in the same table and are reached through
// the accessors of Bindings.h: if (auto fn = bind::GetFileSizeEx()) fn(...).
//
// Nothing here is exported from the DLL: only code linked with the library's
// object files (the internal tests) can reach the table.
#pragma once

#include <windows.h>

#include <io.h>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

// Every entry point linked at build time, by name.
#define TARNIO_SYSTEM_CALLS(X)                                                       \
    X(CreateFileA) X(ReadFile) X(WriteFile) X(FlushFileBuffers)                      \
    X(CloseHandle) X(GetFileSize) X(SetFilePointer) X(GetFileInformationByHandle)    \
    X(FindClose)                                                                     \
    X(GetVersionExA)                                                                 \
    X(_sopen_s) X(_read) X(_write) X(_lseeki64) X(_telli64) X(_filelengthi64)        \
    X(_commit) X(_close) X(_get_osfhandle) X(_open_osfhandle)                        \
    X(_fsopen) X(_fdopen) X(fread) X(fwrite) X(fflush) X(ferror)                     \
    X(fclose) X(_fileno) X(_ftelli64) X(_fseeki64) X(_lock_file) X(_unlock_file)     \
    X(_waccess) X(towupper) X(malloc) X(free)

// The entry points reached through a binding made at their first call
// (Bindings.h), by name; each entry has the type of the function it reaches.
// A wide function that the system lacks fails as the system fails a call it
// does not implement; fopen_s, which Windows XP's msvcrt.dll lacks, is then
// made with _fsopen. Nothing here is linked at build time, so the DLL loads
// on every NT-family system.
#define TARNIO_FIRST_CALLS(X)                                                        \
    X(CreateFileW) X(GetFileAttributesW) X(FindFirstFileW) X(FindNextFileW)          \
    X(GetBinaryTypeW) X(MoveFileW) X(GetCurrentDirectoryW) X(GetEnvironmentVariableW) \
    X(fopen_s)                                                                       \
    X(CreateDirectoryW) X(RemoveDirectoryW) X(DeleteFileW) X(SetFileAttributesW)     \
    X(MoveFileExW) X(GetFullPathNameW)

// The optional entry points, bound at run time (Bindings.h), by name and type.
// Their entries hold null for a function the system or the C runtime lacks.
#define TARNIO_BOUND_CALLS(X)                                                        \
    X(GetFileSizeEx, GetFileSizeExFn) X(SetFilePointerEx, SetFilePointerExFn)        \
    X(NtQueryInformationFile, NtQueryInformationFileFn)                              \
    X(_wsopen, WsopenFn) X(_wfopen, WfopenFn) X(_wfsopen, WfsopenFn)

namespace TarnIO {
namespace sys {

typedef BOOL(WINAPI* GetFileSizeExFn)(HANDLE file, PLARGE_INTEGER size);
typedef BOOL(WINAPI* SetFilePointerExFn)(HANDLE file, LARGE_INTEGER distance,
                                         PLARGE_INTEGER newPosition, DWORD method);
// ntdll's NtQueryInformationFile; the I/O status block is two pointer-sized words.
typedef LONG(NTAPI* NtQueryInformationFileFn)(HANDLE file, void* ioStatusBlock, void* information,
                                              ULONG length, int informationClass);
typedef int(__cdecl* WsopenFn)(const wchar_t* path, int oflag, int share, ...);
typedef FILE*(__cdecl* WfopenFn)(const wchar_t* path, const wchar_t* mode);
typedef FILE*(__cdecl* WfsopenFn)(const wchar_t* path, const wchar_t* mode, int share);

struct Table {
#define TARNIO_SYSTEM_CALL_FIELD(name) decltype(&::name) name;
    TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_FIELD)
    TARNIO_FIRST_CALLS(TARNIO_SYSTEM_CALL_FIELD)
#undef TARNIO_SYSTEM_CALL_FIELD
#define TARNIO_BOUND_CALL_FIELD(name, type) type name;
    TARNIO_BOUND_CALLS(TARNIO_BOUND_CALL_FIELD)
#undef TARNIO_BOUND_CALL_FIELD
};

// The table in use. Tests may replace entries and must restore them
// (sys::table = sys::realTable). A bound entry set to null makes the library
// take its fallback, as on a system without that function.
extern Table table;
// The real functions, for restoring and for wrappers to call. The bound
// entries here are forwarders to the one-time bindings of Bindings.h: the
// library itself reaches those through the accessors there, which tell an
// absent function from a present one. The first-call entries are the
// bindings of Bindings.h themselves.
extern const Table realTable;

#define TARNIO_SYSTEM_CALL_FORWARD(name)                                 \
    template <class... Args>                                             \
    inline auto name(Args... args) -> decltype(table.name(args...)) {    \
        return table.name(args...);                                      \
    }
TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_FORWARD)
TARNIO_FIRST_CALLS(TARNIO_SYSTEM_CALL_FORWARD)
#undef TARNIO_SYSTEM_CALL_FORWARD

}  // namespace sys
}  // namespace TarnIO
