// Links for Wine, which cannot make any: a directory named "junction" shows as a junction and
// a file named "link" as a symbolic link; a directory named "swapped" turns into a junction
// between its listing and its opening (only a handle shows it). Removing one moves it whole to
// <home>\<n>, as removing a real link leaves what it points to alone.
#pragma once

#include "Sys.h"

#include <string>

namespace FakeLinks {

namespace sys = TarnIO::sys;

inline std::wstring out;  // where removed links go, numbered
inline int moved = 0;

inline std::wstring Name(const std::wstring& path) {  // the last one
    return path.substr(path.find_last_of(L'\\') + 1);  // npos + 1 is 0
}
inline bool Listed(const std::wstring& path) {
    return Name(path) == L"junction" || Name(path) == L"link";
}
inline bool Opened(const std::wstring& path) { return Listed(path) || Name(path) == L"swapped"; }

inline void Dress(WIN32_FIND_DATAW* data) {
    if (Listed(data->cFileName))
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT,
            data->dwReserved0 = Name(data->cFileName) == L"link" ? 0xA000000C : 0xA0000003;
}
inline DWORD WINAPI Attributes(LPCWSTR name) {
    const DWORD attributes = sys::realTable.GetFileAttributesW(name);
    const bool dress = attributes != INVALID_FILE_ATTRIBUTES && Listed(name);
    return attributes | (dress ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}
inline HANDLE WINAPI FindFirst(LPCWSTR pattern, LPWIN32_FIND_DATAW data) {
    const HANDLE find = sys::realTable.FindFirstFileW(pattern, data);
    return find != INVALID_HANDLE_VALUE ? (Dress(data), find) : find;
}
inline BOOL WINAPI FindNext(HANDLE find, LPWIN32_FIND_DATAW data) {
    return sys::realTable.FindNextFileW(find, data) && (Dress(data), true);
}
inline BOOL WINAPI Information(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    wchar_t name[1024] = {};
    const bool link = ::GetFinalPathNameByHandleW(file, name, 1024, 0) < 1024 && Opened(name);
    const BOOL ok = sys::realTable.GetFileInformationByHandle(file, info);
    info->dwFileAttributes |= ok && link ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    return ok;
}
inline BOOL Move(LPCWSTR name) {
    return ::MoveFileW(name, (out + L"\\" + std::to_wstring(++moved)).c_str());
}
inline BOOL WINAPI RemoveDirectory(LPCWSTR name) {
    return Opened(name) ? Move(name) : sys::realTable.RemoveDirectoryW(name);
}
inline BOOL WINAPI DeleteFile(LPCWSTR name) {
    return Opened(name) ? Move(name) : sys::realTable.DeleteFileW(name);
}

// Dresses table's entries; removed links go to home.
inline void Install(sys::Table& table, const std::wstring& home) {
    out = home, moved = 0;
    table.GetFileAttributesW = Attributes, table.FindFirstFileW = FindFirst;
    table.FindNextFileW = FindNext, table.GetFileInformationByHandle = Information;
    table.RemoveDirectoryW = RemoveDirectory, table.DeleteFileW = DeleteFile;
}

}  // namespace FakeLinks
