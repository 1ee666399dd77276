// Links as a system that has them reports them, for Wine, which cannot make any: a real
// directory named "junction" is a junction, a file named "link" a symbolic link, to their
// search data, their attributes and the information of a handle opened on them; a directory
// named "swapped" turns into a junction between its listing and its opening (only a handle
// shows it). Removing one moves it whole to <home>\<n>, as removing a real link leaves what
// it points to alone: whatever was inside must be found there afterwards, with the
// attributes it had. Each fake calls the real function.
#pragma once

#include "Sys.h"

#include <set>
#include <string>

namespace FakeLinks {

namespace sys = TarnIO::sys;

struct State { std::wstring home; std::set<HANDLE> handles; int moved = 0; };
inline State& Current() { static State state; return state; }

inline bool Named(const std::wstring& path, const std::wstring& name) {
    const std::size_t at = path.size() - std::min(path.size(), name.size());
    return path.compare(at, name.size(), name) == 0 && (at == 0 || path[at - 1] == L'\\');
}
inline bool Listed(const std::wstring& path) {
    return Named(path, L"junction") || Named(path, L"link");
}
inline bool Opened(const std::wstring& path) { return Listed(path) || Named(path, L"swapped"); }

inline void Dress(WIN32_FIND_DATAW* data) {
    if (Listed(data->cFileName))
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT,
            data->dwReserved0 = Named(data->cFileName, L"link") ? 0xA000000C : 0xA0000003;
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
inline HANDLE WINAPI Open(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES security,
                          DWORD disposition, DWORD flags, HANDLE templateFile) {
    const HANDLE file = sys::realTable.CreateFileW(name, access, share, security, disposition,
                                                    flags, templateFile);
    if (file != INVALID_HANDLE_VALUE && Opened(name))
        Current().handles.insert(file);
    return file;
}
inline BOOL WINAPI Close(HANDLE handle) {
    Current().handles.erase(handle);
    return sys::realTable.CloseHandle(handle);
}
inline BOOL WINAPI Information(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    const BOOL ok = sys::realTable.GetFileInformationByHandle(file, info);
    const bool dress = ok && Current().handles.count(file);
    info->dwFileAttributes |= dress ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    return ok;
}
inline BOOL Move(LPCWSTR name) {
    return ::MoveFileW(name, (Current().home + L"\\" + std::to_wstring(++Current().moved)).c_str());
}
inline BOOL WINAPI RemoveDirectory(LPCWSTR name) {
    return Opened(name) ? Move(name) : sys::realTable.RemoveDirectoryW(name);
}
inline BOOL WINAPI DeleteFile(LPCWSTR name) {
    return Opened(name) ? Move(name) : sys::realTable.DeleteFileW(name);
}

// Dresses table's entries; removed junctions go to home.
inline void Install(sys::Table& table, const std::wstring& home) {
    Current() = State();
    Current().home = home;
    table.GetFileAttributesW = Attributes, table.FindFirstFileW = FindFirst;
    table.FindNextFileW = FindNext, table.CreateFileW = Open, table.CloseHandle = Close;
    table.GetFileInformationByHandle = Information, table.RemoveDirectoryW = RemoveDirectory;
    table.DeleteFileW = DeleteFile;
}

}  // namespace FakeLinks
