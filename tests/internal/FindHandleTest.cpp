// Every FindFirstFileW of PathIterator is matched by one FindClose however the walk is
// left (a walk to its end and failing searches: the fault sweep). The same seam dresses
// entries named "link" as the symbolic links Wine cannot make, for the attribute copies.
#include "TarnIO/Path.h"
#include "TarnIO/PathIterator.h"
#include "TarnIO/PathStats.h"
#include "Sys.h"
#include "TestSupport.h"

using TarnIO::Path;
using TarnIO::PathIterator;
namespace sys = TarnIO::sys;

namespace {

int opened = 0, closed = 0;

bool IsLink(const std::wstring& n) { return n.substr(n.find_last_of(L'\\') + 1) == L"link"; }
void DressAsLink(WIN32_FIND_DATAW* data) {
    const bool link = IsLink(data->cFileName);
    data->dwFileAttributes |= link ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    data->dwReserved0 = link ? 0xA000000C : 0xDEADBEEF;  // junk where no tag belongs: never copied
}
HANDLE WINAPI FakeFindFirst(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE handle = sys::realTable.FindFirstFileW(name, data);
    return handle != INVALID_HANDLE_VALUE ? (++opened, DressAsLink(data), handle) : handle;
}
BOOL WINAPI FakeFindNext(HANDLE handle, LPWIN32_FIND_DATAW data) {
    return sys::realTable.FindNextFileW(handle, data) && (DressAsLink(data), true);
}
BOOL WINAPI FakeFindClose(HANDLE handle) { return ++closed, sys::realTable.FindClose(handle); }
DWORD WINAPI FakeGetFileAttributes(LPCWSTR name) {
    const DWORD attributes = sys::realTable.GetFileAttributesW(name);
    const bool dress = attributes != INVALID_FILE_ATTRIBUTES && IsLink(name);
    return attributes | (dress ? FILE_ATTRIBUTE_REPARSE_POINT : 0);
}
void AllClosed() { EXPECT_EQ(opened, closed) << "search handles left open"; }

struct FindHandleTest : TarnTest::TempDirTest {
    void SetUp() override {
        TempDirTest::SetUp();
        opened = closed = 0;
        sys::table.FindFirstFileW = FakeFindFirst, sys::table.FindNextFileW = FakeFindNext;
        sys::table.FindClose = FakeFindClose, sys::table.GetFileAttributesW = FakeGetFileAttributes;
    }
    void TearDown() override { sys::table = sys::realTable, AllClosed(), TempDirTest::TearDown(); }
};

TEST_F(FindHandleTest, LeavingTheWalkAnywhereClosesEveryLevel) {
    for (const wchar_t* name : {L"sub", L"other", L"other\\deeper", L"later"})
        MakeDir(name);
    for (auto name : {L"f", L"sub\\a", L"sub\\b", L"sub\\c", L"other\\deeper\\g", L"later\\h"})
        MakeFile(name);
    for (int run = 0; run < 20; ++run) {  // left at each of the 10 entries: Start or destroyed
        const int stopAfter = run / 2 + 1;
        const bool startAgain = run % 2;
        SCOPED_TRACE(std::to_string(stopAfter) + (startAgain ? ", Start" : ", destroyed"));
        {
            PathIterator it(Path(In(L"*")), PathIterator::recursive);
            for (int i = 1; i < stopAfter; ++i)
                ASSERT_TRUE(it.Next());
            EXPECT_FALSE(startAgain && it.Start(Path(In(L"missing\\*")), 0));
            if (startAgain)
                AllClosed();
        }
        AllClosed();
    }
}

// Path::Query and the walk copy the tag of a reparse point, and nothing for other files.
TEST_F(FindHandleTest, ReparseTagComesFromTheSearchDataOfAReparsePoint) {
    MakeFile(L"link", "12345"), MakeFile(L"plain", "1");
    int checked = 0;
    for (PathIterator it(Path(In(L"*")), 0); it != PathIterator::end; ++it, ++checked) {
        const bool isLink = it.GetPath().AsString() == In(L"link");
        SCOPED_TRACE(isLink ? "link" : "plain");
        TarnIO::PathStats fromWalk, fromPath;
        ASSERT_TRUE(it.Query(fromWalk) && it.GetPath().Query(fromPath));
        for (const TarnIO::PathStats* stats : {&fromWalk, &fromPath}) {
            EXPECT_EQ(isLink, stats->IsSymlink());
            EXPECT_EQ(isLink ? 0xA000000CUL : 0UL, stats->GetReparseTag());
        }
        EXPECT_TRUE(it.GetPath().IsFile());  // the reparse bit does not count against a file
    }
    EXPECT_EQ(2, checked);
}

}  // namespace
