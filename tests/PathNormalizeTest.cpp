// Path validity, normalization, making absolute and environment expansion.
#include <TarnIO/Path.h>

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <random>
#include <string>
#include <vector>

using TarnIO::Path;

namespace {

std::string NarrowOf(const std::wstring& text) {
    return Path(text).AsNarrowString();
}

std::wstring RawCurrentDirectory() {
    DWORD size = ::GetCurrentDirectoryW(0, nullptr);
    std::wstring text(size, L'\0');
    DWORD length = ::GetCurrentDirectoryW(size, &text[0]);
    text.resize(length < size ? length : 0);
    return text;
}

}  // namespace

TEST(PathNormalizeTest, IsInvalidChar) {
    struct Row {
        wchar_t c;
        bool invalid;
    } rows[] = {
        {L'\0', true}, {L'\x01', true}, {L'\t', true}, {L'\x1F', true}, {L'<', true},
        {L'>', true},  {L':', true},    {L'"', true},  {L'/', true},    {L'\\', true},
        {L'|', true},  {L' ', false},   {L'*', false}, {L'?', false},   {L'.', false},
        {L'\x7F', false}, {L'a', false}, {L'$', false}, {L'%', false},  {L'\x00E9', false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "char: 0x" << std::hex << static_cast<unsigned>(row.c));
        EXPECT_EQ(row.invalid, Path::IsInvalidChar(row.c));
    }
}

TEST(PathNormalizeTest, IsValidName) {
    struct Row {
        std::wstring name;
        bool valid;
    } rows[] = {
        {std::wstring(255, L'a'), true},
        {std::wstring(256, L'a'), false},
        {L"", false},
        {L"a:b", false},
        {L"a/b", false},
        {L"a\\b", false},
        {L"a<b", false},
        {L"a|b", false},
        {L"a\"b", false},
        {std::wstring(L"a\0b", 3), false},
        {L"a\x1F", false},
        {L"con", false},
        {L"CON", false},
        {L"Nul", false},
        {L"prn", false},
        {L"aUx", false},
        {L"clock$", false},
        {L"com1", false},
        {L"COM9", false},
        {L"lpt9", false},
        {L"Lpt1", false},
        {L"CON.txt", true},
        {L"COM10", true},
        {L"lpt10", true},
        {L"LPT0", true},
        {L"COM0", true},
        {L"NULL", true},
        {L"CONSOLE", true},
        {L"CLOCK", true},  // shorter than a device name it begins: valid
        {L"LPT", true},
        {L"CO", true},
        {L"C", true},
        {L"NU", true},
        {L"a*b", true},  // wildcards are allowed in a name
        {L"?", true},
        {L"name.", true},
        {L"name ", true},
        {L"\x00C4\x00D6", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "name: " << testing::PrintToString(row.name));
        EXPECT_EQ(row.valid, Path::IsValidName(row.name));
    }
}

TEST(PathNormalizeTest, HasWildcards) {
    struct Row {
        std::wstring text;
        bool wildcards;
    } rows[] = {
        {L"C:\\*.txt", true},
        {L"a?", true},
        {L"?", true},
        {std::wstring(L"a\0*", 3), true},  // found past an embedded NUL
        {L"C:\\dir", false},
        {L"", false},
        {L"%$[]", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(row.text));
        EXPECT_EQ(row.wildcards, Path(row.text).HasWildcards());
    }
}

TEST(PathNormalizeTest, Normalize) {
    struct Row {
        std::wstring text;
        std::wstring normal;
    } rows[] = {
        {L"C:\\a\\.\\b\\..\\c\\", L"C:\\a\\c"},
        {L"C:\\..\\a", L"C:\\a"},
        {L"C:\\a\\..\\..", L"C:\\"},
        {L"C:\\", L"C:\\"},
        {L"C:\\.", L"C:\\"},
        {L"C:\\\\\\a\\\\b", L"C:\\a\\b"},
        {L"C:\\A\\..\\B\\c", L"C:\\B\\c"},  // case is kept
        {L"\\a\\\\b\\", L"\\a\\b"},
        {L"\\..", L"\\"},
        {L"\\", L"\\"},
        {L"a\\..\\b", L"b"},
        {L"..\\..\\a", L"..\\..\\a"},
        {L"a\\..\\..\\b", L"..\\b"},
        {L"a\\..", L""},
        {L"a\\.\\.\\b", L"a\\b"},
        {L"a\\\\b\\\\", L"a\\b"},
        {L"...\\a", L"...\\a"},  // only "." and ".." are special
        {L"..", L".."},
        {L".", L""},
        {L"", L""},
        {L"C:a\\b", L"C:a\\b"},
        {L"C:.", L"C:"},
        {L"C:..\\a", L"C:..\\a"},
        {L"C:a\\..\\..", L"C:.."},
        {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"},
        {L"\\\\srv\\shr", L"\\\\srv\\shr\\"},
        {L"\\\\srv\\shr\\..\\..", L"\\\\srv\\shr\\"},
        {L"\\\\srv\\\\x", L"\\\\srv\\\\x"},  // empty share: the mount point is "\\srv\"
        {L"\\\\?\\C:\\x\\..\\y", L"\\\\?\\C:\\y"},
        {L"\\\\\\xy", L"\\xy"},  // not UNC: a rooted path with runs of backslashes
        {L"\\\\srv", L"\\srv"},
        {L"a/./b", L"a/./b"},  // '/' is no separator
        {L"a/../b\\..", L""},  // the name "a/../b", then ".."
        {L"a\\..\\C:\\x", L"C:\\x"},  // names as they stand: now a drive path
        {L".\\C:\\x", L"C:\\x"},
        {L"x\\..\\c:.\\b", L"c:.\\b"},
        {L"D:x\\..\\C:y", L"D:C:y"},
        {L"1:\\x", L"1:\\x"},
        {std::wstring(L"a\0\\..\\b\0", 8), std::wstring(L"b\0", 2)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(row.text));
        const Path path(row.text);
        EXPECT_EQ(row.normal, path.Normalize().AsString());
        EXPECT_EQ(row.text, path.AsString());

        Path changed(row.text);
        changed.AsNarrowCStr();
        Path& same = changed.MakeNormalized();
        EXPECT_EQ(&changed, &same);
        EXPECT_EQ(row.normal, changed.AsString());
        EXPECT_EQ(NarrowOf(row.normal), changed.AsNarrowString());
    }
}

// Seeded random texts over an alphabet that favours the characters the
// syntax and the expansion look at, an embedded NUL included.
TEST(PathNormalizeTest, PropertiesOfRandomTexts) {
    const wchar_t alphabet[] = L"\\\\\\\\\\//::...%%$${}()*?aBcZ\0 ";
    const std::size_t alphabetSize = sizeof alphabet / sizeof alphabet[0] - 1;  // keeps the NUL
    std::mt19937 random(7771);
    std::uniform_int_distribution<std::size_t> pick(0, alphabetSize - 1);
    std::uniform_int_distribution<std::size_t> length(0, 20);

    for (int i = 0; i < 50000; ++i) {
        std::wstring text(length(random), L'x');
        for (wchar_t& c : text)
            c = alphabet[pick(random)];
        SCOPED_TRACE(testing::Message() << "i: " << i << ", input: " << testing::PrintToString(text));
        const Path path(text);

        const Path normal = path.Normalize();
        // A relative text whose first surviving name looks like a drive
        // ("a\..\C:x") turns into a drive path: another text, judged anew.
        if (!path.HasDriveLetter() && normal.HasDriveLetter())
            continue;
        ASSERT_EQ(normal.AsString(), normal.Normalize().AsString()) << "not idempotent";
        ASSERT_EQ(path.IsAbsolute(), normal.IsAbsolute());
        ASSERT_EQ(path.GetRootName(), normal.GetRootName());

        // Runs of backslashes are folded everywhere after the UNC mount point.
        unsigned end = 0;
        if (!normal.IsUnc(&end))
            end = 0;
        ASSERT_LE(end, normal.GetLength());
        ASSERT_EQ(std::wstring::npos, normal.AsString().find(L"\\\\", end))
            << "normal: " << testing::PrintToString(normal.AsString());

        // No variable has a name made of this alphabet: expansion ends and
        // leaves every reference as it is.
        ASSERT_EQ(text, path.ExpandEnvironmentVariables().AsString());
    }
}

// A temp directory as the process's current directory for the test's span.
class PathAbsoluteTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        saved = RawCurrentDirectory();
        ASSERT_FALSE(saved.empty());
    }

    void TearDown() override {
        // The directory cannot be removed while it is current.
        EXPECT_TRUE(::SetCurrentDirectoryW(saved.c_str())) << ::GetLastError();
        TempDirTest::TearDown();
    }

    std::wstring saved;
};

TEST_F(PathAbsoluteTest, MakeAbsoluteAgainstTheCurrentDirectory) {
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str())) << ::GetLastError();
    const std::wstring current = RawCurrentDirectory();
    ASSERT_FALSE(current.empty());
    ASSERT_EQ(current, Path::GetCurrentDirectoryW().AsString());
    const std::wstring above = current.substr(0, current.rfind(L'\\'));

    struct Row {
        std::wstring text;
        std::wstring absolute;
    } rows[] = {
        {L"x", current + L"\\x"},
        {L"..\\x", above + L"\\x"},
        {L"a\\b\\..\\c\\", current + L"\\a\\c"},
        {L"D:x", current + L"\\D:x"},  // drive-relative: joined like any name
        {L".", current},
        {L"", current},
        {L"\\x", L"\\x"},  // rooted: the current drive stays out
        {L"C:\\w\\.\\y", L"C:\\w\\y"},
        {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(row.text));
        const Path path(row.text);
        EXPECT_EQ(row.absolute, path.Absolute().AsString());
        EXPECT_EQ(row.text, path.AsString());

        Path changed(row.text);
        changed.AsNarrowCStr();
        Path& same = changed.MakeAbsolute();
        EXPECT_EQ(&changed, &same);
        EXPECT_EQ(row.absolute, changed.AsString());
        EXPECT_EQ(NarrowOf(row.absolute), changed.AsNarrowString());
    }
}

TEST_F(PathAbsoluteTest, CurrentDirectoryLongerThanMaxPath) {
    // Nested directories until the path is well past MAX_PATH characters.
    std::wstring deep = dir;
    const std::wstring name(60, L'd');
    while (deep.size() <= 300) {
        deep += L"\\" + name;
        if (!::CreateDirectoryW(deep.c_str(), nullptr))
            GTEST_SKIP() << "the system refused to create a directory of " << deep.size()
                         << " characters (error " << ::GetLastError() << ")";
    }
    if (!::SetCurrentDirectoryW(deep.c_str()))
        GTEST_SKIP() << "the system refused a current directory of " << deep.size()
                     << " characters (error " << ::GetLastError() << ")";
    const std::wstring current = RawCurrentDirectory();
    ASSERT_GT(current.size(), static_cast<std::size_t>(MAX_PATH));

    EXPECT_EQ(current, Path::GetCurrentDirectoryW().AsString());
    EXPECT_EQ(current + L"\\x", Path(L"x").Absolute().AsString());
    EXPECT_EQ(current.substr(0, current.rfind(L'\\')) + L"\\y",
              Path(L"..\\y").Absolute().AsString());
}

// Variables with names unique to this process, removed after each test.
class PathExpandTest : public ::testing::Test {
protected:
    void SetUp() override {
        prefix = L"TARN_EXPAND_" + std::to_wstring(::GetCurrentProcessId()) + L"_";
    }

    void TearDown() override {
        for (const std::wstring& name : names)
            ::SetEnvironmentVariableW(name.c_str(), nullptr);
    }

    // "@" in text stands for the unique prefix.
    std::wstring Named(const std::wstring& text) const {
        std::wstring out;
        for (wchar_t c : text) {
            if (c == L'@')
                out += prefix;
            else
                out += c;
        }
        return out;
    }

    void Set(const std::wstring& name, const std::wstring& value) {
        names.push_back(Named(name));
        ASSERT_TRUE(::SetEnvironmentVariableW(names.back().c_str(), Named(value).c_str()))
            << ::GetLastError();
    }

    std::wstring prefix;
    std::vector<std::wstring> names;
};

TEST_F(PathExpandTest, ExpandEnvironmentVariables) {
    const std::wstring digits = L"0123456789";
    std::wstring hundred;
    for (int i = 0; i < 10; ++i)
        hundred += digits;
    const std::wstring huge(5000, L'h');
    Set(L"@A", L"alpha");
    Set(L"@L31", hundred.substr(0, 31));
    Set(L"@L32", hundred.substr(0, 32));
    Set(L"@L33", hundred.substr(0, 33));
    Set(L"@LONG", hundred);
    Set(L"@HUGE", huge);
    Set(L"@SELF", L"%@SELF%");
    Set(L"@BRACE", L"${@BRACE}");
    Set(L"@TOBRACE", L"${@A}");  // expanded by the later pass
    Set(L"@TOPERCENT", L"%@A%");  // not: the percent pass is over
    Set(L"@ SP", L"spaced");
    Set(L"@EMPTY", L"");

    struct Row {
        const wchar_t* text;
        std::wstring expanded;
    } rows[] = {
        {L"C:\\plain\\text", L"C:\\plain\\text"},
        {L"%@A%", L"alpha"},
        {L"${@A}", L"alpha"},
        {L"$(@A)", L"alpha"},
        {L"C:\\%@A%\\${@A}\\$(@A)\\x", L"C:\\alpha\\alpha\\alpha\\x"},
        {L"x%@A%y%@A%z", L"xalphayalphaz"},
        {L"%@A%${@A}", L"alphaalpha"},
        {L"%@ SP%", L"spaced"},
        {L"%@L31%", hundred.substr(0, 31)},
        {L"%@L32%", hundred.substr(0, 32)},
        {L"%@L33%", hundred.substr(0, 33)},
        {L"<%@LONG%>", L"<" + hundred + L">"},
        {L"${@HUGE}", huge},
        {L"%@SELF%", L"%@SELF%"},
        {L"%@SELF%-%@SELF%", L"%@SELF%-%@SELF%"},
        {L"${@BRACE}", L"${@BRACE}"},
        {L"%@TOBRACE%", L"alpha"},
        {L"${@TOPERCENT}", L"%@A%"},
        {L"%@UNKNOWN%", L"%@UNKNOWN%"},
        {L"%@EMPTY%", L"%@EMPTY%"},
        {L"%@A", L"%@A"},
        {L"${@A", L"${@A"},
        {L"$(@A", L"$(@A"},
        {L"${@A)", L"${@A)"},
        {L"$(@A}", L"$(@A}"},
        {L"%@A%%@A", L"alpha%@A"},
        {L"%@UNKNOWN%@A%", L"%@UNKNOWN%@A%"},  // the scan goes on after the closing '%'
        {L"%%", L"%%"},
        {L"$@A", L"$@A"},
        {L"{@A}", L"{@A}"},
        {L"", L""},
    };
    for (const Row& row : rows) {
        const std::wstring text = Named(row.text);
        const std::wstring expected = Named(row.expanded);
        SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(text));
        const Path path(text);
        EXPECT_EQ(expected, path.ExpandEnvironmentVariables().AsString());
        EXPECT_EQ(text, path.AsString());

        Path changed(text);
        changed.AsNarrowCStr();
        Path& same = changed.MakeEnvironmentVariablesExpanded();
        EXPECT_EQ(&changed, &same);
        EXPECT_EQ(expected, changed.AsString());
        EXPECT_EQ(NarrowOf(expected), changed.AsNarrowString());
    }
}

TEST_F(PathExpandTest, NameHoldingNulIsNotLookedUp) {
    // The system would read the name only up to the NUL and find @A.
    Set(L"@A", L"alpha");
    const std::wstring text = L"%" + Named(L"@A") + std::wstring(L"\0x%", 3);
    EXPECT_EQ(text, Path(text).ExpandEnvironmentVariables().AsString());
}
