// Optional functions of the system and the C runtime, bound at run time.
//
// Each accessor returns the function's address, bound once per process at its
// first call (a function-local static, so two threads arriving together bind
// it once) and kept; null when the system or the C runtime lacks it, in which
// case the caller takes its fallback.
//
// The library's own tests can replace any of them (null forces the fallback)
// through Override and put them back with RestoreAll. Nothing here is exported.
#pragma once

#include <windows.h>

#include <cstdio>

namespace TarnIO {
namespace bind {

typedef BOOL(WINAPI* GetFileSizeExFn)(HANDLE file, PLARGE_INTEGER size);
typedef BOOL(WINAPI* SetFilePointerExFn)(HANDLE file, LARGE_INTEGER distance,
                                         PLARGE_INTEGER newPosition, DWORD method);
// ntdll's NtQueryInformationFile; the I/O status block is two pointer-sized words.
typedef LONG(NTAPI* NtQueryInformationFileFn)(HANDLE file, void* ioStatusBlock, void* information,
                                              ULONG length, int informationClass);
typedef int(__cdecl* WsopenFn)(const wchar_t* path, int oflag, int share, ...);
typedef FILE*(__cdecl* WfopenFn)(const wchar_t* path, const wchar_t* mode);
typedef FILE*(__cdecl* WfsopenFn)(const wchar_t* path, const wchar_t* mode, int share);

// From "kernel32".
GetFileSizeExFn GetFileSizeEx();
SetFilePointerExFn SetFilePointerEx();
// From "ntdll".
NtQueryInformationFileFn NtQueryInformationFile();
// From the C runtime module (GetRuntimeModule), on NT-family systems only.
WsopenFn Wsopen();
WfopenFn Wfopen();
WfsopenFn Wfsopen();

// Test seam: from now on the accessor of that type returns fn (null: absent).
void Override(GetFileSizeExFn fn);
void Override(SetFilePointerExFn fn);
void Override(NtQueryInformationFileFn fn);
void Override(WsopenFn fn);
void Override(WfopenFn fn);
void Override(WfsopenFn fn);
// Every accessor returns its bound address again.
void RestoreAll();

}  // namespace bind
}  // namespace TarnIO
