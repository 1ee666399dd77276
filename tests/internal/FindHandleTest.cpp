// Search handles of Path::Query and PathIterator, counted through the system
// call table: every FindFirstFileW that succeeded is matched by one FindClose
// however the search ends (end of directory, a failing FindNextFileW at any
// level, Start again, destruction inside a deep chain). The same seam feeds
// reparse points that Wine cannot make to the attribute copies.
#include "TarnIO/Path.h"
#include "TarnIO/PathIterator.h"
#include "TarnIO/PathStats.h"

#include "Sys.h"

#include "TestSupport.h"

#include <cwchar>
#include <map>
#include <vector>

using TarnIO::Path;
using TarnIO::PathIterator;
using TarnIO::PathStats;
namespace sys = TarnIO::sys;

namespace {

struct Fakes {
    int opened = 0;
    int closed = 0;
    // A search whose path contains failIn fails at its FindNextFileW call
    // number failAt (1-based) with failError.
    std::wstring failIn;
    int failAt = 0;
    DWORD failError = ERROR_ACCESS_DENIED;
    std::map<HANDLE, int> nextCalls;
    HANDLE failing = INVALID_HANDLE_VALUE;
    // FindFirstFileW fails for every path with this error when not 0.
    DWORD findFirstError = 0;
    // Entries of this name are made to look like symbolic links.
    std::wstring linkName;
};
Fakes fakes;

void DressAsLink(WIN32_FIND_DATAW* data) {
    if (fakes.linkName.empty())
        return;
    if (fakes.linkName == data->cFileName) {
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        data->dwReserved0 = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK
    } else {
        // Junk where no tag belongs: it must not be copied.
        data->dwReserved0 = 0xDEADBEEF;
    }
}

HANDLE WINAPI FakeFindFirst(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    if (fakes.findFirstError != 0) {
        ::SetLastError(fakes.findFirstError);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = sys::realTable.FindFirstFileW(name, data);
    if (handle == INVALID_HANDLE_VALUE)
        return handle;
    ++fakes.opened;
    if (!fakes.failIn.empty() && std::wcsstr(name, fakes.failIn.c_str()))
        fakes.failing = handle;
    DressAsLink(data);
    return handle;
}

BOOL WINAPI FakeFindNext(HANDLE handle, LPWIN32_FIND_DATAW data) {
    if (handle == fakes.failing && ++fakes.nextCalls[handle] == fakes.failAt) {
        ::SetLastError(fakes.failError);
        return FALSE;
    }
    const BOOL found = sys::realTable.FindNextFileW(handle, data);
    if (found)
        DressAsLink(data);
    return found;
}

BOOL WINAPI FakeFindClose(HANDLE handle) {
    ++fakes.closed;
    if (handle == fakes.failing)
        fakes.failing = INVALID_HANDLE_VALUE;
    return sys::realTable.FindClose(handle);
}

DWORD WINAPI FakeGetFileAttributes(LPCWSTR name) {
    const DWORD attributes = sys::realTable.GetFileAttributesW(name);
    const std::wstring text = name;
    if (attributes != INVALID_FILE_ATTRIBUTES && !fakes.linkName.empty() &&
        text.size() > fakes.linkName.size() &&
        text.compare(text.size() - fakes.linkName.size(), std::wstring::npos, fakes.linkName) == 0)
        return attributes | FILE_ATTRIBUTE_REPARSE_POINT;
    return attributes;
}

class FindHandleTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        fakes = Fakes();
        sys::table.FindFirstFileW = FakeFindFirst;
        sys::table.FindNextFileW = FakeFindNext;
        sys::table.FindClose = FakeFindClose;
        sys::table.GetFileAttributesW = FakeGetFileAttributes;
    }

    void TearDown() override {
        sys::table = sys::realTable;
        EXPECT_EQ(fakes.opened, fakes.closed) << "search handles left open";
        TempDirTest::TearDown();
    }

    // dir: f, sub\{a,b,c,d,e}, other\deeper\{g}, later\h
    void MakeTree() {
        MakeFile(L"f");
        MakeDir(L"sub");
        for (const wchar_t* name : {L"a", L"b", L"c", L"d", L"e"})
            MakeFile(std::wstring(L"sub\\") + name);
        MakeDir(L"other");
        MakeDir(L"other\\deeper");
        MakeFile(L"other\\deeper\\g");
        MakeDir(L"later");
        MakeFile(L"later\\h");
    }
    static constexpr int treeSize = 12;
};

TEST_F(FindHandleTest, EndOfEnumerationClosesEveryLevel) {
    MakeTree();
    PathIterator it(Path(In(L"*")), PathIterator::recursive);
    int reported = 0;
    for (; !it.IsDone(); it.Next())
        ++reported;
    EXPECT_EQ(treeSize, reported);
    // Before the iterator is destroyed: the end itself closed everything.
    EXPECT_EQ(fakes.opened, fakes.closed);
    // One search per directory entered, plus the first.
    EXPECT_EQ(5, fakes.opened);
}

TEST_F(FindHandleTest, StoppingAnywhereClosesEveryLevel) {
    MakeTree();
    for (int stopAfter = 1; stopAfter <= treeSize; ++stopAfter) {
        SCOPED_TRACE(stopAfter);
        for (int ending = 0; ending < 2; ++ending) {
            {
                PathIterator it(Path(In(L"*")), PathIterator::recursive);
                for (int i = 1; i < stopAfter; ++i)
                    ASSERT_TRUE(it.Next());
                ASSERT_FALSE(it.IsDone());
                if (ending == 1) {
                    // Start again somewhere without anything to find.
                    EXPECT_FALSE(it.Start(Path(In(L"missing\\*")), 0));
                    EXPECT_EQ(fakes.opened, fakes.closed);
                }
            }
            EXPECT_EQ(fakes.opened, fakes.closed);
        }
    }
}

TEST_F(FindHandleTest, FailingSearchInASubdirectoryEndsOnlyThatLevel) {
    MakeTree();
    // The search in sub fails at different points: after ".", after a few
    // entries, at once. The other directories are listed whole either way.
    for (int failAt = 1; failAt <= 4; ++failAt) {
        SCOPED_TRACE(failAt);
        fakes.failIn = L"\\sub\\";
        fakes.failAt = failAt;
        fakes.nextCalls.clear();
        std::vector<std::wstring> seen;
        {
            PathIterator it(Path(In(L"*")), PathIterator::recursive);
            for (; !it.IsDone(); it.Next())
                seen.push_back(it.GetPath().AsString());
            EXPECT_EQ(fakes.opened, fakes.closed);
        }
        int inSub = 0;
        std::map<std::wstring, int> count;
        for (const std::wstring& path : seen) {
            ++count[path];
            if (path.compare(0, In(L"sub\\").size(), In(L"sub\\")) == 0)
                ++inSub;
        }
        for (const auto& entry : count)
            EXPECT_EQ(1, entry.second);
        EXPECT_LT(inSub, 5);
        EXPECT_EQ(static_cast<std::size_t>(treeSize - 5 + inSub), seen.size());
        for (const wchar_t* name : {L"f", L"sub", L"other", L"other\\deeper",
                                    L"other\\deeper\\g", L"later", L"later\\h"})
            EXPECT_EQ(1, count[In(name)]) << Path(name).AsNarrowString();
    }
}

TEST_F(FindHandleTest, FailingTopLevelSearchEndsTheEnumeration) {
    MakeTree();
    fakes.failIn = dir + L"\\*";
    fakes.failAt = 2;
    PathIterator it(Path(In(L"*")), PathIterator::recursive);
    while (it.Next()) {
    }
    EXPECT_TRUE(it.IsDone());
    EXPECT_TRUE(it.GetPath().IsEmpty());
    EXPECT_EQ(fakes.opened, fakes.closed);
}

TEST_F(FindHandleTest, PathQueryClosesItsSearch) {
    MakeFile(L"f", "abc");
    PathStats stats;
    ASSERT_TRUE(Path(In(L"f")).Query(stats));
    EXPECT_EQ(1, fakes.opened);
    EXPECT_EQ(1, fakes.closed);
}

TEST_F(FindHandleTest, PathQueryFailingInTheSearchRecordsThatError) {
    MakeFile(L"f", "abc");
    // The path exists, but the search for it is refused.
    fakes.findFirstError = ERROR_SHARING_VIOLATION;
    PathStats stats;
    EXPECT_FALSE(Path(In(L"f")).Query(stats));
    EXPECT_EQ(static_cast<unsigned long>(ERROR_SHARING_VIOLATION), stats.GetQueryError());
    EXPECT_EQ(0, fakes.closed);
}

TEST_F(FindHandleTest, ReparseTagComesFromTheSearchDataOfAReparsePoint) {
    MakeFile(L"link", "12345");
    MakeFile(L"plain", "1");
    fakes.linkName = L"link";

    PathStats link;
    ASSERT_TRUE(Path(In(L"link")).Query(link));
    EXPECT_TRUE(link.IsReparsePoint());
    EXPECT_TRUE(link.IsSymlink());
    EXPECT_EQ(0xA000000CUL, link.GetReparseTag());
    EXPECT_FALSE(link.IsFile());
    // Path::IsFile does not count the reparse bit against a file.
    EXPECT_TRUE(Path(In(L"link")).IsFile());

    PathStats plain;
    ASSERT_TRUE(Path(In(L"plain")).Query(plain));
    EXPECT_FALSE(plain.IsReparsePoint());
    EXPECT_EQ(0u, plain.GetReparseTag());

    int checked = 0;
    for (PathIterator it(Path(In(L"*")), 0); it != PathIterator::end; ++it, ++checked) {
        PathStats stats;
        ASSERT_TRUE(it.Query(stats));
        const bool isLink = it.GetPath().AsString() == In(L"link");
        EXPECT_EQ(isLink, stats.IsSymlink());
        EXPECT_EQ(isLink ? 0xA000000CUL : 0UL, stats.GetReparseTag());
    }
    EXPECT_EQ(2, checked);
}

}  // namespace
