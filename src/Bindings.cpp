#include "Bindings.h"

#include "Platform.h"

#include <TarnUtil/Module.h>

#include <cerrno>
#include <cstdarg>

namespace TarnIO {
namespace bind {

namespace {

// One module object per system DLL, shared by all its bindings, built at first
// use and destroyed when the library is unloaded.
TarnUtil::Module& Kernel32() {
    static TarnUtil::Module module("kernel32", TarnUtil::Module::accessLoad, 0);
    return module;
}

TarnUtil::Module& Ntdll() {
    static TarnUtil::Module module("ntdll", TarnUtil::Module::accessLoad, 0);
    return module;
}

template <class Fn>
Fn BindFrom(TarnUtil::Module& module, const char* name) {
    return reinterpret_cast<Fn>(module.BindSymbol(name));
}

// The C runtime's wide open functions are used only on NT-family systems.
template <class Fn>
Fn BindFromRuntime(const char* name) {
    return detail::IsWindowsNT() ? BindFrom<Fn>(detail::GetRuntimeModule(), name) : nullptr;
}

const LONG statusNotImplemented = static_cast<LONG>(0xC0000002);

}  // namespace

GetFileSizeExFn BindGetFileSizeEx() {
    static const GetFileSizeExFn bound = BindFrom<GetFileSizeExFn>(Kernel32(), "GetFileSizeEx");
    return bound;
}

SetFilePointerExFn BindSetFilePointerEx() {
    static const SetFilePointerExFn bound =
        BindFrom<SetFilePointerExFn>(Kernel32(), "SetFilePointerEx");
    return bound;
}

NtQueryInformationFileFn BindNtQueryInformationFile() {
    static const NtQueryInformationFileFn bound =
        BindFrom<NtQueryInformationFileFn>(Ntdll(), "NtQueryInformationFile");
    return bound;
}

WsopenFn BindWsopen() {
    static const WsopenFn bound = BindFromRuntime<WsopenFn>("_wsopen");
    return bound;
}

WfopenFn BindWfopen() {
    static const WfopenFn bound = BindFromRuntime<WfopenFn>("_wfopen");
    return bound;
}

WfsopenFn BindWfsopen() {
    static const WfsopenFn bound = BindFromRuntime<WfsopenFn>("_wfsopen");
    return bound;
}

BOOL WINAPI CallGetFileSizeEx(HANDLE file, PLARGE_INTEGER size) {
    if (GetFileSizeExFn fn = BindGetFileSizeEx())
        return fn(file, size);
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

BOOL WINAPI CallSetFilePointerEx(HANDLE file, LARGE_INTEGER distance, PLARGE_INTEGER newPosition,
                                 DWORD method) {
    if (SetFilePointerExFn fn = BindSetFilePointerEx())
        return fn(file, distance, newPosition, method);
    ::SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return FALSE;
}

LONG NTAPI CallNtQueryInformationFile(HANDLE file, void* ioStatusBlock, void* information,
                                      ULONG length, int informationClass) {
    if (NtQueryInformationFileFn fn = BindNtQueryInformationFile())
        return fn(file, ioStatusBlock, information, length, informationClass);
    return statusNotImplemented;
}

int __cdecl CallWsopen(const wchar_t* path, int oflag, int share, ...) {
    // The permission mode is the one optional argument; the library always
    // passes it.
    va_list rest;
    va_start(rest, share);
    const int pmode = va_arg(rest, int);
    va_end(rest);
    if (WsopenFn fn = BindWsopen())
        return fn(path, oflag, share, pmode);
    errno = ENOSYS;
    return -1;
}

FILE* __cdecl CallWfopen(const wchar_t* path, const wchar_t* mode) {
    if (WfopenFn fn = BindWfopen())
        return fn(path, mode);
    errno = ENOSYS;
    return nullptr;
}

FILE* __cdecl CallWfsopen(const wchar_t* path, const wchar_t* mode, int share) {
    if (WfsopenFn fn = BindWfsopen())
        return fn(path, mode, share);
    errno = ENOSYS;
    return nullptr;
}

}  // namespace bind
}  // namespace TarnIO
