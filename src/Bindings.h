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
