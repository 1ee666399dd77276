// Path: making directories and removing files, directories and trees. The
// wide text goes to the system as it stands; what a failure concerns is named
// by the path detail of the error.
#include "TarnIO/Path.h"

#include "TarnIO/FileHandle.h"

#include "FullPathName.h"
#include "ScopedFind.h"
#include "Sys.h"
#include "Throw.h"

#include <algorithm>
#include <cwchar>
#include <memory>
#include <utility>
#include <vector>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\Path";
const wchar_t backslash = Path::separator;

bool IsMissing(DWORD error) {
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

void VerifyNotEmpty(const Path& path, const TarnError::Context& context) {
    if (path.IsEmpty())
        detail::ThrowInvalidArgument(context, "path");
}

// The end of the n names that begin at from ("srv\shr" in "\\srv\shr\x"), or
// the end of the text when it has fewer.
std::size_t NamesEnd(const std::wstring& text, std::size_t from, int n) {
    for (std::size_t end = from;; ++end) {
        end = text.find(backslash, end);
        if (end == std::wstring::npos || --n == 0)
            return end == std::wstring::npos ? text.size() : end;
    }
}

bool StartsWith(const std::wstring& text, const wchar_t* prefix) {
    return text.compare(0, std::wcslen(prefix), prefix) == 0;
}

// The length of the root, without its backslash, that no directory
// operation makes or removes: "C:" of "C:\x" and "C:x", "\\srv\shr",
// "\\?\C:", "\\?\UNC\srv\shr", "\\.\pipe"; 0 for "\x" and relative paths.
std::size_t RootLength(const std::wstring& text) {
    if (StartsWith(text, L"\\\\?\\UNC\\") || StartsWith(text, L"\\\\?\\unc\\"))
        return NamesEnd(text, 8, 2);
    if (StartsWith(text, L"\\\\?\\") || StartsWith(text, L"\\\\.\\"))
        return NamesEnd(text, 4, 1);
    if (StartsWith(text, L"\\\\"))
        return NamesEnd(text, 2, 2);
    return text.size() >= 2 && text[1] == L':' ? 2 : 0;
}

// The text without the backslashes that end it; a root keeps none ("C:\"
// gives "C:"), "\" stays itself.
std::wstring WithoutTrailingBackslashes(std::wstring text) {
    const std::size_t keep = std::max<std::size_t>(RootLength(text), 1);
    while (text.size() > keep && text.back() == backslash)
        text.pop_back();
    return text;
}

bool IsRoot(const std::wstring& text) {
    const std::wstring trimmed = WithoutTrailingBackslashes(text);
    return trimmed.size() <= RootLength(trimmed) || trimmed == L"\\";
}

// The directory that holds text's last name, or empty when that is a root or
// text names no directory above it.
std::wstring ParentOf(const std::wstring& text) {
    const std::size_t cut = text.rfind(backslash);
    if (cut == std::wstring::npos)
        return std::wstring();
    std::wstring parent = WithoutTrailingBackslashes(text.substr(0, cut));
    return parent.size() > RootLength(text) ? parent : std::wstring();
}

enum Made { made, existed, failed };

// CreateDirectoryW, telling a directory that stands there already from a
// failure (whose error is left in error).
Made MakeOne(const std::wstring& directory, DWORD& error) {
    if (sys::CreateDirectoryW(directory.c_str(), nullptr))
        return made;
    error = ::GetLastError();
    const DWORD attributes = sys::GetFileAttributesW(directory.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)
               ? existed
               : failed;
}

// --- Tree removal --------------------------------------------------------

const DWORD shareAllButDelete = FILE_SHARE_READ | FILE_SHARE_WRITE;

bool IsLink(DWORD attributes) { return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0; }
bool IsPlainDirectory(DWORD attributes) {
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) && !IsLink(attributes);
}

// The first failure of a removal that goes on past it.
struct Failure {
    DWORD error = NO_ERROR;
    std::wstring path;
    // Always false, for the caller to return.
    bool Record(DWORD newError, const std::wstring& at) {
        if (error == NO_ERROR)
            error = newError, path = at;
        return false;
    }
};

// A directory being emptied: held open without sharing deletion, so that it
// cannot be renamed away and a link put in its place, with the entries its
// listing found still to remove.
struct Directory {
    std::wstring path;
    DWORD attributes = 0;
    FileHandle hold;
    std::vector<std::pair<std::wstring, DWORD>> entries;
    bool emptied = true;  // every entry removed so far
};

// Removes one entry that is not a directory to descend into: a file, or a
// link (as a link), or a directory emptied already. A read-only attribute is
// cleared first, but never a link's: the change might reach its target.
// hold, when given, is closed just before the removal.
bool RemoveEntry(const std::wstring& path, DWORD attributes, Failure& failure,
                 FileHandle* hold = nullptr) {
    if ((attributes & FILE_ATTRIBUTE_READONLY) && !IsLink(attributes) &&
        !sys::SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
        return failure.Record(::GetLastError(), path);
    if (hold)
        hold->Close();
    const BOOL removed = (attributes & FILE_ATTRIBUTE_DIRECTORY)
                             ? sys::RemoveDirectoryW(path.c_str())
                             : sys::DeleteFileW(path.c_str());
    return removed || failure.Record(::GetLastError(), path);
}

// Opens a directory listed (or given) as a plain one, looks at it again
// through the handle, and either pushes it with its entries onto open or,
// when it turned into a link meanwhile, removes it as one. false on failure.
bool Enter(std::vector<std::unique_ptr<Directory>>& open, const std::wstring& path,
           Failure& failure) {
    std::unique_ptr<Directory> directory(new Directory);
    directory->path = path;
    // FILE_FLAG_OPEN_REPARSE_POINT opens a link itself, never its target.
    if (!directory->hold.Open(path.c_str(), FILE_READ_ATTRIBUTES, shareAllButDelete, nullptr,
                              OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT))
        return failure.Record(::GetLastError(), path);
    BY_HANDLE_FILE_INFORMATION info;
    if (!sys::GetFileInformationByHandle(directory->hold.Raw(), &info))
        return failure.Record(::GetLastError(), path);
    directory->attributes = info.dwFileAttributes;
    if (!IsPlainDirectory(info.dwFileAttributes))
        return RemoveEntry(path, info.dwFileAttributes, failure, &directory->hold);

    // The whole listing is taken before anything in it is removed, and the
    // search is closed before going down: one search open at a time.
    WIN32_FIND_DATAW data;
    detail::ScopedFind find(sys::FindFirstFileW((path + L"\\*").c_str(), &data));
    if (!find.IsValid()) {
        directory->emptied = failure.Record(::GetLastError(), path);
    } else {
        do {
            const std::wstring name = data.cFileName;
            if (name != L"." && name != L"..")
                directory->entries.emplace_back(path + backslash + name, data.dwFileAttributes);
        } while (sys::FindNextFileW(find.Get(), &data));
        const DWORD error = ::GetLastError();
        if (error != ERROR_NO_MORE_FILES)
            directory->emptied = failure.Record(error, path);
    }
    open.push_back(std::move(directory));
    return true;
}

// Depth-first without recursion, so that no depth of tree can exhaust the
// stack: the directories on the way down are held in open.
bool RemoveTreeAt(const std::wstring& root, DWORD attributes, Failure& failure) {
    if (!IsPlainDirectory(attributes))
        return RemoveEntry(root, attributes, failure);
    std::vector<std::unique_ptr<Directory>> open;
    if (!Enter(open, root, failure))
        return false;
    if (open.empty())  // it was a link by the time it was opened, and is gone
        return true;
    for (;;) {
        Directory& top = *open.back();
        if (top.entries.empty()) {
            // A directory with an entry left cannot go, nor can any above it.
            const bool removed =
                top.emptied && RemoveEntry(top.path, top.attributes, failure, &top.hold);
            open.pop_back();
            if (open.empty())
                return removed;
            open.back()->emptied = open.back()->emptied && removed;
            continue;
        }
        const std::pair<std::wstring, DWORD> entry = std::move(top.entries.back());
        top.entries.pop_back();
        const bool removed = IsPlainDirectory(entry.second)
                                 ? Enter(open, entry.first, failure)
                                 : RemoveEntry(entry.first, entry.second, failure);
        top.emptied = top.emptied && removed;  // top stays valid: open holds pointers
    }
}

}  // namespace

bool Path::CreateDir() const {
    VerifyNotEmpty(*this, TARNIO_HERE("TarnIO::Path::CreateDir"));
    DWORD error = NO_ERROR;
    const Made result = MakeOne(path, error);
    if (result == failed)
        detail::ThrowWin32Path<Error>("unable to create directory",
                                      TARNIO_HERE("TarnIO::Path::CreateDir"), error, *this);
    return result == made;
}

bool Path::CreateDirs() const {
    VerifyNotEmpty(*this, TARNIO_HERE("TarnIO::Path::CreateDirs"));
    // Up from the path while the parent is missing, then down again making
    // each: one call when the parent exists.
    std::vector<std::wstring> pending{WithoutTrailingBackslashes(path)};
    DWORD error = NO_ERROR;
    Made result = MakeOne(pending.back(), error);
    while (result == failed && error == ERROR_PATH_NOT_FOUND) {
        std::wstring parent = ParentOf(pending.back());
        if (parent.empty())
            break;
        pending.push_back(std::move(parent));
        result = MakeOne(pending.back(), error);
    }
    while (result != failed && pending.size() > 1) {
        pending.pop_back();
        result = MakeOne(pending.back(), error);
    }
    if (result == failed)
        detail::ThrowWin32Path<Error>("unable to create directory",
                                      TARNIO_HERE("TarnIO::Path::CreateDirs"), error,
                                      Path(pending.back()));
    return result == made;
}

bool Path::RemoveFile() const {
    VerifyNotEmpty(*this, TARNIO_HERE("TarnIO::Path::RemoveFile"));
    if (sys::DeleteFileW(path.c_str()))
        return true;
    const DWORD error = ::GetLastError();
    if (IsMissing(error))
        return false;
    detail::ThrowWin32Path<Error>("unable to remove file", TARNIO_HERE("TarnIO::Path::RemoveFile"),
                                  error, *this);
}

bool Path::RemoveDir() const {
    VerifyNotEmpty(*this, TARNIO_HERE("TarnIO::Path::RemoveDir"));
    if (sys::RemoveDirectoryW(path.c_str()))
        return true;
    const DWORD error = ::GetLastError();
    if (IsMissing(error))
        return false;
    detail::ThrowWin32Path<Error>("unable to remove directory",
                                  TARNIO_HERE("TarnIO::Path::RemoveDir"), error, *this);
}

bool Path::RemoveTree() const {
    VerifyNotEmpty(*this, TARNIO_HERE("TarnIO::Path::RemoveTree"));
    // A root is refused however it is spelt: "C:\dir\.." and "\" are roots
    // too, and "C:" is the current directory of C:, the root when it is.
    Failure failure;
    std::wstring full;
    if (const DWORD error = detail::FullPathName(path, full))
        detail::ThrowWin32Path<Error>("unable to remove directory tree",
                                      TARNIO_HERE("TarnIO::Path::RemoveTree"), error, *this);
    if (IsRoot(path) || IsRoot(full))
        detail::ThrowInvalidArgument(TARNIO_HERE("TarnIO::Path::RemoveTree"), "path");
    const std::wstring root = WithoutTrailingBackslashes(path);
    const DWORD attributes = sys::GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = ::GetLastError();
        if (IsMissing(error))
            return false;
        failure.Record(error, root);
    } else if (RemoveTreeAt(root, attributes, failure)) {
        return true;
    }
    detail::ThrowWin32Path<Error>("unable to remove directory tree",
                                  TARNIO_HERE("TarnIO::Path::RemoveTree"), failure.error,
                                  Path(failure.path));
}

}  // namespace TarnIO
