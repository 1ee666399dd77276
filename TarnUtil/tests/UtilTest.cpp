#include <TarnUtil/Module.h>
#include <TarnUtil/Text.h>
#include <TarnUtil/Time.h>

#include "../src/CompareOrdinal.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>

using namespace TarnUtil;

namespace {

std::string Narrow(const std::wstring& text, unsigned length) {
    std::string out;
    TextNarrow(text.c_str(), length, out);
    return out;
}

std::wstring Widen(const std::string& text) {
    std::wstring out;
    TextWiden(text.data(), static_cast<unsigned>(text.size()), out);
    return out;
}

}  // namespace

TEST(TextTest, NarrowAndWidenRoundTrip) {
    const std::wstring texts[] = {
        L"",
        L"C:\\data\\in.bin",
        L"caf\u00E9 na\u00EFve",              // in every Western ANSI code page
        std::wstring(L"a\0b\\c", 5),          // an embedded NUL travels inside a length
        std::wstring(300, L'x') + L"\u00FC",  // longer than any fixed buffer
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(testing::Message() << "length " << text.size());
        std::string narrow = Narrow(text, static_cast<unsigned>(text.size()));
        EXPECT_EQ(text, Widen(narrow));
    }
}

TEST(TextTest, LengthConventions) {
    // All ones: up to the terminating NUL. Otherwise exactly that many.
    EXPECT_EQ("abc", Narrow(L"abc", 0xFFFFFFFFu));
    EXPECT_EQ("ab", Narrow(L"abc", 2));
    EXPECT_EQ(std::string("a\0", 2), Narrow(std::wstring(L"a\0b", 3), 2));
    EXPECT_EQ("", Narrow(L"abc", 0));
    std::wstring wide;
    TextWiden("abc", 2, wide);
    EXPECT_EQ(L"ab", wide);
}

TEST(TextTest, NarrowAppendsToWhatOutHolds) {
    std::string out = "pre:";
    TextNarrow(L"x", 1, out);
    EXPECT_EQ("pre:x", out);
}

TEST(TextTest, CompareCaseless) {
    // Each row also holds the stand-in for systems without CompareStringOrdinal
    // against the real function.
    const struct Row {
        std::wstring a, b;
        int sign;
    } rows[] = {
        {L"C:\\Dir", L"c:\\dir", 0},
        {L"a", L"b", -1},
        {L"b", L"a", 1},
        {L"", L"abc", -1},
        {L"abc", L"ab", 1},
        {L"\u00C9T\u00C9", L"\u00E9t\u00E9", 0},  // beyond ASCII, as the file system folds
        {L"a_", L"A[", 1},                        // ordinal: '_' (0x5F) after '[' (0x5B)
        {L"\u00FF", L"\u0178", 0},                // y with diaeresis: its capital is far off
        {L"\u00FF", L"\u0100", 1},                // ordered by the capital 0x178, not 0xFF
        {L"\u0451\uFF41", L"\u0401\uFF21", 0},    // Cyrillic, fullwidth
        {L"\u00DF", L"\u1E9E", -1},               // sharp s has no simple capital
        {L"\U00010428", L"\U00010400", 1},        // surrogate pairs keep their case
        {L"\U00010000", L"\uFFFF", -1},           // by UTF-16 unit, not by code point
        {std::wstring(L"a\0c", 3), std::wstring(L"A\0B", 3), 1},  // embedded NULs compare too
        {std::wstring(L"a\0", 2), L"A", 1},
        {std::wstring(300, L'x') + L"a", std::wstring(300, L'X') + L"B", -1},  // past a slice
    };
    auto sign = [](int result) { return (result > 0) - (result < 0); };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "a=" << testing::PrintToString(row.a)
                                        << " b=" << testing::PrintToString(row.b));
        const unsigned aLength = static_cast<unsigned>(row.a.size());
        const unsigned bLength = static_cast<unsigned>(row.b.size());
        EXPECT_EQ(row.sign,
                  sign(TextCompareCaseless(row.a.data(), aLength, row.b.data(), bLength)));
        EXPECT_EQ(row.sign, sign(::CompareStringOrdinal(row.a.data(), int(aLength), row.b.data(),
                                                        int(bLength), TRUE) - CSTR_EQUAL));
        EXPECT_EQ(row.sign,
                  sign(detail::CompareUpperCased(row.a.data(), aLength, row.b.data(), bLength)));
        if (row.a.find(L'\0') == std::wstring::npos && row.b.find(L'\0') == std::wstring::npos) {
            EXPECT_EQ(row.sign, sign(TextCompareCaseless(row.a.c_str(), 0xFFFFFFFFu,
                                                         row.b.c_str(), 0xFFFFFFFFu)));
        }
    }
    // Explicit lengths compare only what they cover.
    EXPECT_EQ(0, TextCompareCaseless(L"abX", 2, L"ABY", 2));
    EXPECT_EQ(0, detail::CompareUpperCased(L"abX", 2, L"ABY", 2));
}

TEST(ModuleTest, BindsPresentSymbolsAndNullForAbsentOnes) {
    Module kernel32("kernel32", Module::accessLoad, 0);
    ASSERT_TRUE(kernel32.IsLoaded());
    void* bound = kernel32.BindSymbol("GetFileSizeEx");
    EXPECT_EQ(reinterpret_cast<void*>(::GetProcAddress(::GetModuleHandleA("kernel32"),
                                                       "GetFileSizeEx")),
              bound);
    EXPECT_NE(nullptr, bound);
    EXPECT_EQ(nullptr, kernel32.BindSymbol("NoSuchFunctionAnywhere"));

    Module missing("no-such-module-tarn", Module::accessLoad, 0);
    EXPECT_FALSE(missing.IsLoaded());
    EXPECT_EQ(nullptr, missing.BindSymbol("GetFileSizeEx"));

    Module loaded("ntdll", Module::accessLoaded, 0);
    EXPECT_TRUE(loaded.IsLoaded());
    EXPECT_NE(nullptr, loaded.BindSymbol("NtQueryInformationFile"));
}

TEST(TimeTest, ConvertsFileTimes) {
    // 1 January 1970 00:00:00 UTC in FILETIME units, plus 1.5 seconds.
    const unsigned long long epoch = 116444736000000000ULL;
    struct Row {
        unsigned long long ticks;
        long long unixSeconds;
        unsigned nanoseconds;
        const char* iso;
    } rows[] = {
        {epoch, 0, 0, "1970-01-01T00:00:00Z"},
        {epoch + 15000000, 1, 500000000, "1970-01-01T00:00:01Z"},
        {epoch + 17968608000000000ULL + 1, 1796860800, 100, "2026-12-10T00:00:00Z"},
        {0, -11644473600LL, 0, "1601-01-01T00:00:00Z"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.iso);
        FILETIME ft;
        ft.dwLowDateTime = static_cast<DWORD>(row.ticks);
        ft.dwHighDateTime = static_cast<DWORD>(row.ticks >> 32);
        Time time(ft, timeUtc);
        EXPECT_EQ(row.ticks, time.GetTicks());
        EXPECT_EQ(row.unixSeconds, time.GetUnixSeconds());
        EXPECT_EQ(row.nanoseconds, time.GetNanoseconds());
        EXPECT_EQ(row.iso, time.ToIsoString());
        FILETIME back = time.GetFileTime();
        EXPECT_EQ(ft.dwLowDateTime, back.dwLowDateTime);
        EXPECT_EQ(ft.dwHighDateTime, back.dwHighDateTime);
    }
}

TEST(TimeTest, Orders) {
    FILETIME early = {1, 0};
    FILETIME late = {0, 1};  // the high word counts more
    Time a(early, timeUtc), b(late, timeUtc);
    EXPECT_TRUE(a < b);
    EXPECT_TRUE(b > a);
    EXPECT_TRUE(a <= a && a >= a);
    EXPECT_TRUE(a == Time(early, timeUtc));
    EXPECT_TRUE(a != b);
}
