#include <TarnUtil/Module.h>
#include <TarnUtil/Text.h>
#include <TarnUtil/Time.h>

#include "../src/CompareOrdinal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace TarnUtil;

TEST(TextTest, NarrowAndWidenAppendAndRoundTrip) {
    const std::wstring texts[] = {
        L"",
        L"caf\u00E9 na\u00EFve",     // in every Western ANSI code page
        std::wstring(L"a\0b\\c", 5),  // an embedded NUL travels inside a length
    };
    for (const std::wstring& text : texts) {
        std::string narrow = "<";
        TextNarrow(text.data(), unsigned(text.size()), narrow);
        std::wstring wide = L"<";
        TextWiden(narrow.data() + 1, unsigned(narrow.size() - 1), wide);
        EXPECT_EQ(L"<" + text, wide);
    }
    std::string narrow;  // all ones: up to the NUL; a lone surrogate as the system converts it
    TextNarrow(L"abc\xD800", 0xFFFFFFFFu, narrow);
    EXPECT_EQ("abc?", narrow);
}

// And the stand-in for systems without CompareStringOrdinal.
TEST(TextTest, CompareCaseless) {
    const struct Row {
        std::wstring a, b;
        int sign;
    } rows[] = {
        {L"", L"abc", -1},
        {L"abc", L"ab", 1},
        {L"\u00C9T\u00C9", L"\u00E9t\u00E9", 0},  // beyond ASCII, as the file system folds
        {L"a_", L"A[", 1},                        // ordinal: '_' (0x5F) after '[' (0x5B)
        {L"\u00FF", L"\u0100", 1},                // by the capital of y with diaeresis, 0x178
        {L"\u00DF", L"\u1E9E", -1},               // sharp s has no simple capital
        {L"\U00010428", L"\U00010400", 1},        // surrogate pairs keep their case
        {L"\U00010000", L"\uFFFF", -1},           // by UTF-16 unit, not by code point
        {std::wstring(L"a\0c", 3), std::wstring(L"A\0B", 3), 1},  // NULs count as any unit
        {std::wstring(300, L'x') + L"a", std::wstring(300, L'X') + L"B", -1},  // past a slice
    };
    auto sign = [](int result) { return (result > 0) - (result < 0); };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.a) + " vs " + testing::PrintToString(row.b));
        const wchar_t *a = row.a.c_str(), *b = row.b.c_str();
        const unsigned m = unsigned(row.a.size()), n = unsigned(row.b.size());
        EXPECT_EQ(row.sign, sign(TextCompareCaseless(a, m, b, n)));
        EXPECT_EQ(row.sign, sign(detail::CompareUpperCased(a, m, b, n)));
    }
    // Explicit lengths compare only what they cover.
    EXPECT_EQ(0, TextCompareCaseless(L"abX", 2, L"ABY", 2));
    EXPECT_EQ(0, detail::CompareUpperCased(L"abX", 2, L"ABY", 2));
}

TEST(ModuleTest, LoadsBindsAndFrees) {
    {
        const Module version("version", Module::accessLoad, 0);
        EXPECT_NE(nullptr, version.BindSymbol("GetFileVersionInfoW"));
    }
    EXPECT_FALSE(Module("version", Module::accessLoaded, 0).IsLoaded());  // freed again
}

TEST(TimeTest, ConvertsFileTimes) {
    const struct Row {
        unsigned long long ticks;
        const char* converted;  // Unix seconds, nanoseconds, ISO 8601
    } rows[] = {
        {116444736015000001ULL, "1 500000100 1970-01-01T00:00:01Z"},
        {0, "-11644473600 0 1601-01-01T00:00:00Z"},
    };
    for (const Row& row : rows) {
        const FILETIME ft = {DWORD(row.ticks), DWORD(row.ticks >> 32)};
        const Time time(ft, timeUtc);
        const FILETIME back = time.GetFileTime();
        EXPECT_EQ(row.converted, std::to_string(time.GetUnixSeconds()) + " " +
                                     std::to_string(time.GetNanoseconds()) + " " +
                                     time.ToIsoString());
        EXPECT_EQ(row.ticks, ((0ULL + back.dwHighDateTime) << 32) | back.dwLowDateTime);
    }
}
