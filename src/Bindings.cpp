#include "Bindings.h"

#include "Platform.h"

#include <TarnUtil/Module.h>

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <share.h>

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

// A first-call entry's result where the system lacks its function.
template <class R>
R Absent(R failure, DWORD error = ERROR_CALL_NOT_IMPLEMENTED) {
    ::SetLastError(error);
    return failure;
}

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

FopenSFn BindFopenS() {
    static const FopenSFn bound = BindFrom<FopenSFn>(detail::GetRuntimeModule(), "fopen_s");
    return bound;
}

HANDLE WINAPI CallCreateFileW(LPCWSTR path, DWORD access, DWORD share,
                              LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                              HANDLE templateFile) {
    static const auto bound = BindFrom<decltype(&::CreateFileW)>(Kernel32(), "CreateFileW");
    return bound ? bound(path, access, share, security, disposition, flags, templateFile)
                 : Absent(INVALID_HANDLE_VALUE);
}

DWORD WINAPI CallGetFileAttributesW(LPCWSTR path) {
    static const auto bound =
        BindFrom<decltype(&::GetFileAttributesW)>(Kernel32(), "GetFileAttributesW");
    return bound ? bound(path) : Absent(INVALID_FILE_ATTRIBUTES, ERROR_PROC_NOT_FOUND);
}

HANDLE WINAPI CallFindFirstFileW(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    static const auto bound = BindFrom<decltype(&::FindFirstFileW)>(Kernel32(), "FindFirstFileW");
    return bound ? bound(pattern, data) : Absent(INVALID_HANDLE_VALUE);
}

BOOL WINAPI CallFindNextFileW(HANDLE find, LPWIN32_FIND_DATAW data) {
    static const auto bound = BindFrom<decltype(&::FindNextFileW)>(Kernel32(), "FindNextFileW");
    return bound ? bound(find, data) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallGetBinaryTypeW(LPCWSTR path, LPDWORD type) {
    static const auto bound = BindFrom<decltype(&::GetBinaryTypeW)>(Kernel32(), "GetBinaryTypeW");
    return bound ? bound(path, type) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallMoveFileW(LPCWSTR from, LPCWSTR to) {
    static const auto bound = BindFrom<decltype(&::MoveFileW)>(Kernel32(), "MoveFileW");
    return bound ? bound(from, to) : Absent<BOOL>(FALSE);
}

DWORD WINAPI CallGetCurrentDirectoryW(DWORD size, LPWSTR buffer) {
    static const auto bound =
        BindFrom<decltype(&::GetCurrentDirectoryW)>(Kernel32(), "GetCurrentDirectoryW");
    return bound ? bound(size, buffer) : Absent<DWORD>(0);
}

DWORD WINAPI CallGetEnvironmentVariableW(LPCWSTR name, LPWSTR buffer, DWORD size) {
    static const auto bound =
        BindFrom<decltype(&::GetEnvironmentVariableW)>(Kernel32(), "GetEnvironmentVariableW");
    return bound ? bound(name, buffer, size) : Absent<DWORD>(0);
}

BOOL WINAPI CallCreateDirectoryW(LPCWSTR path, LPSECURITY_ATTRIBUTES security) {
    static const auto bound =
        BindFrom<decltype(&::CreateDirectoryW)>(Kernel32(), "CreateDirectoryW");
    return bound ? bound(path, security) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallRemoveDirectoryW(LPCWSTR path) {
    static const auto bound =
        BindFrom<decltype(&::RemoveDirectoryW)>(Kernel32(), "RemoveDirectoryW");
    return bound ? bound(path) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallDeleteFileW(LPCWSTR path) {
    static const auto bound = BindFrom<decltype(&::DeleteFileW)>(Kernel32(), "DeleteFileW");
    return bound ? bound(path) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallSetFileAttributesW(LPCWSTR path, DWORD attributes) {
    static const auto bound =
        BindFrom<decltype(&::SetFileAttributesW)>(Kernel32(), "SetFileAttributesW");
    return bound ? bound(path, attributes) : Absent<BOOL>(FALSE);
}

BOOL WINAPI CallMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    static const auto bound = BindFrom<decltype(&::MoveFileExW)>(Kernel32(), "MoveFileExW");
    return bound ? bound(from, to, flags) : Absent<BOOL>(FALSE);
}

DWORD WINAPI CallGetFullPathNameW(LPCWSTR path, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
    static const auto bound =
        BindFrom<decltype(&::GetFullPathNameW)>(Kernel32(), "GetFullPathNameW");
    return bound ? bound(path, size, buffer, filePart) : Absent<DWORD>(0);
}

errno_t __cdecl CallFopenS(FILE** stream, const char* path, const char* mode) {
    const FopenSFn bound = BindFopenS();
    return bound ? bound(stream, path, mode) : OpenSecure(stream, path, mode);
}

errno_t __cdecl OpenSecure(FILE** stream, const char* path, const char* mode) {
    // fopen_s opens with _SH_SECURE, which older C runtimes do not know: it
    // shares reading when the stream only reads ("r" without "+") and denies
    // everything otherwise.
    const bool readOnly = mode[0] == 'r' && !std::strchr(mode, '+');
    errno = 0;
    *stream = ::_fsopen(path, mode, readOnly ? _SH_DENYWR : _SH_DENYRW);
    return *stream ? 0 : errno;
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
