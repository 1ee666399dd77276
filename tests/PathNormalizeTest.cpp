// Path validity, normalization, making absolute and environment expansion.
#include <TarnIO/Path.h>

#include "TestSupport.h"

#include <string>

using TarnIO::Path;

namespace {

std::wstring Repeat(const std::wstring& text, int times) {
    return times > 0 ? text + Repeat(text, times - 1) : std::wstring();
}

// get gives expected and leaves the path alone; make turns the path into expected in place,
// replacing a narrow form cached for the old text.
void ExpectTwins(const std::wstring& text, const std::wstring& expected,
                 Path (Path::*get)() const, Path& (Path::*make)()) {
    SCOPED_TRACE(testing::Message() << "input: " << testing::PrintToString(text));
    EXPECT_EQ(expected, (Path(text).*get)().AsString());
    Path changed(text);
    changed.AsNarrowCStr();
    EXPECT_EQ(&changed, &(changed.*make)());
    EXPECT_EQ(Path(expected).AsNarrowString(), changed.AsNarrowString());
}

}  // namespace

TEST(PathNormalizeTest, Validity) {
    const std::wstring chars(L"\0\x1F<>:\"/\\| *?.a", 14);  // 9 invalid
    for (std::size_t i = 0; i < chars.size(); ++i)
        EXPECT_EQ(i < 9, Path::IsInvalidChar(chars[i])) << i;

    // Devices whole names only, in any case; wildcards are allowed.
    struct Row { std::wstring name; bool valid; } rows[] = {
        {std::wstring(255, L'a'), true},
        {std::wstring(256, L'a'), false},
        {L"", false},
        {L"a\x1F", false},
        {L"con", false},
        {L"clock$", false},
        {L"CONSOLE", true},
        {L"COM10", true},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.valid, Path::IsValidName(row.name)) << testing::PrintToString(row.name);

    EXPECT_TRUE(Path(L"C:\\*").HasWildcards() && Path(std::wstring(L"a\0?", 3)).HasWildcards());
    EXPECT_FALSE(Path(L"C:\\%$[]").HasWildcards());
}

TEST(PathNormalizeTest, Normalize) {
    struct Row { std::wstring text, normal; } rows[] = {
        {L"C:\\\\a\\.\\b\\..\\c\\", L"C:\\a\\c"},
        {L"C:\\a\\..\\..\\b", L"C:\\b"},  // nothing climbs above the root
        {L"\\..", L"\\"},
        {L"a\\..", L""},
        {L"a\\..\\..\\..\\b", L"..\\..\\b"},
        {L"C:a\\..\\..\\b", L"C:..\\b"},
        {L"...\\a", L"...\\a"},  // only "." and ".." are special
        {L"\\\\srv\\shr\\x\\..\\..\\y", L"\\\\srv\\shr\\y"},
        {L"\\\\srv\\\\x", L"\\\\srv\\\\x"},  // empty share: the mount point is "\\srv\"
        // More names than fit in a small fixed buffer.
        {L"C:\\" + Repeat(L"n\\.\\", 200) + L"..\\x", L"C:\\" + Repeat(L"n\\", 199) + L"x"},
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.normal, &Path::Normalize, &Path::MakeNormalized);
}

TEST(PathNormalizeTest, AbsoluteAndExtended) {
    static wchar_t buffer[32768];
    const std::wstring current(buffer, ::GetCurrentDirectoryW(32768, buffer));
    const std::wstring above = current.substr(0, current.rfind(L'\\'));
    struct Row { std::wstring text, absolute; } rows[] = {
        {L"..\\x", above + L"\\x"},
        {L"C:\\w\\.\\y", L"C:\\w\\y"},
        {L"D:x", current + L"\\D:x"},  // drive-relative: a name
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.absolute, &Path::Absolute, &Path::MakeAbsolute);
    // The extended form resolves as the system would, then stops the system resolving.
    const std::wstring x = L"\\\\?\\";
    const Row extended[] = {
        {L"a/b\\..\\c. ", x + current + L"\\a\\c"},
        {L"", L""},
        {L"\\\\srv\\shr\\x\\..\\y", x + L"UNC\\srv\\shr\\y"},
        {L"con", L"\\\\.\\con"},
        {x + L"C:\\a\\..", x + L"C:\\a\\.."},
        {L"\\\\.\\pipe\\p", L"\\\\.\\pipe\\p"},
    };
    for (const Row& row : extended)
        ExpectTwins(row.text, row.absolute, &Path::Extended, &Path::MakeExtended);
}

TEST(PathNormalizeTest, ExpandEnvironmentVariables) {
    // For this process only; the lookup's first buffer holds 31 characters and the NUL.
    const std::wstring v32(32, L'v');
    const std::pair<const wchar_t*, std::wstring> variables[] = {
        {L"TN_A", L"alpha"},
        {L"TN_32", v32},
        {L"TN_SELF", L"%TN_SELF%"},
        {L"TN_EMPTY", L""},
        {L"TN_BRACE", L"${TN_A}"},
    };
    for (const auto& v : variables)
        ASSERT_TRUE(::SetEnvironmentVariableW(v.first, v.second.c_str()));
    struct Row { std::wstring text, expanded; } rows[] = {
        {L"C:\\%TN_A%\\${TN_A}\\$(TN_A)\\x", L"C:\\alpha\\alpha\\alpha\\x"},
        {L"<%TN_32%>", L"<" + v32 + L">"},
        {L"%TN_SELF%-%TN_SELF%", L"%TN_SELF%-%TN_SELF%"},  // a value is not scanned again
        {L"%TN_BRACE%", L"alpha"},  // but by the later passes
        {L"%TN_EMPTY%", L"%TN_EMPTY%"},
        {L"%TN_A%%TN_A", L"alpha%TN_A"},
        {L"%TN_UNKNOWN%TN_A%", L"%TN_UNKNOWN%TN_A%"},  // the scan goes on after the closing '%'
        {std::wstring(L"%TN_A\0x%", 8), std::wstring(L"%TN_A\0x%", 8)},  // not TN_A
    };
    for (const Row& row : rows)
        ExpectTwins(row.text, row.expanded, &Path::ExpandEnvironmentVariables,
                    &Path::MakeEnvironmentVariablesExpanded);
    for (const auto& v : variables)
        ::SetEnvironmentVariableW(v.first, nullptr);
}
