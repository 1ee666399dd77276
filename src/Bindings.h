// Optional functions of the system and the C runtime, bound at run time.
//
// Each is bound once per process at its first use (a function-local static,
// so two threads arriving together bind it once) and kept; null when the
// system or the C runtime lacks it, in which case the caller takes its
// fallback:
//
//     if (bind::GetFileSizeExFn getFileSizeEx = bind::GetFileSizeEx()) ...
//
// The entries live in the system call table (Sys.h) like every other entry
// point, so the library's own tests replace them there, null standing for an
// absent function. Nothing here is exported.
#pragma once

#include "Sys.h"

namespace TarnIO {
namespace bind {

using sys::GetFileSizeExFn;
using sys::NtQueryInformationFileFn;
using sys::SetFilePointerExFn;
using sys::WfopenFn;
using sys::WfsopenFn;
using sys::WsopenFn;
typedef errno_t(__cdecl* FopenSFn)(FILE** stream, const char* path, const char* mode);

// The one-time bindings. From "kernel32":
GetFileSizeExFn BindGetFileSizeEx();
SetFilePointerExFn BindSetFilePointerEx();
// From "ntdll":
NtQueryInformationFileFn BindNtQueryInformationFile();
// From the C runtime module (GetRuntimeModule), on NT-family systems only:
WsopenFn BindWsopen();
WfopenFn BindWfopen();
WfsopenFn BindWfsopen();

// The real table's entries: each calls its one-time binding, and when the
// function is absent fails as the system would for a missing entry point
// (ERROR_CALL_NOT_IMPLEMENTED, STATUS_NOT_IMPLEMENTED, ENOSYS). Tests that
// wrap an entry call these; the library never does.
BOOL WINAPI CallGetFileSizeEx(HANDLE file, PLARGE_INTEGER size);
BOOL WINAPI CallSetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                                 DWORD method);
LONG NTAPI CallNtQueryInformationFile(HANDLE file, void* ioStatusBlock, void* information,
                                      ULONG length, int informationClass);
int __cdecl CallWsopen(const wchar_t* path, int oflag, int share, ...);
FILE* __cdecl CallWfopen(const wchar_t* path, const wchar_t* mode);
FILE* __cdecl CallWfsopen(const wchar_t* path, const wchar_t* mode, int share);

// The first-call entries of the real table (TARNIO_FIRST_CALLS in Sys.h).
// Each binds its function once per process, at its first call, and from then
// on calls it directly. Where kernel32 lacks a wide function, the call fails
// with the function's failure value and ERROR_CALL_NOT_IMPLEMENTED (120;
// ERROR_PROC_NOT_FOUND, 127, for GetFileAttributesW). Where the C runtime
// lacks fopen_s, OpenSecure does its work.
HANDLE WINAPI CallCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile);
DWORD WINAPI CallGetFileAttributesW(LPCWSTR path);
HANDLE WINAPI CallFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data);
BOOL WINAPI CallFindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data);
BOOL WINAPI CallGetBinaryTypeW(LPCWSTR path, LPDWORD type);
BOOL WINAPI CallMoveFileW(LPCWSTR from, LPCWSTR to);
DWORD WINAPI CallGetCurrentDirectoryW(DWORD size, LPWSTR buffer);
DWORD WINAPI CallGetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size);
errno_t __cdecl CallFopenS(FILE** stream, const char* path, const char* mode);
BOOL WINAPI CallCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security);
BOOL WINAPI CallRemoveDirectoryW(LPCWSTR path);
BOOL WINAPI CallDeleteFileW(LPCWSTR path);
BOOL WINAPI CallSetFileAttributesW(LPCWSTR path, DWORD attributes);
BOOL WINAPI CallMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);
DWORD WINAPI CallGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart);

// fopen_s of the C runtime (GetRuntimeModule), or null.
FopenSFn BindFopenS();
// What fopen_s does, for a C runtime without it: _fsopen, sharing reads with
// others when the stream only reads and nothing otherwise, as fopen_s does.
// Returns 0, or the errno of the failure.
errno_t __cdecl OpenSecure(FILE** stream, const char* path, const char* mode);

// The function to call, or null when absent: the one-time binding while the
// table holds the real entry, otherwise whatever a test put there. The check
// is a load and a compare, beside a system call.
#define TARNIO_BOUND_ACCESSOR(accessor, name, type)                               \
    inline type accessor() {                                                      \
        const type entry = sys::table.name;                                       \
        return entry == sys::realTable.name ? Bind##accessor() : entry;           \
    }
TARNIO_BOUND_ACCESSOR(GetFileSizeEx, GetFileSizeEx, GetFileSizeExFn)
TARNIO_BOUND_ACCESSOR(SetFilePointerEx, SetFilePointerEx, SetFilePointerExFn)
TARNIO_BOUND_ACCESSOR(NtQueryInformationFile, NtQueryInformationFile, NtQueryInformationFileFn)
TARNIO_BOUND_ACCESSOR(Wsopen, _wsopen, WsopenFn)
TARNIO_BOUND_ACCESSOR(Wfopen, _wfopen, WfopenFn)
TARNIO_BOUND_ACCESSOR(Wfsopen, _wfsopen, WfsopenFn)
#undef TARNIO_BOUND_ACCESSOR

}  // namespace bind
}  // namespace TarnIO
