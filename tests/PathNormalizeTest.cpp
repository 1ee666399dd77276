// Path validity, normalization, making absolute and environment expansion.
#include <TarnIO/Path.h>

#include "TestSupport.h"

#include <random>
#include <string>

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
    EXPECT_EQ(expected, (Path(text).*get)().AsString());
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
    const std::wstring chars(L"\0\x01\t\x1F<>:\"/\\| *?.\x7F" L"a$%\x00E9", 20);  // 11 invalid
    for (std::size_t i = 0; i < chars.size(); ++i)
        EXPECT_EQ(i < 11, Path::IsInvalidChar(chars[i])) << std::hex << unsigned(chars[i]);

    // Only a whole-name match is reserved; wildcards are allowed in a name.
    struct Row { std::wstring name; bool valid; } rows[] = {
        {std::wstring(255, L'a'), true}, {std::wstring(256, L'a'), false}, {L"", false},
        {L"name. ", true}, {L"\x00C4\x00D6", true},
        {L"a:b", false}, {std::wstring(L"a\0b", 3), false}, {L"a\x1F", false}, {L"con", false},
        {L"Nul", false}, {L"aUx", false}, {L"clock$", false}, {L"com1", false}, {L"COM9", false},
        {L"Lpt1", false}, {L"CON.txt", true}, {L"COM10", true}, {L"LPT0", true}, {L"C", true},
        {L"CONSOLE", true}, {L"CLOCK", true}, {L"LPT", true}, {L"CO", true}, {L"a*b?", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.valid, Path::IsValidName(row.name)) << testing::PrintToString(row.name);

    for (const std::wstring& text : {std::wstring(L"C:\\*.txt"), std::wstring(L"a\0?", 3)})
        EXPECT_TRUE(Path(text).HasWildcards()) << Path(text).AsNarrowString();  // past a NUL
    for (const wchar_t* text : {L"C:\\dir", L"", L"%$[]"})
        EXPECT_FALSE(Path(text).HasWildcards()) << Path(text).AsNarrowString();
}

TEST(PathNormalizeTest, Normalize) {
    struct Row { std::wstring text, normal; } rows[] = {
        {L"C:\\a\\.\\b\\..\\c\\", L"C:\\a\\c"}, {L"C:\\..\\a", L"C:\\a"}, {L"C:\\.", L"C:\\"},
        {L"C:\\a\\..\\..", L"C:\\"}, {L"C:\\\\\\a\\\\b", L"C:\\a\\b"}, {L"\\", L"\\"},
        {L"C:\\A\\..\\B\\c", L"C:\\B\\c"}, {L"..", L".."},  // case is kept
        {L"a\\..\\b", L"b"}, {L"a\\..", L""}, {L".", L""}, {L"", L""}, {L"\\..", L"\\"},
        {L"..\\..\\a", L"..\\..\\a"}, {L"a\\..\\..\\b", L"..\\b"}, {L"a\\\\b\\\\", L"a\\b"},
        {L"C:a\\b", L"C:a\\b"}, {L"C:.", L"C:"}, {L"C:..\\a", L"C:..\\a"}, {L"1:\\x", L"1:\\x"},
        {L"C:a\\..\\..", L"C:.."}, {L"...\\a", L"...\\a"},  // only "." and ".." are special
        {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"}, {L"\\\\srv\\shr", L"\\\\srv\\shr\\"},
        {L"\\\\srv\\shr\\..\\..", L"\\\\srv\\shr\\"}, {L"\\\\?\\C:\\x\\..\\y", L"\\\\?\\C:\\y"},
        {L"\\\\srv\\\\x", L"\\\\srv\\\\x"},  // empty share: the mount point is "\\srv\"
        {L"\\\\\\xy", L"\\xy"},  // not UNC: a rooted path with runs of backslashes
        {L"a/../b\\..", L""},         // '/' is no separator: the name "a/../b", then ".."
        {L"a\\..\\C:\\x", L"C:\\x"}, {L"D:x\\..\\C:y", L"D:C:y"},  // names as they stand
        {std::wstring(L"a\0\\..\\b\0", 8), std::wstring(L"b\0", 2)},
        // More names than fit in a small fixed buffer.
        {L"C:\\" + Repeat(L"n\\.\\", 200) + L"..\\x", L"C:\\" + Repeat(L"n\\", 199) + L"x"},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.normal, &Path::Normalize, &Path::MakeNormalized);
}

// Seeded random texts over what the syntax and the expansion look at, NUL included.
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
        const std::size_t from = normal.IsUnc(&end) ? end : 0;
        ASSERT_EQ(std::wstring::npos, normal.AsString().find(L"\\\\", from));
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
        {L"x", current + L"\\x"}, {L"..\\x", above + L"\\x"}, {L"", current},
        {L"a\\b\\..\\c\\", current + L"\\a\\c"}, {L"C:\\w\\.\\y", L"C:\\w\\y"},
        {L"D:x", current + L"\\D:x"}, {L"\\x", L"\\x"},  // drive-relative: a name; rooted: kept
        {L"\\\\srv\\shr\\x\\..\\y", L"\\\\srv\\shr\\y"},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.absolute, &Path::Absolute, &Path::MakeAbsolute);
    // The extended form resolves as the system would, then stops the system resolving.
    const std::wstring x = L"\\\\?\\", here = x + current;
    const Row extended[] = {
        {L"x", here + L"\\x"}, {L"a/b\\..\\c. ", here + L"\\a\\c"}, {L"", L""},
        {L"\\x", x + current.substr(0, 2) + L"\\x"}, {L"C:\\w\\.\\y\\", x + L"C:\\w\\y\\"},
        {L"\\\\srv\\shr\\x\\..\\y", x + L"UNC\\srv\\shr\\y"}, {L"con", L"\\\\.\\con"},
        {x + L"C:\\a\\..", x + L"C:\\a\\.."}, {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},
    };
    for (const Row& row : extended)
        ExpectTwins(row.text, row.absolute, &Path::Extended, &Path::MakeExtended);

    // A current directory longer than MAX_PATH: the first lookup's buffer is too small.
    std::wstring deep = dir;
    bool made = true;
    while (made && deep.size() <= 300)
        made = ::CreateDirectoryW((deep += L"\\" + std::wstring(60, L'd')).c_str(), nullptr);
    if (!made || !::SetCurrentDirectoryW(deep.c_str()))
        GTEST_SKIP() << "the system refused a directory of " << deep.size() << " characters";
    ASSERT_GT(RawCurrentDirectory().size(), static_cast<std::size_t>(MAX_PATH));
    EXPECT_EQ(RawCurrentDirectory(), Path::GetCurrentDirectoryW().AsString());
    EXPECT_EQ(deep + L"\\y", Path(L"x\\..\\y").Absolute().AsString());
}

TEST(PathNormalizeTest, ExpandEnvironmentVariables) {
    // Set for this process only; the lookup's first buffer holds 31 characters and the NUL.
    const std::wstring hundred = Repeat(L"0123456789", 10), huge(5000, L'h');
    const std::pair<const wchar_t*, std::wstring> variables[] = {
        {L"TN_A", L"alpha"}, {L"TN_31", hundred.substr(0, 31)}, {L"TN_32", hundred.substr(0, 32)},
        {L"TN_HUGE", huge}, {L"TN_SELF", L"%TN_SELF%"}, {L"TN_BRACE", L"${TN_BRACE}"},
        {L"TN_ SP", L"spaced"}, {L"TN_EMPTY", L""}, {L"TN_TOPERCENT", L"%TN_A%"},  // too late
        {L"TN_TOBRACE", L"${TN_A}"}};  // expanded by the later pass
    for (const auto& v : variables)
        ASSERT_TRUE(::SetEnvironmentVariableW(v.first, v.second.c_str()));
    struct Row { std::wstring text, expanded; } rows[] = {
        {L"C:\\plain\\text", L"C:\\plain\\text"}, {L"", L""}, {L"%TN_A%", L"alpha"},
        {L"C:\\%TN_A%\\${TN_A}\\$(TN_A)\\x", L"C:\\alpha\\alpha\\alpha\\x"},
        {L"%TN_ SP%", L"spaced"}, {L"%TN_31%", hundred.substr(0, 31)}, {L"$TN_A", L"$TN_A"},
        {L"%TN_32%", hundred.substr(0, 32)}, {L"<${TN_HUGE}>", L"<" + huge + L">"},
        {L"%TN_SELF%-%TN_SELF%", L"%TN_SELF%-%TN_SELF%"}, {L"${TN_BRACE}", L"${TN_BRACE}"},
        {L"%TN_TOBRACE%", L"alpha"}, {L"${TN_TOPERCENT}", L"%TN_A%"}, {L"%%", L"%%"},
        {L"%TN_UNKNOWN%", L"%TN_UNKNOWN%"}, {L"%TN_EMPTY%", L"%TN_EMPTY%"}, {L"{TN_A}", L"{TN_A}"},
        {L"%TN_A", L"%TN_A"}, {L"${TN_A)", L"${TN_A)"}, {L"$(TN_A}", L"$(TN_A}"},
        {L"%TN_A%%TN_A", L"alpha%TN_A"},
        {L"%TN_UNKNOWN%TN_A%", L"%TN_UNKNOWN%TN_A%"},  // the scan goes on after the closing '%'
        // The system would read the name only up to the NUL and find TN_A.
        {std::wstring(L"%TN_A\0x%", 8), std::wstring(L"%TN_A\0x%", 8)},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.expanded, &Path::ExpandEnvironmentVariables,
                    &Path::MakeEnvironmentVariablesExpanded);
    for (const auto& v : variables)
        ::SetEnvironmentVariableW(v.first, nullptr);
}
