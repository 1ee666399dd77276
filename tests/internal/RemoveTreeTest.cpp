// Path::RemoveTree never follows a reparse point: junctions inside the tree, one that
// appears between a directory's listing and its opening, and one given as the path itself go
// as links, and what they point to stays (FakeLinks.h stands in for the links Wine cannot
// make). A read-only link keeps its attribute: changing it by name could reach the target.
// Roots are refused before anything is touched; that is tested with every call that could
// remove anything faked to fail, so that a fault in the check cannot empty a drive.
#include "FakeLinks.h"
#include "TestSupport.h"

#include <TarnIO/Error.h>

using TarnIO::Path;
namespace sys = TarnIO::sys;

namespace {

struct RemoveTreeTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

TEST_F(RemoveTreeTest, LinksGoAsLinksAndWhatTheyPointToStays) {
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

int touched = 0;
template <class R, int failed, class... A> R WINAPI Refuse(A...) {  // -1: all ones
    ++touched;
    ::SetLastError(ERROR_ACCESS_DENIED);
    return (R)(std::intptr_t)failed;
}

TEST_F(RemoveTreeTest, RootsAreRefusedBeforeAnythingIsTouched) {
    sys::table.GetFileAttributesW = Refuse<DWORD, -1, LPCWSTR>;
    sys::table.CreateFileW = Refuse<HANDLE, -1, LPCWSTR, DWORD, DWORD,
                                    LPSECURITY_ATTRIBUTES, DWORD, DWORD, HANDLE>;
    sys::table.FindFirstFileW = Refuse<HANDLE, -1, LPCWSTR, LPWIN32_FIND_DATAW>;
    sys::table.SetFileAttributesW = Refuse<BOOL, 0, LPCWSTR, DWORD>;
    sys::table.DeleteFileW = Refuse<BOOL, 0, LPCWSTR>;
    sys::table.RemoveDirectoryW = Refuse<BOOL, 0, LPCWSTR>;
    for (const wchar_t* root : {L"C:\\", L"C:", L"\\", L"\\\\srv\\shr\\", L"\\\\?\\C:\\",
                                L"\\\\?\\UNC\\srv\\shr", L"\\\\.\\pipe\\", L"C:\\x\\..\\",
                                L"\\x\\.\\..", L"\\\\srv\\shr\\x\\.."}) {
        EXPECT_EQ(".\\Path TarnIO::Path::RemoveTree: invalid argument; invalidArgumentName=path",
                  TarnTest::Thrown<TarnError::InvalidArgument>([&] { Path(root).RemoveTree(); }))
            << Path(root).AsNarrowString();
    }
    EXPECT_EQ(0, touched);
    // The fakes are in use: anything else gets as far as the first of them.
    EXPECT_EQ(".\\Path TarnIO::Path::RemoveTree: unable to remove directory tree; FileErrorCode="
              "fileErrorAccessDenied; Win32Error=5; path=" + Path(In(L"x")).AsNarrowString(),
              TarnTest::Thrown<TarnIO::Error>([&] { Path(In(L"x")).RemoveTree(); }));
    EXPECT_EQ(1, touched);
}

}  // namespace
