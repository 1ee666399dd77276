// RemoveTree through links (faked by FakeLinks.h) and on roots.
#include "FakeLinks.h"
#include "TestSupport.h"

#include <TarnIO/Error.h>

using TarnIO::Path;
namespace sys = TarnIO::sys;

namespace {

struct RemoveTreeTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

// Junctions inside the tree, one that appears between a directory's listing and its opening
// and one given as the path itself go as links; what they point to stays. A read-only link
// keeps its attribute: clearing it by name could reach the target.
TEST_F(RemoveTreeTest, LinksGoAsLinksAndWhatTheyPointToStays) {
    for (auto name : {L"t", L"t\\junction", L"t\\sub", L"t\\sub\\swapped", L"junction", L"out"})
        MakeDir(name);
    for (auto name : {L"t\\junction\\kept", L"t\\sub\\swapped\\kept", L"junction\\kept",
                      L"t\\link"})
        MakeFile(name);
    ASSERT_TRUE(::SetFileAttributesW(In(L"t\\link").c_str(), FILE_ATTRIBUTE_READONLY));
    FakeLinks::Install(sys::table, In(L"out"));
    EXPECT_TRUE(Path(In(L"t")).RemoveTree());
    EXPECT_TRUE(Path(In(L"junction\\")).RemoveTree());  // the path itself is a link
    sys::table = sys::realTable;
    int readOnly = 0;  // of the links moved out, the read-only files: the one link
    for (auto name : {L"out\\1", L"out\\2", L"out\\3", L"out\\4"}) {
        const DWORD kind = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY;
        readOnly += (::GetFileAttributesW(In(name).c_str()) & kind) == FILE_ATTRIBUTE_READONLY;
    }
    EXPECT_EQ(1, readOnly);
    EXPECT_EQ(8u, TarnTest::Listing(dir).size());  // out, its four and the three kept inside
}

int touched = 0;
template <class R, int failed, class... A> R WINAPI Refuse(A...) {  // -1: all ones
    ++touched;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return (R)(std::intptr_t)failed;
}

// Roots are refused before anything is touched: tested with the first call after the check and
// every call that could change anything faked to fail, so that a broken check empties no drive.
TEST_F(RemoveTreeTest, RootsAreRefusedBeforeAnythingIsTouched) {
    sys::table.GetFileAttributesW = Refuse<DWORD, -1, LPCWSTR>;
    sys::table.SetFileAttributesW = Refuse<BOOL, 0, LPCWSTR, DWORD>;
    sys::table.DeleteFileW = Refuse<BOOL, 0, LPCWSTR>;
    sys::table.RemoveDirectoryW = Refuse<BOOL, 0, LPCWSTR>;
    for (const wchar_t* root : {
             L"C:\\",
             L"C:",
             L"\\",
             L"\\\\srv\\shr\\",
             L"\\\\?\\C:\\",
             L"\\\\?\\UNC\\srv\\shr",
             L"\\\\.\\pipe\\",
             L"C:\\x\\..\\",
             L"\\x\\.\\..",
             L"\\\\srv\\shr\\x\\..",
         }) {
        EXPECT_EQ(".\\Path TarnIO::Path::RemoveTree: invalid argument; invalidArgumentName=path",
                  TarnTest::Thrown<TarnError::InvalidArgument>([&] { Path(root).RemoveTree(); }))
            << Path(root).AsNarrowString();
    }
    EXPECT_EQ(0, touched);
    // The fakes are in use: anything else gets as far as the first of them.
    EXPECT_NE("", TarnTest::RemoveTree(In(L"x")));
    EXPECT_EQ(1, touched);
}

}  // namespace
