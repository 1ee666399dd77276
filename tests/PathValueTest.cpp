// Path as a value: construction, the narrow cache, assignment, comparison.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <string>

namespace TarnIO {
// Reaches the private constructor from a pointer and a length.
class PathTestAccess {
public:
    static Path Make(const wchar_t* text, unsigned length) { return Path(text, length); }
};
}  // namespace TarnIO

using TarnIO::Path;

TEST(PathValueTest, DefaultIsEmpty) {
    Path path;
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_EQ(0u, path.GetLength());
    EXPECT_STREQ(L"", path.AsCStr());
    EXPECT_STREQ("", path.AsNarrowCStr());
}

TEST(PathValueTest, ConstructionForms) {
    EXPECT_EQ(L"C:\\a", Path(L"C:\\a").AsString());
    EXPECT_EQ(L"C:\\a", Path(std::wstring(L"C:\\a")).AsString());
    EXPECT_EQ(L"C:\\a", Path("C:\\a").AsString());
    EXPECT_EQ(L"C:\\a", Path(std::string("C:\\a")).AsString());
    EXPECT_EQ(4u, Path("C:\\a").GetLength());
}

TEST(PathValueTest, EmbeddedNulIsKeptByThePointerAndLengthConstructor) {
    Path path = TarnIO::PathTestAccess::Make(L"a\0b-ignored", 3);
    EXPECT_EQ(3u, path.GetLength());
    EXPECT_EQ(std::wstring(L"a\0b", 3), path.AsString());
    EXPECT_EQ(std::string("a\0b", 3), path.AsNarrowString());
}

TEST(PathValueTest, NarrowTextIsKeptByteForByte) {
    // 0xFF has no letter in some code pages; whatever widening makes of it,
    // the narrow form is the bytes the caller gave.
    const char bytes[] = "dir\\\xFF\xFE-name";
    Path path(bytes);
    EXPECT_STREQ(bytes, path.AsNarrowCStr());
    Path fromString{std::string(bytes)};
    EXPECT_STREQ(bytes, fromString.AsNarrowCStr());
}

TEST(PathValueTest, ChangingTheTextDropsTheNarrowForm) {
    Path path("old");
    ASSERT_STREQ("old", path.AsNarrowCStr());
    path = L"x";
    EXPECT_STREQ("x", path.AsNarrowCStr());
    path = std::wstring(L"y");
    EXPECT_STREQ("y", path.AsNarrowCStr());
    path.Clear();
    EXPECT_TRUE(path.IsEmpty());
    EXPECT_STREQ("", path.AsNarrowCStr());
}

TEST(PathValueTest, CopyRecomputesButAssignmentTakesOverTheNarrowForm) {
    // A narrow form that differs from the conversion of the wide text shows
    // which of the two a path hands out.
    const char bytes[] = "\xFF";
    Path source(bytes);
    std::string converted = Path(source.AsString()).AsNarrowString();

    Path copy(source);
    EXPECT_EQ(source.AsString(), copy.AsString());
    EXPECT_EQ(converted, copy.AsNarrowString());

    Path assigned;
    assigned = source;
    EXPECT_STREQ(bytes, assigned.AsNarrowCStr());
}

TEST(PathValueTest, Compare) {
    struct Row {
        const wchar_t* a;
        const wchar_t* b;
        int sign;
    } rows[] = {
        {L"C:\\Dir", L"c:\\dir", 0}, {L"a", L"b", -1},         {L"b", L"a", 1},
        {L"", L"abc", -1},           {L"C:\\dir", L"C:\\dir\\", -1},
        {L"C:\\a\\..\\b", L"C:\\b", -1},  // texts as they stand
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(row.a)) + " vs " +
                     testing::PrintToString(std::wstring(row.b)));
        Path a(row.a);
        auto sign = [](int v) { return (v > 0) - (v < 0); };
        EXPECT_EQ(row.sign, sign(a.Compare(Path(row.b))));
        EXPECT_EQ(row.sign, sign(a.Compare(std::wstring(row.b))));
        EXPECT_EQ(row.sign, sign(a.Compare(row.b)));
    }
}
