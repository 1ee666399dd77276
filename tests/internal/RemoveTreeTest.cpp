// Path::RemoveTree never follows a reparse point: junctions inside the tree, one that
// appears between a directory's listing and its opening, and one given as the path itself go
// as links, and what they point to stays (FakeLinks.h stands in for the links Wine cannot
// make). A read-only link keeps its attribute: changing it by name could reach the target.
#include "FakeLinks.h"
#include "TestSupport.h"

using TarnIO::Path;
namespace sys = TarnIO::sys;

namespace {

struct LinkRemovalTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

TEST_F(LinkRemovalTest, LinksGoAsLinksAndWhatTheyPointToStays) {
    for (auto name : {L"t", L"t\\junction", L"t\\sub", L"t\\sub\\swapped", L"junction", L"out"})
        MakeDir(name);
    for (auto name : {L"t\\junction\\kept", L"t\\sub\\swapped\\kept", L"junction\\kept",
                      L"t\\link"})
        MakeFile(name, "kept");
    ASSERT_TRUE(::SetFileAttributesW(In(L"t\\link").c_str(), FILE_ATTRIBUTE_READONLY));
    FakeLinks::Install(sys::table, In(L"out"));
    EXPECT_TRUE(Path(In(L"t")).RemoveTree());
    EXPECT_TRUE(Path(In(L"junction\\")).RemoveTree());  // the path itself is a link
    sys::table = sys::realTable;
    TarnTest::Names moved;  // in the order removed, which the listing decides
    for (const wchar_t* name : {L"out\\1", L"out\\2", L"out\\3", L"out\\4"}) {
        const DWORD attributes = ::GetFileAttributesW(In(name).c_str());
        moved.push_back(attributes & FILE_ATTRIBUTE_DIRECTORY
                            ? "directory " + ReadBack(In(name) + L"\\kept")
                            : "file " + ReadBack(In(name)) +
                                  (attributes & FILE_ATTRIBUTE_READONLY ? " read-only" : ""));
    }
    std::sort(moved.begin(), moved.end());
    EXPECT_EQ(TarnTest::Names({"directory kept", "directory kept", "directory kept",
                               "file kept read-only"}),
              moved);
    EXPECT_EQ(8u, TarnTest::Listing(dir).size());  // out, its four and the three kept inside
}

}  // namespace
