// PathIterator's searches through the call table: each FindFirstFileW is matched by one
// FindClose however the walk is left (at its end and on failures: the fault sweep), and entries
// named "link" are dressed as the symbolic links Wine cannot make.
#include "../TestSupport.h"

#include "Sys.h"

#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>

using TarnIO::Path;
using TarnIO::PathIterator;
namespace sys = TarnIO::sys;

namespace {

int opened, closed;

void DressAsLink(WIN32_FIND_DATAW* data) {
    const bool link = std::wstring(data->cFileName) == L"link";
    data->dwFileAttributes |= link ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    data->dwReserved0 = link ? 0xA000000C : 0xDEADBEEF;  // junk where no tag belongs
}
HANDLE WINAPI FindFirst(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE handle = sys::realTable.FindFirstFileW(name, data);
    return handle != INVALID_HANDLE_VALUE ? (++opened, DressAsLink(data), handle) : handle;
}
BOOL WINAPI FindNext(HANDLE handle, LPWIN32_FIND_DATAW data) {
    return sys::realTable.FindNextFileW(handle, data) && (DressAsLink(data), true);
}
BOOL WINAPI CountedClose(HANDLE handle) { return ++closed, sys::realTable.FindClose(handle); }

struct FindHandleTest : TarnTest::TempDirTest {
    void SetUp() override {
        TempDirTest::SetUp();
        opened = closed = 0;
        sys::table.FindFirstFileW = FindFirst, sys::table.FindNextFileW = FindNext;
        sys::table.FindClose = CountedClose;
    }
    void TearDown() override {
        sys::table = sys::realTable, TempDirTest::TearDown();
        EXPECT_EQ(opened, closed) << "search handles left open";
    }
};

// Left three levels deep, by destroying the iterator or starting it on a search that fails.
TEST_F(FindHandleTest, LeavingTheWalkClosesEveryLevel) {
    MakeDir(L"a"), MakeDir(L"a\\b"), MakeFile(L"a\\b\\c");
    for (bool startAgain : {false, true}) {
        {
            PathIterator it(Path(In(L"*")), PathIterator::recursive);
            ASSERT_TRUE(it.Next() && it.Next());
            EXPECT_EQ(In(L"a\\b\\c"), it.GetPath().AsString());
            EXPECT_FALSE(startAgain && it.Start(Path(In(L"missing\\*")), 0));
            EXPECT_EQ(opened - closed, startAgain ? 0 : 3);
        }
        EXPECT_EQ(opened, closed);
    }
}

// Path::Query and the walk copy the tag of a reparse point, and nothing for other files.
TEST_F(FindHandleTest, ReparseTagOnlyForAReparsePoint) {
    MakeFile(L"link"), MakeFile(L"plain");
    int checked = 0;
    for (PathIterator it(Path(In(L"*")), 0); it != PathIterator::end; ++it, ++checked) {
        const bool link = it.GetPath().AsString() == In(L"link");
        TarnIO::PathStats walked, queried;
        ASSERT_TRUE(it.Query(walked) && it.GetPath().Query(queried));
        for (const TarnIO::PathStats* stats : {&walked, &queried}) {
            EXPECT_EQ(link, stats->IsSymlink());
            EXPECT_EQ(link ? 0xA000000CUL : 0UL, stats->GetReparseTag());
        }
    }
    EXPECT_EQ(2, checked);
}

}  // namespace
