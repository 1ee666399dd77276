#include "TarnUtil/Text.h"

#include "CompareOrdinal.h"
#include "TarnUtil/Module.h"

#include <windows.h>

#include <climits>
#include <cstring>
#include <cwchar>

namespace TarnUtil {

namespace {

// The conversion functions take int lengths; longer texts go in slices.
const unsigned maxSlice = INT_MAX / 4;

// CompareStringOrdinal came with Windows Vista: linking it would keep the DLL
// from loading on earlier systems, so it is bound once per process, and
// CompareUpperCased stands in where kernel32 lacks it.
typedef int(WINAPI* CompareStringOrdinalFn)(const wchar_t* a, int aLength, const wchar_t* b,
                                            int bLength, BOOL ignoreCase);

CompareStringOrdinalFn BindCompareStringOrdinal() {
    // kernel32 stays loaded for the life of every process: no reference is kept.
    static const CompareStringOrdinalFn bound = reinterpret_cast<CompareStringOrdinalFn>(
        Module("kernel32", Module::accessLoaded, 0).BindSymbol("CompareStringOrdinal"));
    return bound;
}

}  // namespace

void TextNarrow(const wchar_t* text, unsigned length, std::string& out) {
    if (length == 0xFFFFFFFFu)
        length = static_cast<unsigned>(std::wcslen(text));
    while (length > 0) {
        unsigned slice = length < maxSlice ? length : maxSlice;
        // Never cut a surrogate pair in two.
        if (slice < length && text[slice - 1] >= 0xD800 && text[slice - 1] <= 0xDBFF)
            --slice;
        int needed = ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(slice), nullptr, 0,
                                           nullptr, nullptr);
        if (needed <= 0)
            return;
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(needed));
        ::WideCharToMultiByte(CP_ACP, 0, text, static_cast<int>(slice), &out[old], needed,
                              nullptr, nullptr);
        text += slice;
        length -= slice;
    }
}

void TextWiden(const char* text, unsigned length, std::wstring& out) {
    while (length > 0) {
        unsigned slice = length < maxSlice ? length : maxSlice;
        // Keep a double-byte character whole across the cut.
        if (slice < length) {
            unsigned i = 0;
            while (i < slice) {
                unsigned step = ::IsDBCSLeadByte(static_cast<BYTE>(text[i])) ? 2 : 1;
                if (i + step > slice)
                    break;
                i += step;
            }
            slice = i;
        }
        int needed = ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(slice), nullptr, 0);
        if (needed <= 0)
            return;
        std::size_t old = out.size();
        out.resize(old + static_cast<std::size_t>(needed));
        ::MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(slice), &out[old], needed);
        text += slice;
        length -= slice;
    }
}

int TextCompareCaseless(const wchar_t* a, unsigned aLength, const wchar_t* b, unsigned bLength) {
    if (aLength == 0xFFFFFFFFu)
        aLength = static_cast<unsigned>(std::wcslen(a));
    if (bLength == 0xFFFFFFFFu)
        bLength = static_cast<unsigned>(std::wcslen(b));
    // CompareStringOrdinal upper-cases with the file system's own table.
    const CompareStringOrdinalFn compare = BindCompareStringOrdinal();
    if (!compare)
        return detail::CompareUpperCased(a, aLength, b, bLength);
    int result = compare(a, static_cast<int>(aLength), b, static_cast<int>(bLength), TRUE);
    return result == 0 ? 0 : result - CSTR_EQUAL;
}

}  // namespace TarnUtil
