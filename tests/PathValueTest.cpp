// Path as a value: construction, the narrow form it keeps, assignment, comparison.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <string>

using TarnIO::Path;

namespace {

// The wide text (ASCII here) and the narrow form of a path: a narrow form that outlived its
// text shows.
std::string Both(const Path& path) {
    const std::wstring& wide = path.AsString();
    return std::string(wide.begin(), wide.end()) + "|" + path.AsNarrowCStr();
}

}  // namespace

TEST(PathValueTest, ConstructionAssignmentComparison) {
    EXPECT_EQ("C:\\a|C:\\a", Both(Path("C:\\a")));
    EXPECT_EQ("C:\\a|C:\\a", Both(Path(std::string("C:\\a"))));
    Path path("old");  // each assignment replaces the narrow form too
    EXPECT_EQ("x|x", Both(path = L"x"));
    EXPECT_EQ("y|y", Both(path = std::wstring(L"y")));
    const Path other("zz");
    EXPECT_EQ("zz|zz", Both(path = other));
    path.Clear();
    EXPECT_EQ("|", Both(path));
    // Comparison: caseless, on the whole text as it stands.
    const Path dir(L"C:\\Dir");
    EXPECT_EQ(0, dir.Compare(Path(L"c:\\dir")));
    EXPECT_GT(0, dir.Compare(std::wstring(L"c:\\dir\\")));
    EXPECT_LT(0, dir.Compare(L"C:\\Ab"));
    EXPECT_GT(0, dir.Compare(L"C:\\Dir\\..\\Dir"));
}
