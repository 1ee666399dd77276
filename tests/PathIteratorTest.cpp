// PathIterator: what is reported and in which order (FindHandleTest counts the handles).
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <algorithm>
#include <map>
#include <vector>

using TarnIO::Path;
using TarnIO::PathIterator;
using TarnIO::PathStats;

namespace {

typedef std::vector<std::wstring> Paths;

Paths Sorted(Paths paths) { std::sort(paths.begin(), paths.end()); return paths; }

class PathIteratorTest : public TarnTest::TempDirTest {
protected:
    static Paths Walk(const std::wstring& start, long options) {
        Paths seen;
        PathIterator it;
        for (bool on = it.Start(Path(start), options); on; on = it.Next())
            seen.push_back(it.GetPath().AsString());
        EXPECT_TRUE(it.IsDone() && it.GetPath().IsEmpty());
        return seen;
    }

    Paths Under(std::initializer_list<const wchar_t*> names) const {
        Paths out;
        for (const wchar_t* name : names)
            out.push_back(In(name));
        return Sorted(out);
    }

    // Pre-order: each entry's parent is the last directory reported that is still open.
    static void ExpectPreOrder(const Paths& seen) {
        auto parentOf = [](const std::wstring& path) { return path.substr(0, path.rfind(L'\\')); };
        Paths open{seen.empty() ? L"" : parentOf(seen[0])};
        for (const std::wstring& path : seen) {
            while (open.size() > 1 && path.compare(0, open.back().size() + 1, open.back() + L"\\"))
                open.pop_back();
            ASSERT_EQ(open.back(), parentOf(path)) << Path(path).AsNarrowString();
            open.push_back(path);
        }
    }
};

}  // namespace

TEST_F(PathIteratorTest, FlatListingReportsEveryEntryButTheDots) {
    MakeFile(L"five", "12345");
    MakeFile(L".x");
    MakeDir(L"sub");
    // A name of three dots: Win32 strips trailing dots from a path, so the
    // file is made and removed through the \\?\ form that keeps the name.
    const std::wstring dots = L"\\\\?\\" + In(L"...");
    HANDLE h = ::CreateFileW(dots.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
    ::CloseHandle(h);

    Paths seen;
    for (PathIterator it(Path(In(L"*")), 0); it != PathIterator::end; ++it) {
        seen.push_back(it.GetPath().AsString());
        SCOPED_TRACE(it.GetPath().AsNarrowString());
        EXPECT_EQ(seen.back() == In(L"sub"), it.IsDirectory());
        PathStats stats;  // a copy of the search data
        ASSERT_TRUE(it.Query(stats));
        WIN32_FILE_ATTRIBUTE_DATA raw;  // the \\?\ form names "..." too
        const std::wstring longForm = L"\\\\?\\" + seen.back();
        ASSERT_TRUE(::GetFileAttributesExW(longForm.c_str(), GetFileExInfoStandard, &raw));
        EXPECT_EQ(raw.dwFileAttributes, stats.GetAttributes());
        EXPECT_EQ(TarnUtil::Time(raw.ftLastWriteTime, TarnUtil::timeUtc), stats.GetModifyTime());
        EXPECT_EQ(raw.nFileSizeLow, stats.IsDirectory() ? 0u : stats.GetFileSize());
    }
    EXPECT_EQ(Under({L"five", L".x", L"sub", L"..."}), Sorted(seen));
    EXPECT_TRUE(::DeleteFileW(dots.c_str())) << ::GetLastError();
}

TEST_F(PathIteratorTest, DoneStatesDescentPatternsAndOptions) {
    PathIterator fresh;
    EXPECT_TRUE(fresh.IsDone() && fresh == PathIterator::end && PathIterator::end == fresh);
    EXPECT_FALSE(fresh != PathIterator::end || PathIterator::end != fresh);
    EXPECT_TRUE(fresh.GetPath().IsEmpty() && !fresh.Next() && !fresh.IsDirectory());
    PathStats stats;
    ASSERT_TRUE(Path(dir).Query(stats));
    EXPECT_FALSE(fresh.Query(stats));  // resets a snapshot that held data
    EXPECT_TRUE(!stats.Exists() && stats.GetQueryError() == 0);

    Paths all;
    for (const wchar_t* name : {L"x.txt", L"x.txt\\y.txt", L"other", L"other\\other", L"empty",
                                L"deep", L"deep\\empty"})
        all.push_back(MakeDir(name));
    for (const wchar_t* name : {L"a.txt", L"b.dat", L"x.txt\\c.txt", L"x.txt\\d.dat",
                                L"x.txt\\y.txt\\e.txt", L"other\\f.txt"})
        all.push_back(MakeFile(name));
    all = Sorted(all);
    const Paths top = Under({L"a.txt", L"b.dat", L"x.txt", L"other", L"empty", L"deep"});
    const Paths inX =
        Under({L"x.txt\\c.txt", L"x.txt\\d.dat", L"x.txt\\y.txt", L"x.txt\\y.txt\\e.txt"});
    struct Row { const wchar_t* start; long options; Paths expected; } rows[] = {
        {L"*", 0, top}, {L"*", 2, top}, {L"*", -2, top},  // only the descent bit counts
        {L"*", 1, all}, {L"*", 3, all},
        {L"*.txt", 1, Under({L"a.txt", L"x.txt", L"x.txt\\c.txt", L"x.txt\\y.txt",
                             L"x.txt\\y.txt\\e.txt"})},  // the pattern applies at every level
        // Without a pattern the directory itself is found, and is the pattern one level down.
        {L"other", 0, Under({L"other"})}, {L"other", 1, Under({L"other", L"other\\other"})},
        {L".\\x.txt\\*", 1, inX}, {L"x.txt\\y.txt\\..\\*", 1, inX},  // relative: absolute entries
    };
    for (const wchar_t* start : {L"empty\\*", L"missing\\deeper\\*", L"*.zip"}) {
        SCOPED_TRACE(Path(start).AsNarrowString());
        PathIterator it(Path(In(L"a.txt")), 0);
        EXPECT_TRUE(it != PathIterator::end);
        EXPECT_FALSE(it.Start(Path(In(start)), PathIterator::recursive));
        EXPECT_TRUE(it.IsDone() && it.GetPath().IsEmpty() && !it.Next());
    }
    wchar_t saved[MAX_PATH + 1];
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH + 1, saved), 0u);
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << Path(row.start).AsNarrowString() << ", " << row.options);
        ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
        const Paths seen = Walk(row.start, row.options);
        ASSERT_TRUE(::SetCurrentDirectoryW(saved));  // a current directory cannot be removed
        EXPECT_EQ(row.expected, Sorted(seen));
        ExpectPreOrder(seen);
    }

    // Start again inside a subdirectory, from the iterator's own current path.
    PathIterator it(Path(In(L"x.txt\\*")), PathIterator::recursive);
    while (!it.IsDone() && it.GetPath().AsString() != In(L"x.txt\\y.txt\\e.txt"))
        it.Next();
    ASSERT_TRUE(it.Start(it.GetPath(), 0));
    EXPECT_EQ(In(L"x.txt\\y.txt\\e.txt"), it.GetPath().AsString());
    ASSERT_TRUE(it.Start(Path(In(L"deep\\*")), PathIterator::recursive));
    EXPECT_EQ(In(L"deep\\empty"), it.GetPath().AsString());
    // No search of the old chain is left: its directories can go.
    EXPECT_EQ("", TarnTest::RemoveTree(In(L"x.txt")));
    EXPECT_TRUE(!it.Next() && it.IsDone());
}

TEST_F(PathIteratorTest, LargeTreeMatchesAnIndependentListing) {
    Paths made;  // as they are made: 8 files, 8 directories of 8 of 30 files: 2,000 entries
    for (int i = 0; i < 8; ++i) {
        made.push_back(MakeFile(L"f" + std::to_wstring(i)));
        made.push_back(MakeDir(L"t" + std::to_wstring(i)));
        for (int j = 0; j < 8; ++j) {
            const std::wstring sub = L"t" + std::to_wstring(i) + L"\\s" + std::to_wstring(j);
            made.push_back(MakeDir(sub));
            for (int k = 0; k < 30; ++k)
                made.push_back(MakeFile(sub + L"\\n" + std::to_wstring(k)));
        }
    }
    const Paths seen = Walk(In(L"*"), PathIterator::recursive);
    EXPECT_EQ(Sorted(made), Sorted(seen));  // every entry once, none twice
    ExpectPreOrder(seen);
}
