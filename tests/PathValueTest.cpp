// Path as a value: construction, the narrow form it keeps, assignment, comparison.
#include <TarnIO/Path.h>

#include <gtest/gtest.h>

#include <string>

using TarnIO::Path;

namespace {

// The wide text (ASCII here), the narrow form and the length of a path, as one line: a
// narrow form that outlived its text shows.
std::string Both(const Path& path) {
    const std::wstring& wide = path.AsString();
    return std::string(wide.begin(), wide.end()) + "|" + path.AsNarrowCStr() + "|" +
           std::to_string(path.GetLength());
}

}  // namespace

TEST(PathValueTest, ConstructionAssignmentAndTheNarrowForm) {
    EXPECT_EQ("C:\\a|C:\\a|4", Both(Path("C:\\a")));
    EXPECT_EQ("C:\\a|C:\\a|4", Both(Path(std::string("C:\\a"))));
    Path path("old");  // each assignment replaces the narrow form too
    EXPECT_EQ("x|x|1", Both(path = L"x"));
    EXPECT_EQ("y|y|1", Both(path = std::wstring(L"y")));
    const Path other("zz");
    EXPECT_EQ("zz|zz|2", Both(path = other));
    path.Clear();
    EXPECT_EQ("||0", Both(path));
}

// Caseless, on the whole text as it stands.
TEST(PathValueTest, Compare) {
    const Path dir(L"C:\\Dir");
    EXPECT_EQ(0, dir.Compare(Path(L"c:\\dir")));
    EXPECT_GT(0, dir.Compare(std::wstring(L"c:\\dir\\")));
    EXPECT_LT(0, dir.Compare(L"C:\\Ab"));
    EXPECT_GT(0, dir.Compare(L"C:\\Dir\\..\\Dir"));
}
