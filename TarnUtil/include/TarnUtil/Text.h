// Text conversion and comparison for path text.
//
// Narrow text is in the system's ANSI code page: the encoding the C runtime's
// narrow file functions take. Wide text is UTF-16. Lengths count characters
// of the input (wide characters or bytes); 0xFFFFFFFF means "up to the
// terminating NUL" where a function says so. Embedded NULs inside an explicit
// length are converted like any other character.
#pragma once

#include "TarnUtil/Export.h"

#include <string>

namespace TarnUtil {

// Appends the ANSI form of text to out (callers pass it empty). Characters
// without an ANSI form become the code page's default character.
TARNUTIL_API void TextNarrow(const wchar_t* text, unsigned length, std::string& out);

// Appends the UTF-16 form of ANSI text to out (callers pass it empty). length
// counts bytes and is always explicit.
TARNUTIL_API void TextWiden(const char* text, unsigned length, std::wstring& out);

// Compares two texts as the file system compares names: ordinal, ignoring
// case. Negative, zero or positive as a orders before, equal to or after b.
// Each UTF-16 unit is upper-cased on its own with the system's simple
// mapping, then compared as a number: letters outside the Basic Multilingual
// Plane (surrogate pairs) keep their case, and a pair orders before U+E000 to
// U+FFFF. The comparison is CompareStringOrdinal's; on systems before Windows
// Vista, which lack it, each unit other than a surrogate is upper-cased with
// LCMapStringW of the invariant locale instead. Under Wine the two agree on
// every one of the 65,536 units and on random texts with surrogates and
// embedded NULs; on Windows XP the casing table is that system's, so letters
// given a capital by later Unicode versions may compare case-sensitively
// there. Comparing texts of more than INT_MAX units is not supported.
TARNUTIL_API int TextCompareCaseless(const wchar_t* a, unsigned aLength, const wchar_t* b,
                                     unsigned bLength);

}  // namespace TarnUtil
