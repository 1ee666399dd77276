// Search handles of PathIterator, counted through the system call table: every
// FindFirstFileW that succeeded is matched by one FindClose however the walk is
// left (destroyed at any depth, or started again elsewhere); a walk to its end
// and failing searches are the fault sweep's. The same seam feeds reparse
// points that Wine cannot make to the attribute copies of Path and PathIterator.
#include "TarnIO/Path.h"
#include "TarnIO/PathIterator.h"
#include "TarnIO/PathStats.h"
#include "Sys.h"
#include "TestSupport.h"

using TarnIO::Path;
using TarnIO::PathIterator;
using TarnIO::PathStats;
namespace sys = TarnIO::sys;

namespace {

int opened = 0, closed = 0;
const std::wstring linkName = L"link";  // entries of this name look like symbolic links

void DressAsLink(WIN32_FIND_DATAW* data) {
    const bool link = linkName == data->cFileName;
    data->dwFileAttributes |= link ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    data->dwReserved0 = link ? 0xA000000C : 0xDEADBEEF;  // junk where no tag belongs: never copied
}
HANDLE WINAPI FakeFindFirst(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE handle = sys::realTable.FindFirstFileW(name, data);
    if (handle != INVALID_HANDLE_VALUE)
        ++opened, DressAsLink(data);
    return handle;
}
BOOL WINAPI FakeFindNext(HANDLE handle, LPWIN32_FIND_DATAW data) {
    return sys::realTable.FindNextFileW(handle, data) && (DressAsLink(data), true);
}
BOOL WINAPI FakeFindClose(HANDLE handle) { return ++closed, sys::realTable.FindClose(handle); }
DWORD WINAPI FakeGetFileAttributes(LPCWSTR name) {
    const DWORD attributes = sys::realTable.GetFileAttributesW(name);
    const std::wstring text = name;
    const bool link = text.size() > linkName.size() && text.substr(text.size() - linkName.size()) == linkName;
    return attributes | (attributes != INVALID_FILE_ATTRIBUTES && link ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}

class FindHandleTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        opened = closed = 0;
        sys::table.FindFirstFileW = FakeFindFirst;
        sys::table.FindNextFileW = FakeFindNext;
        sys::table.FindClose = FakeFindClose;
        sys::table.GetFileAttributesW = FakeGetFileAttributes;
    }
    void TearDown() override {
        sys::table = sys::realTable;
        EXPECT_EQ(opened, closed) << "search handles left open";
        TempDirTest::TearDown();
    }
};

TEST_F(FindHandleTest, LeavingTheWalkAnywhereClosesEveryLevel) {
    // dir: f, sub\{a,b,c}, other\deeper\g, later\h: 10 entries.
    MakeFile(L"f");
    for (const wchar_t* name : {L"sub", L"other", L"other\\deeper", L"later"})
        MakeDir(name);
    for (const wchar_t* name : {L"sub\\a", L"sub\\b", L"sub\\c", L"other\\deeper\\g", L"later\\h"})
        MakeFile(name);
    for (int stopAfter = 1; stopAfter <= 10; ++stopAfter) {
        for (bool startAgain : {false, true}) {
            SCOPED_TRACE(std::to_string(stopAfter) + (startAgain ? ", then Start elsewhere" : ", then destroyed"));
            {
                PathIterator it(Path(In(L"*")), PathIterator::recursive);
                for (int i = 1; i < stopAfter; ++i)
                    ASSERT_TRUE(it.Next());
                ASSERT_FALSE(it.IsDone());
                if (startAgain) {
                    EXPECT_FALSE(it.Start(Path(In(L"missing\\*")), 0));
                    EXPECT_EQ(opened, closed);
                }
            }
            EXPECT_EQ(opened, closed);
        }
    }
}

TEST_F(FindHandleTest, ReparseTagComesFromTheSearchDataOfAReparsePoint) {
    MakeFile(L"link", "12345");
    MakeFile(L"plain", "1");
    PathStats link;
    ASSERT_TRUE(Path(In(L"link")).Query(link));
    EXPECT_TRUE(link.IsSymlink());
    EXPECT_EQ(0xA000000CUL, link.GetReparseTag());
    EXPECT_TRUE(Path(In(L"link")).IsFile());  // Path::IsFile does not count the reparse bit against a file
    int checked = 0;
    for (PathIterator it(Path(In(L"*")), 0); it != PathIterator::end; ++it, ++checked) {
        PathStats stats;
        ASSERT_TRUE(it.Query(stats));
        const bool isLink = it.GetPath().AsString() == In(L"link");
        EXPECT_EQ(isLink, stats.IsSymlink());
        EXPECT_EQ(isLink ? 0xA000000CUL : 0UL, stats.GetReparseTag());
    }
    EXPECT_EQ(2, checked);
    PathStats plain;
    EXPECT_TRUE(Path(In(L"plain")).Query(plain) && plain.GetReparseTag() == 0u);
}

}  // namespace
