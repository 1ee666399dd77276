// Path: storage, construction, assignment, text access and comparison.
// Syntax lives in PathSyntax.cpp, validity and normalization in
// PathNormalize.cpp, file-system queries in PathQuery.cpp.
#include "TarnIO/Path.h"

#include <TarnUtil/Text.h>

namespace TarnIO {

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
