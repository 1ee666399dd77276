// Path: the Windows syntax of the text (drives, UNC shares, roots, splitting
// and joining). Text work only; nothing here touches the file system.
//
// Every operation that changes the text of a path either empties its narrow
// form or takes over another path whole, text and narrow form together.
#include "TarnIO/Path.h"

namespace TarnIO {

namespace {

const wchar_t backslash = Path::separator;

bool IsAsciiLetter(wchar_t c) {
    return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z');
}

bool TextHasDriveLetter(const std::wstring& t) {
    return t.size() >= 2 && t[1] == L':' && IsAsciiLetter(t[0]);
}

bool TextIsAbsolute(const std::wstring& t) {
    if (TextHasDriveLetter(t))
        return t.size() >= 3 && t[2] == backslash;
    return !t.empty() && t[0] == backslash;
}

// Where Split cuts t: the directory part is t[0, directoryLength) and the
// base name t[baseStart, end). The directory part never reaches past the
// base name's start, so both are plain substrings of t.
struct SplitPoints {
    std::size_t directoryLength;
    std::size_t baseStart;
};

SplitPoints FindSplit(const std::wstring& t) {
    std::size_t sep = t.rfind(backslash);
    if (sep == std::wstring::npos) {
        if (TextHasDriveLetter(t)) {
            // "C:name" and "C:a:b": the base name follows the last colon and the
            // directory part keeps that colon, so "C:name" has the parent "C:".
            std::size_t colon = t.rfind(L':');
            return SplitPoints{colon + 1, colon + 1};
        }
        return SplitPoints{0, 0};
    }
    std::size_t cut = sep;
    while (cut > 0 && t[cut - 1] == backslash)
        --cut;
    if (cut == 2 && TextHasDriveLetter(t) && t.size() > 2 && t[2] == backslash)
        cut = 3;  // the drive root "C:\" keeps its backslash
    else if (cut == 0 && !t.empty() && t[0] == backslash)
        cut = 1;  // so does the root "\"
    return SplitPoints{cut, sep + 1};
}

}  // namespace

bool Path::HasDriveLetter() const {
    return TextHasDriveLetter(path);
}

std::wstring Path::GetDriveName() const {
    if (!HasDriveLetter())
        return std::wstring();
    return path.substr(0, 2);
}

Path Path::GetDrivePath() const {
    Path result;
    if (HasDriveLetter())
        result.path.assign(path, 0, 2);
    return result;
}

bool Path::IsUnc(unsigned* mountPointEnd) const {
    const std::size_t length = path.size();
    if (length < 5 || path[0] != backslash || path[1] != backslash)
        return false;
    // The server name runs from position 2 to the next backslash; it must be
    // non-empty and something must follow its backslash.
    std::size_t serverEnd = path.find(backslash, 2);
    if (serverEnd == std::wstring::npos || serverEnd == 2 || serverEnd == length - 1)
        return false;
    std::size_t end = path.find(backslash, serverEnd + 1);
    if (end == std::wstring::npos)
        end = length;
    if (mountPointEnd)
        *mountPointEnd = static_cast<unsigned>(end);
    return true;
}

std::wstring Path::GetUncMountPointName() const {
    unsigned end = 0;
    if (!IsUnc(&end))
        return std::wstring();
    return path.substr(0, end);
}

Path Path::GetUncMountPoint() const {
    Path result;
    unsigned end = 0;
    if (IsUnc(&end))
        result.path.assign(path, 0, end);
    return result;
}

std::wstring Path::GetRootName() const {
    if (HasDriveLetter())
        return path.substr(0, 2);
    return GetUncMountPointName();
}

Path Path::GetRoot() const {
    if (HasDriveLetter())
        return GetDrivePath();
    return GetUncMountPoint();
}

bool Path::IsAbsolute() const {
    return TextIsAbsolute(path);
}

void Path::Split(std::wstring* directory, std::wstring* base) const {
    const SplitPoints points = FindSplit(path);
    // Both parts are taken from path, so the base name is written first when
    // the directory output would overwrite the text it comes from.
    const bool directoryIsText = directory == &path;
    if (directory && !directoryIsText)
        directory->assign(path, 0, points.directoryLength);
    if (base)
        base->assign(path, points.baseStart, std::wstring::npos);
    if (directoryIsText && base != directory)
        directory->resize(points.directoryLength);
    if (directoryIsText || base == &path)
        narrowPath.clear();  // the text changed under the narrow form
}

void Path::Split(Path* directory, Path* base) const {
    const SplitPoints points = FindSplit(path);
    // Either output may be this very path. Its text is cut last, and only to
    // a substring of itself, so no copy of the text is needed: the base name
    // goes out first when this path is the directory output.
    Path* self = const_cast<Path*>(this);
    if (directory == self) {
        if (base == self) {
            // Written directory first, then base: the base name wins.
            self->path.erase(0, points.baseStart);
        } else {
            if (base) {
                base->path.assign(path, points.baseStart, std::wstring::npos);
                base->narrowPath.clear();
            }
            self->path.resize(points.directoryLength);
        }
        self->narrowPath.clear();
        return;
    }
    if (directory) {
        directory->path.assign(path, 0, points.directoryLength);
        directory->narrowPath.clear();
    }
    if (base) {
        if (base == self)
            self->path.erase(0, points.baseStart);
        else
            base->path.assign(path, points.baseStart, std::wstring::npos);
        base->narrowPath.clear();
    }
}

std::wstring Path::GetDirectoryName() const {
    return path.substr(0, FindSplit(path).directoryLength);
}

Path Path::GetDirectory() const {
    Path result;
    result.path.assign(path, 0, FindSplit(path).directoryLength);
    return result;
}

std::wstring Path::GetBaseName() const {
    return path.substr(FindSplit(path).baseStart);
}

Path Path::GetBase() const {
    Path result;
    result.path.assign(path, FindSplit(path).baseStart, std::wstring::npos);
    return result;
}

Path& Path::MakeParent() {
    path.resize(FindSplit(path).directoryLength);
    narrowPath.clear();
    return *this;
}

Path& Path::MakeChild(const Path& child) {
    if (path.empty() || TextIsAbsolute(child.path)) {
        *this = child;  // text and narrow form together
        return *this;
    }
    if (&child == this) {
        // Appending the separator would change the child too.
        const std::wstring copy = child.path;
        return MakeChild(Path(copy));
    }
    const bool needsSeparator = path.back() != backslash;
    path.reserve(path.size() + (needsSeparator ? 1 : 0) + child.path.size());
    if (needsSeparator)
        path += backslash;
    path += child.path;
    narrowPath.clear();
    return *this;
}

Path::Path(const Path& parent, const Path& child) {
    if (parent.path.empty() || TextIsAbsolute(child.path)) {
        path = child.path;
        return;
    }
    const bool needsSeparator = parent.path.back() != backslash;
    path.reserve(parent.path.size() + (needsSeparator ? 1 : 0) + child.path.size());
    path = parent.path;
    if (needsSeparator)
        path += backslash;
    path += child.path;
}

Path Path::Join(const Path& parent, const Path& child) {
    return Path(parent, child);
}

Path Path::Child(const Path& child) const {
    return Path(*this, child);
}

}  // namespace TarnIO
