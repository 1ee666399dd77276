// The caseless ordinal comparison of TextCompareCaseless for systems without
// CompareStringOrdinal (before Windows Vista). Private to TarnUtil; its own
// tests include it to hold it against the real function.
#pragma once

#include <windows.h>

namespace TarnUtil {
namespace detail {

// Compares as CompareStringOrdinal does when it ignores case: each UTF-16
// unit upper-cased on its own with the system's simple mapping, then the
// units compared as numbers, then the lengths. LCMapStringW of the invariant
// locale without LCMAP_LINGUISTIC_CASING applies the file system's casing
// rules, the table CompareStringOrdinal uses, one unit to one unit; but it
// maps a surrogate pair as one letter, which CompareStringOrdinal never
// does, so surrogates keep their original units. Negative, zero or positive.
inline bool IsSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

inline int CompareUpperCased(const wchar_t* a, unsigned aLength, const wchar_t* b,
                             unsigned bLength) {
    const unsigned slice = 128;
    wchar_t upperA[slice], upperB[slice];
    const unsigned common = aLength < bLength ? aLength : bLength;
    for (unsigned done = 0; done < common;) {
        const int n = static_cast<int>(common - done < slice ? common - done : slice);
        if (::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, a + done, n, upperA, n) != n ||
            ::LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, b + done, n, upperB, n) != n)
            return 0;  // only for bad arguments: equal, as CompareStringOrdinal's failure reads
        for (int i = 0; i < n; ++i) {
            const wchar_t x = IsSurrogate(a[done + i]) ? a[done + i] : upperA[i];
            const wchar_t y = IsSurrogate(b[done + i]) ? b[done + i] : upperB[i];
            if (x != y)
                return x < y ? -1 : 1;
        }
        done += static_cast<unsigned>(n);
    }
    return (aLength > bLength) - (aLength < bLength);
}

}  // namespace detail
}  // namespace TarnUtil
