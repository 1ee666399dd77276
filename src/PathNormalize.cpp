// Path: validity of names, normalization, making absolute and expanding
// environment references, the extended-length form. Only
// GetCurrentDirectoryW, GetFullPathNameW and the environment lookup ask the
// system anything.
#include "TarnIO/Path.h"

#include "FullPathName.h"
#include "Sys.h"
#include "Throw.h"

#include <cwchar>
#include <vector>

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\Path";
const wchar_t backslash = Path::separator;

// Reserved by the system in every directory, whatever the case.
const wchar_t* const deviceNames[] = {
    L"CON",  L"PRN",  L"AUX",  L"NUL",  L"COM1", L"COM2", L"COM3", L"COM4",
    L"COM5", L"COM6", L"COM7", L"COM8", L"COM9", L"LPT1", L"LPT2", L"LPT3",
    L"LPT4", L"LPT5", L"LPT6", L"LPT7", L"LPT8", L"LPT9", L"CLOCK$",
};
const std::size_t longestDeviceName = 6;
const std::size_t longestName = 255;

bool IsDeviceName(const std::wstring& name) {
    if (name.size() > longestDeviceName)
        return false;
    wchar_t upper[longestDeviceName + 1] = {};
    for (std::size_t i = 0; i < name.size(); ++i)
        upper[i] = static_cast<wchar_t>(sys::towupper(name[i]));
    for (const wchar_t* device : deviceNames) {
        // A whole-name match only: "CO" or "LPT" name no device.
        if (wcscmp(upper, device) == 0)
            return true;
    }
    return false;
}

// One component of a path: text [offset, offset + length).
struct Span {
    std::size_t offset;
    std::size_t length;
};

// The kept components while normalizing. Typical paths fit in the fixed
// array, so normalizing them allocates nothing but the result.
class SpanStack {
public:
    SpanStack() : spans(local), count(0), capacity(sizeof local / sizeof local[0]) {}

    void Push(Span span) {
        if (count == capacity) {
            // The first growth copies the local array; later ones grow the
            // vector in place.
            if (spans == local)
                heap.assign(local, local + count);
            heap.resize(capacity * 2);
            spans = heap.data();
            capacity = heap.size();
        }
        spans[count++] = span;
    }
    void Pop() { --count; }
    bool Empty() const { return count == 0; }
    std::size_t Size() const { return count; }
    const Span& operator[](std::size_t i) const { return spans[i]; }
    const Span& Back() const { return spans[count - 1]; }

private:
    Span local[48];
    std::vector<Span> heap;
    Span* spans;
    std::size_t count;
    std::size_t capacity;
};

bool IsDot(const wchar_t* name, std::size_t length) {
    return length == 1 && name[0] == L'.';
}

bool IsDotDot(const wchar_t* name, std::size_t length) {
    return length == 2 && name[0] == L'.' && name[1] == L'.';
}

// The value of an environment variable; false when it is not set, is empty
// or cannot be read. value is the caller's buffer, reused between lookups.
bool LookUp(const std::wstring& name, std::wstring& value) {
    // The system reads the name up to its first NUL: a name holding one
    // would look up a different variable.
    if (name.empty() || name.find(L'\0') != std::wstring::npos)
        return false;
    value.resize(32);
    DWORD length = sys::GetEnvironmentVariableW(name.c_str(), &value[0],
                                                static_cast<DWORD>(value.size()));
    // A result larger than the buffer is the size needed, NUL included; the
    // value may grow between the calls, so ask until it fits.
    while (length > value.size()) {
        value.resize(length);
        length = sys::GetEnvironmentVariableW(name.c_str(), &value[0],
                                              static_cast<DWORD>(value.size()));
    }
    if (length == 0)
        return false;
    value.resize(length);
    return true;
}

// One pass over text for one reference syntax. Returns whether anything was
// substituted. The scan continues in the original text after each reference,
// so an inserted value is never scanned again by this pass.
bool ExpandPass(std::wstring& text, const wchar_t* open, std::size_t openLength, wchar_t close) {
    std::wstring out;
    std::wstring name;
    std::wstring value;
    std::size_t copied = 0;  // text[0, copied) is in out already
    std::size_t start = text.find(open, 0, openLength);
    while (start != std::wstring::npos) {
        const std::size_t nameStart = start + openLength;
        const std::size_t end = text.find(close, nameStart);
        if (end == std::wstring::npos)
            break;  // unterminated: left as it is
        name.assign(text, nameStart, end - nameStart);
        if (LookUp(name, value)) {
            if (out.empty())
                out.reserve(text.size() + value.size());
            out.append(text, copied, start - copied);
            out += value;
            copied = end + 1;
        }
        start = text.find(open, end + 1, openLength);
    }
    if (copied == 0)
        return false;
    out.append(text, copied, std::wstring::npos);
    text.swap(out);
    return true;
}

}  // namespace

bool Path::IsInvalidChar(wchar_t c) {
    if (c < 0x20)
        return true;
    switch (c) {
    case L'<':
    case L'>':
    case L':':
    case L'"':
    case L'/':
    case L'\\':
    case L'|':
        return true;
    default:
        return false;
    }
}

bool Path::IsValidName(const std::wstring& name) {
    if (name.empty() || name.size() > longestName)
        return false;
    for (wchar_t c : name) {
        if (IsInvalidChar(c))
            return false;
    }
    return !IsDeviceName(name);
}

bool Path::HasWildcards() const {
    return path.find_first_of(L"*?") != std::wstring::npos;
}

Path Path::Normalize() const {
    const bool absolute = IsAbsolute();
    std::size_t rootLength = 0;
    if (HasDriveLetter()) {
        rootLength = 2;
    } else {
        unsigned end = 0;
        if (IsUnc(&end))
            rootLength = end;
    }

    // One pass: note each component's place in the text, folding "." and ".."
    // as they come.
    const wchar_t* const text = path.data();
    const std::size_t length = path.size();
    SpanStack names;
    std::size_t namesLength = 0;  // characters of the kept names, separators excluded
    std::size_t i = rootLength;
    while (i < length) {
        while (i < length && text[i] == backslash)
            ++i;
        if (i == length)
            break;
        const std::size_t begin = i;
        while (i < length && text[i] != backslash)
            ++i;
        const std::size_t size = i - begin;
        if (IsDot(text + begin, size))
            continue;
        if (IsDotDot(text + begin, size)) {
            if (!names.Empty() && (absolute || !IsDotDot(text + names.Back().offset,
                                                          names.Back().length))) {
                namesLength -= names.Back().length;
                names.Pop();
                continue;
            }
            if (absolute)
                continue;  // nothing climbs above the root
        }
        names.Push(Span{begin, size});
        namesLength += size;
    }

    // A relative path whose first surviving name looks like a drive
    // ("a\..\C:\x") comes out as that drive's path ("C:\x"): the result is
    // written as the names stand, and reads as what it now says.
    Path result;
    std::wstring& out = result.path;
    out.reserve(rootLength + (absolute ? 1 : 0) + namesLength + names.Size());
    out.append(text, rootLength);
    if (absolute)
        out += backslash;
    for (std::size_t n = 0; n < names.Size(); ++n) {
        if (n > 0)
            out += backslash;
        out.append(text + names[n].offset, names[n].length);
    }
    return result;
}

Path& Path::MakeNormalized() {
    Path normal = Normalize();
    path.swap(normal.path);
    narrowPath.clear();
    return *this;
}

Path Path::GetCurrentDirectoryW() {
    // MAX_PATH and its NUL. A longer directory does not fit: the call then
    // returns the size it needs, NUL included, and is made again with that
    // size (more than once if the directory changes in between).
    Path result;
    std::wstring& text = result.path;
    text.resize(MAX_PATH + 1);
    DWORD length = sys::GetCurrentDirectoryW(static_cast<DWORD>(text.size()), &text[0]);
    while (length > text.size()) {
        text.resize(length);
        length = sys::GetCurrentDirectoryW(static_cast<DWORD>(text.size()), &text[0]);
    }
    text.resize(length);  // 0 on failure: the empty path
    return result;
}

Path Path::Absolute() const {
    if (IsAbsolute())
        return Normalize();
    return Path(GetCurrentDirectoryW(), *this).Normalize();
}

Path& Path::MakeAbsolute() {
    if (!IsAbsolute()) {
        Path joined(GetCurrentDirectoryW(), *this);
        path.swap(joined.path);
    }
    return MakeNormalized();  // empties the narrow form
}

Path Path::Extended() const {
    auto startsWith = [](const std::wstring& text, const wchar_t* prefix) {
        return text.compare(0, std::wcslen(prefix), prefix) == 0;
    };
    if (path.empty() || startsWith(path, L"\\\\?\\") || startsWith(path, L"\\\\.\\"))
        return *this;
    std::wstring full;
    if (const DWORD error = detail::FullPathName(path, full))
        detail::ThrowWin32Path<Error>("unable to make extended path",
                                      TARNIO_HERE("TarnIO::Path::Extended"), error, *this);
    if (startsWith(full, L"\\\\.\\"))  // a device name
        return Path(full);
    if (startsWith(full, L"\\\\"))  // "\\srv\shr" becomes "\\?\UNC\srv\shr"
        return Path(full.replace(0, 2, L"\\\\?\\UNC\\"));
    return Path(L"\\\\?\\" + full);
}

Path& Path::MakeExtended() { return *this = Extended(); }

namespace detail {

unsigned long FullPathName(const std::wstring& path, std::wstring& full) {
    // Sized as for GetCurrentDirectoryW: again with the size the system asks
    // for while the first buffer is too small.
    full.assign(MAX_PATH + 1, L'\0');
    DWORD length = sys::GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), &full[0],
                                         nullptr);
    while (length > full.size()) {
        full.resize(length);
        length = sys::GetFullPathNameW(path.c_str(), length, &full[0], nullptr);
    }
    if (length == 0)
        return ::GetLastError();
    full.resize(length);
    return NO_ERROR;
}

}  // namespace detail

Path Path::ExpandEnvironmentVariables() const {
    Path result(*this);
    result.MakeEnvironmentVariablesExpanded();
    return result;
}

Path& Path::MakeEnvironmentVariablesExpanded() {
    ExpandPass(path, L"%", 1, L'%');
    ExpandPass(path, L"${", 2, L'}');
    ExpandPass(path, L"$(", 2, L')');
    narrowPath.clear();
    return *this;
}

}  // namespace TarnIO
