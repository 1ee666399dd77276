// Path: a Windows path as a value.
//
// A Path holds wide (UTF-16) text exactly as the caller gave it: nothing is
// validated, normalized or made absolute at construction. The text operations
// (syntax, validity, normalization) are based purely on string manipulation
// and knowledge of Windows path conventions; they never consult the file
// system. Only the operations under "File-system queries" and "Making and
// removing" touch it, and MakeAbsolute, MakeExtended and
// ExpandEnvironmentVariables read the process's current directory and
// environment.
//
// The backslash is the only separator: a forward slash is an ordinary
// character of a name. Comparison ignores case, as the file system does.
//
// A Path can hand out a narrow (ANSI code page) form of its text, computed on
// first demand and cached until the text changes. A path built from narrow
// text keeps that text, byte for byte, as its narrow form. Because const
// operations fill that cache, one Path must not be used from two threads at
// once, even for reading.
#pragma once

#include "TarnIO/Export.h"

#include <TarnUtil/Time.h>

#include <windows.h>

#include <string>
#include <utility>

namespace TarnIO {

class PathStats;

class TARNIO_API Path {
public:
    static constexpr wchar_t separator = L'\\';
    static constexpr wchar_t listSeparator = L';';
    static constexpr bool isCaseSensitive = false;

    // The bits of Access. Other bits are ignored.
    enum AccessMask {
        accessExists = 0,
        accessWrite = 0x2,
        accessRead = 0x4,
    };

    // --- Value and text -------------------------------------------------

    Path() {}
    // The copy computes its narrow form anew on first demand.
    Path(const Path& other) : path(other.path) {}
    // Takes over both the text and its narrow form; other is left empty.
    Path(Path&& other) noexcept
        : path(std::move(other.path)), narrowPath(std::move(other.narrowPath)) {
        other.path.clear();
        other.narrowPath.clear();
    }
    Path(const std::wstring& text) : path(text) {}
    Path(const wchar_t* text) : path(text) {}
    // Widened with the ANSI code page; text stays the narrow form.
    Path(const char* text);
    Path(const std::string& text);
    // Join(parent, child).
    Path(const Path& parent, const Path& child);
    ~Path() {}

    // Takes over other's narrow form as well.
    Path& operator=(const Path& other);
    // Takes over both the text and its narrow form; other is left empty.
    Path& operator=(Path&& other) noexcept {
        path.swap(other.path);
        narrowPath.swap(other.narrowPath);
        other.path.clear();
        other.narrowPath.clear();
        return *this;
    }
    Path& operator=(const std::wstring& text);
    Path& operator=(const wchar_t* text);

    const std::wstring& AsString() const { return path; }
    const wchar_t* AsCStr() const { return path.c_str(); }
    const std::string& AsNarrowString() const;
    const char* AsNarrowCStr() const { return AsNarrowString().c_str(); }
    bool IsEmpty() const { return path.empty(); }
    unsigned GetLength() const;
    void Clear();

    // Negative, zero or positive as this text orders before, equal to or after
    // the other, ignoring case. Texts are compared as they stand: "C:\a\..\b"
    // and "C:\b" differ; normalize both first to compare locations.
    int Compare(const Path& other) const;
    int Compare(const std::wstring& other) const;
    int Compare(const wchar_t* other) const;

    // --- Syntax (text only) ---------------------------------------------

    // "C:..." with an ASCII letter; "C:" alone counts.
    bool HasDriveLetter() const;
    // "C:" of "C:\dir", or empty.
    std::wstring GetDriveName() const;
    Path GetDrivePath() const;

    // "\\server\share" followed by nothing or by a backslash and more. The
    // server name must be non-empty and followed by a backslash and at least
    // one more character; the share name may be empty ("\\srv\\x" has the
    // mount point "\\srv\"). "\\?\C:\x" is read by the same rule (mount point
    // "\\?\C:"). When true and mountPointEnd is not null, the length of the
    // mount point name is stored there; nothing is stored otherwise.
    bool IsUnc(unsigned* mountPointEnd = nullptr) const;
    std::wstring GetUncMountPointName() const;
    Path GetUncMountPoint() const;

    // The drive name ("C:"), else the UNC mount point ("\\srv\shr"), else empty.
    std::wstring GetRootName() const;
    Path GetRoot() const;

    // "C:\..." or "\..." (which includes UNC paths). "C:x", "x" and the empty
    // path are relative.
    bool IsAbsolute() const;

    // Splits at the last backslash into the directory part and the base name.
    // A run of backslashes before the base name is dropped from the directory
    // part, except that a root keeps its backslash: "C:\a" gives "C:\" and
    // "a", "\a" gives "\" and "a". A text without a backslash has an empty
    // directory part, except one with a drive letter: "C:name" splits into
    // "C:" and "name" (the directory part keeps the colon at which it is cut,
    // so the parent of a drive-relative path is its drive), "C:" into "C:"
    // and "". UNC prefixes get no special treatment: "\\srv\shr" gives
    // "\\srv" and "shr". Null outputs are skipped; an output may be this path.
    void Split(std::wstring* directory, std::wstring* base) const;
    void Split(Path* directory, Path* base) const;
    std::wstring GetDirectoryName() const;
    Path GetDirectory() const;
    Path Parent() const { return GetDirectory(); }
    std::wstring GetBaseName() const;
    Path GetBase() const;
    // Replaces the text by its directory part ("C:\" stays "C:\").
    Path& MakeParent();

    // Appends child after one backslash (none added when this path already
    // ends with one). An absolute child ("\x", "D:\x", "\\srv\shr") replaces
    // this path whole, as does any child of an empty path; a drive-relative
    // child ("D:x") is appended like any relative name.
    Path& MakeChild(const Path& child);
    static Path Join(const Path& parent, const Path& child);
    Path Child(const Path& child) const;

    // --- Validity and normalization -------------------------------------

    // Codes below 0x20 and < > : " / \ |. The wildcards * and ? are allowed.
    static bool IsInvalidChar(wchar_t c);
    // Whether name can be one component of a path: 1 to 255 characters, no
    // invalid character, and not a reserved device name (CON, PRN, AUX, NUL,
    // COM1-COM9, LPT1-LPT9, CLOCK$) in any case. Only a whole-name match is
    // reserved: "CON.txt", "COM10" and names shorter than a device name that
    // form its leading part ("C", "CO", "LPT", "CLOCK") are valid.
    static bool IsValidName(const std::wstring& name);
    // '*' or '?' anywhere in the text.
    bool HasWildcards() const;

    // The normal form: the root, then the components with "." dropped, ".."
    // applied, and runs of backslashes folded to one; no trailing backslash
    // except on a bare root ("C:\", "\\srv\shr\"). In an absolute path ".."
    // never climbs above the root; in a relative one leading ".." survive.
    // Names are written out as they stand, so a relative path whose first
    // surviving name looks like a drive ("a\..\C:\x") comes out as that
    // drive's path ("C:\x"); such a name is invalid anyway (IsValidName).
    // Case is never changed. One pass over the text.
    Path Normalize() const;
    Path& MakeNormalized();

    // The process's current directory, or the empty path when the system
    // cannot give it. A directory longer than 260 characters is read with a
    // second call sized as the system asks, so long directories work too.
    static Path GetCurrentDirectoryW();
    // A relative path is joined to the current directory; then the result is
    // normalized. "\x" is absolute already and keeps the current drive out.
    Path Absolute() const;
    Path& MakeAbsolute();

    // The extended-length form, which the system takes up to 32,767
    // characters long: "\\?\" before the full path name of a drive path
    // ("\\?\C:\dir\x"), "\\?\UNC\" in place of the leading "\\" of a UNC
    // path ("\\?\UNC\srv\shr\x"). The full path name is the system's own
    // (GetFullPathNameW), so the result names exactly what the path named
    // before: relative and drive-relative paths are resolved against the
    // current directories, "." and ".." are applied, forward slashes become
    // backslashes and trailing dots and spaces of the last name are dropped,
    // none of which the system does for an extended path. A path already in
    // the "\\?\" or device ("\\.\") namespace, or resolving to a device
    // ("con" gives "\\.\con"), and the empty path are returned as they are.
    // Throws TarnIO::Error "unable to make extended path" (FileErrorCode,
    // Win32 error, this path) when the system cannot resolve the path;
    // MakeExtended's errors name TarnIO::Path::Extended.
    Path Extended() const;
    Path& MakeExtended();

    // Expands %NAME%, then ${NAME}, then $(NAME), one pass per syntax, from
    // the environment of the calling process. A value replaces the whole
    // reference, opening token and closing character included, and the scan
    // goes on after the inserted value, so a value holding references is not
    // expanded again by the same pass and every pass ends. Unknown or empty
    // variables, names holding a NUL and unterminated references stay as
    // they are; nothing is ever reported.
    Path ExpandEnvironmentVariables() const;
    Path& MakeEnvironmentVariablesExpanded();

    // --- File-system queries --------------------------------------------
    // The wide text goes to the system unchanged: a relative path is resolved
    // against the process's current directory.

    // _waccess answers; false on any failure.
    bool Exists() const;
    bool IsReadable() const;
    bool IsWritable() const;
    bool Access(AccessMask mask) const;

    // Fills stats from the file system. false on failure, with the Win32
    // error recorded in stats and its other fields left as they were. The
    // data comes from a FindFirstFileW search for the path (the one call that
    // also reports a reparse tag), so a root ("C:\") or a text ending in a
    // backslash, which no search can name, fails here while IsDirectory
    // answers for it.
    bool Query(PathStats& stats) const;
    // Throw PathError "unable to query path attributes" (with this path and
    // the Win32 error) when the attributes cannot be read. IsFile is true for
    // anything that is neither a directory nor a device: unlike
    // PathStats::IsFile, a symbolic link to a file counts as a file.
    bool IsDirectory() const;
    bool IsFile() const;
    // GetBinaryTypeW recognises the file as an executable image; false on
    // any failure.
    bool IsExecutable() const;

    // Throw what the PathStats accessor of the same name throws.
    unsigned long long GetFileSize() const;
    TarnUtil::Time GetCreateTime() const;
    TarnUtil::Time GetAccessTime() const;
    TarnUtil::Time GetModifyTime() const;

    // MoveFileW without flags: never replaces an existing file; moves
    // directories too. Throws TarnIO::Error "unable to rename file" with the
    // Win32 error.
    static void Rename(const Path& from, const Path& to);

    // --- Making and removing --------------------------------------------
    // The wide text goes to the system as it stands. Each answers true when
    // it made or removed something and false when there was nothing to do;
    // failures throw TarnIO::Error with the FileErrorCode, the Win32 error and
    // the path that failed (ErrorInfo_path), in that order. The empty path
    // throws TarnError::InvalidArgument naming "path".

    // CreateDirectoryW: false when a directory (or a link to one) of that
    // name exists already. A file of that name or a missing parent throws
    // "unable to create directory".
    bool CreateDir() const;
    // The same, making the missing parents first, from the nearest existing
    // one down; roots ("C:\", "\\srv\shr") are never made. An existing file
    // on the way throws with that file's path and ERROR_ALREADY_EXISTS
    // (fileErrorExists); a directory made before a later one failed stays.
    bool CreateDirs() const;
    // DeleteFileW: false when the file, or a directory on the way, is
    // missing. A symbolic link is removed, never its target. A read-only file
    // is refused as the system refuses it (access denied). Throws "unable to
    // remove file".
    bool RemoveFile() const;
    // RemoveDirectoryW of an empty directory, or of a directory link
    // (junction, symbolic link), which goes as a link. false when missing.
    // Throws "unable to remove directory" (ERROR_DIR_NOT_EMPTY, 145, for a
    // directory that is not empty).
    bool RemoveDir() const;
    // Removes this file or directory with everything below it, read-only
    // entries included (their attribute is cleared first), and never follows
    // a reparse point: a junction or symbolic link, inside the tree or given
    // as the path itself, is removed as a link and what it points to is left
    // untouched. Each directory is held open, without sharing deletion, while
    // its entries go, so it cannot be swapped for a link meanwhile, and is
    // looked at again through that handle before anything inside it is
    // removed. A read-only link keeps its attribute (changing attributes by
    // name could reach the link's target), so the system may refuse it.
    // false when the path does not exist. A failure does not stop the
    // removal: everything else that can go goes, the directories above a
    // failed entry stay, and then "unable to remove directory tree" is thrown
    // for the first failure, with the path of the entry that could not be
    // removed (or of the directory that could not be listed). A root ("C:\",
    // "C:", "\", "\\srv\shr", "\\?\C:\"), or a path whose full path name is
    // one ("C:\dir\.."), throws TarnError::InvalidArgument naming "path"
    // before anything is touched.
    bool RemoveTree() const;

private:
    friend class PathTestAccess;

    // The first length characters of text, embedded NULs included.
    Path(const wchar_t* text, unsigned length) : path(text, length) {}

    bool GetAttribs(WIN32_FILE_ATTRIBUTE_DATA& data, unsigned long* reparseTag) const;
    bool GetAttribs(unsigned long& attributes) const;
    unsigned long GetAttribsThrow() const;

    std::wstring path;
    mutable std::string narrowPath;
};

inline Path::AccessMask operator|(Path::AccessMask a, Path::AccessMask b) {
    return static_cast<Path::AccessMask>(static_cast<int>(a) | static_cast<int>(b));
}

}  // namespace TarnIO
