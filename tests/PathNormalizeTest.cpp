// Path validity, normalization, making absolute and environment expansion.
#include <TarnIO/Path.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

using TarnIO::Path;

namespace {

std::wstring Repeat(const std::wstring& text, int times) {
    return times > 0 ? text + Repeat(text, times - 1) : std::wstring();
}

// get must give expected and leave the path alone; make must turn the path
// into expected in place, replacing a narrow form cached for the old text.
void ExpectTwins(const std::wstring& text, const std::wstring& expected,
                 Path (Path::*get)() const, Path& (Path::*make)()) {
    SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(text));
    const Path path(text);
    EXPECT_EQ(expected, (path.*get)().AsString());
    Path changed(text);
    changed.AsNarrowCStr();
    EXPECT_EQ(&changed, &(changed.*make)());
    EXPECT_EQ(Path(expected).AsNarrowString(), changed.AsNarrowString());
}

std::wstring RawCurrentDirectory() {
    static wchar_t buffer[32768];
    const DWORD length = ::GetCurrentDirectoryW(32768, buffer);
    return std::wstring(buffer, length < 32768 ? length : 0);
}

}  // namespace

TEST(PathNormalizeTest, Validity) {
    for (wchar_t c : std::wstring(L"\0\x01\t\x1F<>:\"/\\|", 11))
        EXPECT_TRUE(Path::IsInvalidChar(c)) << std::hex << static_cast<unsigned>(c);
    for (wchar_t c : std::wstring(L" *?.\x7F" L"a$%\x00E9"))
        EXPECT_FALSE(Path::IsInvalidChar(c)) << std::hex << static_cast<unsigned>(c);

    // Only a whole-name match is reserved; wildcards are allowed in a name.
    struct Row { std::wstring name; bool valid; } rows[] = {
        {std::wstring(255, L'a'), true}, {std::wstring(256, L'a'), false}, {L"", false},
        {L"a:b", false}, {L"a\\b", false}, {L"a|b", false}, {std::wstring(L"a\0b", 3), false},
        {L"a\x1F", false}, {L"con", false}, {L"Nul", false}, {L"prn", false}, {L"aUx", false},
        {L"clock$", false}, {L"com1", false}, {L"COM9", false}, {L"lpt9", false}, {L"Lpt1", false},
        {L"CON.txt", true}, {L"COM10", true}, {L"lpt10", true}, {L"LPT0", true}, {L"CONSOLE", true},
        {L"CLOCK", true}, {L"LPT", true}, {L"CO", true}, {L"C", true}, {L"a*b", true}, {L"?", true},
        {L"name.", true}, {L"name ", true}, {L"\x00C4\x00D6", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.valid, Path::IsValidName(row.name)) << testing::PrintToString(row.name);

    for (const wchar_t* text : {L"C:\\*.txt", L"a?", L"?"})
        EXPECT_TRUE(Path(text).HasWildcards()) << Path(text).AsNarrowString();
    EXPECT_TRUE(Path(std::wstring(L"a\0*", 3)).HasWildcards());  // past an embedded NUL
    for (const wchar_t* text : {L"C:\\dir", L"", L"%$[]"})
        EXPECT_FALSE(Path(text).HasWildcards()) << Path(text).AsNarrowString();
}

TEST(PathNormalizeTest, Normalize) {
    struct Row { std::wstring text, normal; } rows[] = {
        {L"C:\\a\\.\\b\\..\\c\\", L"C:\\a\\c"}, {L"C:\\..\\a", L"C:\\a"}, {L"C:\\.", L"C:\\"},
        {L"C:\\a\\..\\..", L"C:\\"}, {L"C:\\\\\\a\\\\b", L"C:\\a\\b"}, {L"\\", L"\\"},
        {L"C:\\A\\..\\B\\c", L"C:\\B\\c"},  // case is kept
        {L"\\a\\\\b\\", L"\\a\\b"}, {L"a\\..\\b", L"b"}, {L"a\\..", L""}, {L".", L""}, {L"", L""},
        {L"..\\..\\a", L"..\\..\\a"}, {L"a\\..\\..\\b", L"..\\b"}, {L"a\\.\\.\\b", L"a\\b"},
        {L"a\\\\b\\\\", L"a\\b"}, {L"..", L".."}, {L"C:a\\b", L"C:a\\b"}, {L"C:.", L"C:"},
        {L"...\\a", L"...\\a"},  // only "." and ".." are special
        {L"C:..\\a", L"C:..\\a"}, {L"C:a\\..\\..", L"C:.."}, {L"1:\\x", L"1:\\x"}, {L"\\..", L"\\"},
        {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"}, {L"\\\\srv\\shr", L"\\\\srv\\shr\\"},
        {L"\\\\srv\\shr\\..\\..", L"\\\\srv\\shr\\"}, {L"\\\\?\\C:\\x\\..\\y", L"\\\\?\\C:\\y"},
        {L"\\\\srv\\\\x", L"\\\\srv\\\\x"},  // empty share: the mount point is "\\srv\"
        {L"\\\\\\xy", L"\\xy"},  // not UNC: a rooted path with runs of backslashes
        {L"\\\\srv", L"\\srv"}, {L"a/./b", L"a/./b"},  // '/' is no separator
        {L"a/../b\\..", L""},  // the name "a/../b", then ".."
        {L"a\\..\\C:\\x", L"C:\\x"},  // names as they stand: now a drive path
        {L".\\C:\\x", L"C:\\x"}, {L"x\\..\\c:.\\b", L"c:.\\b"}, {L"D:x\\..\\C:y", L"D:C:y"},
        {std::wstring(L"a\0\\..\\b\0", 8), std::wstring(L"b\0", 2)},
        // More names than fit in a small fixed buffer.
        {L"C:\\" + Repeat(L"n\\.\\", 200) + L"..\\x", L"C:\\" + Repeat(L"n\\", 199) + L"x"},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.normal, &Path::Normalize, &Path::MakeNormalized);
}

// Seeded random texts over an alphabet rich in what the syntax and the
// expansion look at, an embedded NUL included.
TEST(PathNormalizeTest, PropertiesOfRandomTexts) {
    const wchar_t alphabet[] = L"\\\\\\\\\\//::...%%$${}()*?aBcZ\0 ";
    std::mt19937 random(7771);
    std::uniform_int_distribution<std::size_t> pick(0, sizeof alphabet / sizeof *alphabet - 2);
    std::uniform_int_distribution<std::size_t> length(0, 20);
    for (int i = 0; i < 50000; ++i) {
        std::wstring text;
        for (std::size_t n = length(random); n > 0; --n)
            text += alphabet[pick(random)];
        SCOPED_TRACE(testing::Message() << "i: " << i << ", " << testing::PrintToString(text));
        const Path path(text), normal = path.Normalize();
        // "a\..\C:x" turns into a drive path: another text, judged anew.
        if (!path.HasDriveLetter() && normal.HasDriveLetter())
            continue;
        ASSERT_EQ(normal.AsString(), normal.Normalize().AsString()) << "not idempotent";
        ASSERT_EQ(path.IsAbsolute(), normal.IsAbsolute());
        ASSERT_EQ(path.GetRootName(), normal.GetRootName());
        // Runs of backslashes are folded everywhere after the UNC mount point.
        unsigned end = 0;
        ASSERT_EQ(std::wstring::npos, normal.AsString().find(L"\\\\", normal.IsUnc(&end) ? end : 0))
            << "normal: " << testing::PrintToString(normal.AsString());
        // No variable is named from this alphabet: every reference stays.
        ASSERT_EQ(text, path.ExpandEnvironmentVariables().AsString());
    }
}

// Teardown restores the current directory: a current directory cannot be removed.
class PathAbsoluteTest : public TarnTest::TempDirTest {
protected:
    void TearDown() override {
        EXPECT_TRUE(::SetCurrentDirectoryW(saved.c_str())) << ::GetLastError();
        TempDirTest::TearDown();
    }
    const std::wstring saved = RawCurrentDirectory();
};

TEST_F(PathAbsoluteTest, MakeAbsoluteAgainstTheCurrentDirectory) {
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str())) << ::GetLastError();
    const std::wstring current = RawCurrentDirectory();
    ASSERT_EQ(current, Path::GetCurrentDirectoryW().AsString());
    const std::wstring above = current.substr(0, current.rfind(L'\\'));
    struct Row { std::wstring text, absolute; } rows[] = {
        {L"x", current + L"\\x"}, {L"..\\x", above + L"\\x"}, {L".", current}, {L"", current},
        {L"a\\b\\..\\c\\", current + L"\\a\\c"},
        {L"D:x", current + L"\\D:x"},  // drive-relative: joined like any name
        {L"\\x", L"\\x"},              // rooted: the current drive stays out
        {L"C:\\w\\.\\y", L"C:\\w\\y"}, {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.absolute, &Path::Absolute, &Path::MakeAbsolute);
}

TEST_F(PathAbsoluteTest, CurrentDirectoryLongerThanMaxPath) {
    std::wstring deep = dir;
    while (deep.size() <= 300) {
        deep += L"\\" + std::wstring(60, L'd');
        if (!::CreateDirectoryW(deep.c_str(), nullptr))
            GTEST_SKIP() << "the system refused a directory of " << deep.size() << " characters";
    }
    if (!::SetCurrentDirectoryW(deep.c_str()))
        GTEST_SKIP() << "the system refused a current directory of " << deep.size();
    ASSERT_GT(RawCurrentDirectory().size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(RawCurrentDirectory(), Path::GetCurrentDirectoryW().AsString());
    EXPECT_EQ(deep + L"\\y", Path(L"x\\..\\y").Absolute().AsString());
}

// Variables named after this process ("@" in a text), removed after the test.
class PathExpandTest : public ::testing::Test {
protected:
    void TearDown() override {
        for (const std::wstring& name : names)
            ::SetEnvironmentVariableW(name.c_str(), nullptr);
    }
    std::wstring Named(std::wstring text) const {
        for (std::size_t at; (at = text.find(L'@')) != std::wstring::npos;)
            text.replace(at, 1, prefix);
        return text;
    }
    void Set(std::initializer_list<std::pair<std::wstring, std::wstring>> variables) {
        for (const auto& v : variables) {
            names.push_back(Named(v.first));
            ASSERT_TRUE(::SetEnvironmentVariableW(names.back().c_str(), Named(v.second).c_str()));
        }
    }
    const std::wstring prefix = L"TARN_EXPAND_" + std::to_wstring(::GetCurrentProcessId()) + L"_";
    std::vector<std::wstring> names;
};

TEST_F(PathExpandTest, ExpandEnvironmentVariables) {
    // The lookup's first buffer holds 31 characters and the NUL.
    const std::wstring hundred = Repeat(L"0123456789", 10), huge(5000, L'h');
    Set({{L"@A", L"alpha"}, {L"@L31", hundred.substr(0, 31)}, {L"@L32", hundred.substr(0, 32)},
         {L"@L33", hundred.substr(0, 33)}, {L"@LONG", hundred}, {L"@HUGE", huge},
         {L"@SELF", L"%@SELF%"}, {L"@BRACE", L"${@BRACE}"}, {L"@ SP", L"spaced"}, {L"@EMPTY", L""},
         {L"@TOBRACE", L"${@A}"},     // expanded by the later pass
         {L"@TOPERCENT", L"%@A%"}});  // not: the percent pass is over
    struct Row { std::wstring text, expanded; } rows[] = {
        {L"C:\\plain\\text", L"C:\\plain\\text"}, {L"%@A%", L"alpha"}, {L"${@A}", L"alpha"},
        {L"$(@A)", L"alpha"}, {L"C:\\%@A%\\${@A}\\$(@A)\\x", L"C:\\alpha\\alpha\\alpha\\x"},
        {L"x%@A%y%@A%z", L"xalphayalphaz"}, {L"%@A%${@A}", L"alphaalpha"}, {L"%@ SP%", L"spaced"},
        {L"%@L31%", hundred.substr(0, 31)}, {L"%@L32%", hundred.substr(0, 32)}, {L"", L""},
        {L"%@L33%", hundred.substr(0, 33)}, {L"<%@LONG%>", L"<" + hundred + L">"},
        {L"${@HUGE}", huge}, {L"%@SELF%", L"%@SELF%"}, {L"%@SELF%-%@SELF%", L"%@SELF%-%@SELF%"},
        {L"${@BRACE}", L"${@BRACE}"}, {L"%@TOBRACE%", L"alpha"}, {L"${@TOPERCENT}", L"%@A%"},
        {L"%@UNKNOWN%", L"%@UNKNOWN%"}, {L"%@EMPTY%", L"%@EMPTY%"}, {L"%@A", L"%@A"},
        {L"${@A", L"${@A"}, {L"$(@A", L"$(@A"}, {L"${@A)", L"${@A)"}, {L"$(@A}", L"$(@A}"},
        {L"%@A%%@A", L"alpha%@A"}, {L"%%", L"%%"}, {L"$@A", L"$@A"}, {L"{@A}", L"{@A}"},
        {L"%@UNKNOWN%@A%", L"%@UNKNOWN%@A%"},  // the scan goes on after the closing '%'
        // The system would read the name only up to the NUL and find @A.
        {std::wstring(L"%@A\0x%", 6), std::wstring(L"%@A\0x%", 6)},
    };
    for (const Row& row : rows)
        ExpectTwins(Named(row.text), Named(row.expanded), &Path::ExpandEnvironmentVariables,
                    &Path::MakeEnvironmentVariablesExpanded);
}
