// Path: storage, construction, assignment, text access and comparison.
// Syntax lives in PathSyntax.cpp, validity and normalization in
// PathNormalize.cpp, file-system queries in PathQuery.cpp.
#include "TarnIO/Path.h"

#include <TarnUtil/Text.h>

namespace TarnIO {

// The constants are inline variables, but a program that binds one to a
// reference (std::max, push_back) without inlining refers to it through the
// DLL's import table: these definitions make the DLL export them.
constexpr wchar_t Path::separator;
constexpr wchar_t Path::listSeparator;
constexpr bool Path::isCaseSensitive;

Path::Path(const char* text) : narrowPath(text) {
    TarnUtil::TextWiden(narrowPath.data(), static_cast<unsigned>(narrowPath.size()), path);
}

Path::Path(const std::string& text) : narrowPath(text) {
    TarnUtil::TextWiden(narrowPath.data(), static_cast<unsigned>(narrowPath.size()), path);
}

Path& Path::operator=(const Path& other) {
    path = other.path;
    narrowPath = other.narrowPath;
    return *this;
}

Path& Path::operator=(const std::wstring& text) {
    path = text;
    narrowPath.clear();
    return *this;
}

Path& Path::operator=(const wchar_t* text) {
    path = text;
    narrowPath.clear();
    return *this;
}

const std::string& Path::AsNarrowString() const {
    // An empty path converts at every call; that costs nothing and needs no
    // flag of its own.
    if (narrowPath.empty())
        TarnUtil::TextNarrow(path.data(), static_cast<unsigned>(path.size()), narrowPath);
    return narrowPath;
}

// Out of line: the cast is needed only where size_t is wider than unsigned,
// and a header cast that is useless on i686 warns in -Wuseless-cast builds.
unsigned Path::GetLength() const {
    return static_cast<unsigned>(path.size());
}

void Path::Clear() {
    path.clear();
    narrowPath.clear();
}

int Path::Compare(const Path& other) const {
    return TarnUtil::TextCompareCaseless(path.data(), static_cast<unsigned>(path.size()),
                                         other.path.data(),
                                         static_cast<unsigned>(other.path.size()));
}

int Path::Compare(const std::wstring& other) const {
    return TarnUtil::TextCompareCaseless(path.data(), static_cast<unsigned>(path.size()),
                                         other.data(), static_cast<unsigned>(other.size()));
}

int Path::Compare(const wchar_t* other) const {
    return TarnUtil::TextCompareCaseless(path.data(), static_cast<unsigned>(path.size()), other,
                                         0xFFFFFFFFu);
}

}  // namespace TarnIO
