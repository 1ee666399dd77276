// PathIterator: what is reported, in which order, and that every search
// handle is gone when the enumeration ends, restarts or is destroyed (the
// fixture's teardown cannot remove a directory that a search still holds).
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

class PathIteratorTest : public TarnTest::TempDirTest {
protected:
    // Everything the iterator reports from start, in order.
    static Paths Walk(const std::wstring& start, long options) {
        Paths seen;
        PathIterator it;
        for (bool on = it.Start(Path(start), options); on; on = it.Next()) {
            EXPECT_FALSE(it.IsDone());
            seen.push_back(it.GetPath().AsString());
        }
        EXPECT_TRUE(it.IsDone());
        EXPECT_TRUE(it.GetPath().IsEmpty());
        return seen;
    }

    // dir\name for each name.
    Paths Under(std::initializer_list<const wchar_t*> names) const {
        Paths out;
        for (const wchar_t* name : names)
            out.push_back(In(name));
        return out;
    }
};

Paths Sorted(Paths paths) {
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::wstring ParentOf(const std::wstring& path) {
    return path.substr(0, path.find_last_of(L'\\'));
}

bool IsBelow(const std::wstring& path, const std::wstring& dir) {
    return path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 &&
           path[dir.size()] == L'\\';
}

// Pre-order: every entry comes after its directory, and everything between
// the two lies inside that directory (a directory's contents follow it
// without interruption).
void ExpectPreOrder(const Paths& seen, const std::wstring& root) {
    std::map<std::wstring, std::size_t> index;
    for (std::size_t i = 0; i < seen.size(); ++i)
        index[seen[i]] = i;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        const std::wstring parent = ParentOf(seen[i]);
        if (parent == root)
            continue;
        auto found = index.find(parent);
        ASSERT_NE(index.end(), found) << Path(seen[i]).AsNarrowString() << " before its directory";
        ASSERT_LT(found->second, i);
        for (std::size_t j = found->second + 1; j < i; ++j)
            ASSERT_TRUE(IsBelow(seen[j], parent))
                << Path(seen[j]).AsNarrowString() << " interrupts " << Path(parent).AsNarrowString();
    }
}

// Sets the current directory for a scope; the fixture cannot remove a
// directory that is some process's current directory.
class CurrentDirectory {
public:
    explicit CurrentDirectory(const std::wstring& dir) {
        ::GetCurrentDirectoryW(MAX_PATH + 1, saved);
        EXPECT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    }
    ~CurrentDirectory() { ::SetCurrentDirectoryW(saved); }

private:
    wchar_t saved[MAX_PATH + 1];
};

// The tree below dir, listed with raw FindFirstFileW recursion.
void ListRaw(const std::wstring& dir, Paths& out) {
    WIN32_FIND_DATAW data;
    HANDLE find = ::FindFirstFileW((dir + L"\\*").c_str(), &data);
    ASSERT_NE(INVALID_HANDLE_VALUE, find);
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..")
            continue;
        out.push_back(dir + L"\\" + name);
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListRaw(dir + L"\\" + name, out);
    } while (::FindNextFileW(find, &data));
    ::FindClose(find);
}

}  // namespace

TEST_F(PathIteratorTest, NewIteratorIsDone) {
    PathIterator it;
    EXPECT_TRUE(it.IsDone());
    EXPECT_TRUE(it == PathIterator::end);
    EXPECT_FALSE(it.Next());
    EXPECT_FALSE(it.IsDirectory());
    EXPECT_TRUE(it.GetPath().IsEmpty());

    // Query resets a snapshot that held data.
    PathStats stats;
    ASSERT_TRUE(Path(dir).Query(stats));
    EXPECT_FALSE(it.Query(stats));
    EXPECT_FALSE(stats.Exists());
    EXPECT_EQ(0u, stats.GetQueryError());
    EXPECT_THROW(stats.IsDirectory(), TarnError::LogicError);
}

TEST_F(PathIteratorTest, SearchesThatFindNothing) {
    MakeDir(L"empty");
    MakeDir(L"full");
    MakeFile(L"full\\a.dat");
    const std::wstring starts[] = {
        In(L"empty\\*"),
        In(L"missing\\*"),
        In(L"missing\\deeper\\*"),
        In(L"full\\*.txt"),
    };
    for (const std::wstring& start : starts) {
        SCOPED_TRACE(Path(start).AsNarrowString());
        for (long options : {0L, 1L}) {
            PathIterator it;
            EXPECT_FALSE(it.Start(Path(start), options));
            EXPECT_TRUE(it.IsDone());
            EXPECT_TRUE(it.GetPath().IsEmpty());
            EXPECT_FALSE(it.Next());
            PathIterator constructed(Path(start), options);
            EXPECT_TRUE(constructed.IsDone());
        }
    }
}

TEST_F(PathIteratorTest, FlatListingReportsEveryEntryButTheDots) {
    MakeFile(L"a.txt", "a");
    MakeFile(L"b.dat");
    MakeFile(L".x");
    MakeDir(L"sub");
    MakeFile(L"sub\\inner.txt");
    // A name of three dots: Win32 strips trailing dots from a path, so the
    // file is made and removed through the \\?\ form that keeps the name.
    const std::wstring dots = L"\\\\?\\" + In(L"...");
    HANDLE h = ::CreateFileW(dots.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
    ::CloseHandle(h);

    const Paths seen = Walk(In(L"*"), 0);
    EXPECT_EQ(Sorted(Under({L"a.txt", L"b.dat", L".x", L"sub", L"..."})), Sorted(seen));

    EXPECT_TRUE(::DeleteFileW(dots.c_str())) << ::GetLastError();
}

TEST_F(PathIteratorTest, KindOfEachEntry) {
    MakeFile(L"file");
    MakeDir(L"sub");
    PathIterator it(Path(In(L"*")), 0);
    int reported = 0;
    for (; !it.IsDone(); it.Next(), ++reported) {
        const bool isSub = it.GetPath().AsString() == In(L"sub");
        EXPECT_EQ(isSub, it.IsDirectory()) << it.GetPath().AsNarrowString();
    }
    EXPECT_EQ(2, reported);
    EXPECT_FALSE(it.IsDirectory());
}

TEST_F(PathIteratorTest, DescentIsPreOrder) {
    MakeDir(L"sub");
    MakeFile(L"sub\\a");
    MakeFile(L"z");
    // The order of siblings is the file system's; the contents of sub must
    // follow sub at once, whichever comes first.
    const Paths seen = Walk(In(L"*"), PathIterator::recursive);
    const Paths subFirst = Under({L"sub", L"sub\\a", L"z"});
    const Paths zFirst = Under({L"z", L"sub", L"sub\\a"});
    EXPECT_TRUE(seen == subFirst || seen == zFirst);
    EXPECT_EQ(3u, seen.size());
}

TEST_F(PathIteratorTest, EmptySubdirectoryIsReportedAndLeft) {
    MakeDir(L"empty");
    MakeDir(L"deep");
    MakeDir(L"deep\\empty");
    MakeFile(L"f");
    const Paths seen = Walk(In(L"*"), PathIterator::recursive);
    EXPECT_EQ(Sorted(Under({L"empty", L"deep", L"deep\\empty", L"f"})), Sorted(seen));
    ExpectPreOrder(seen, dir);
}

TEST_F(PathIteratorTest, PatternAppliesAtEveryLevel) {
    MakeFile(L"a.txt");
    MakeFile(L"b.dat");
    MakeDir(L"x.txt");
    MakeFile(L"x.txt\\c.txt");
    MakeFile(L"x.txt\\d.dat");
    MakeDir(L"x.txt\\y.txt");
    MakeFile(L"x.txt\\y.txt\\e.txt");
    MakeDir(L"other");
    MakeFile(L"other\\f.txt");
    const Paths seen = Walk(In(L"*.txt"), PathIterator::recursive);
    EXPECT_EQ(Sorted(Under({L"a.txt", L"x.txt", L"x.txt\\c.txt", L"x.txt\\y.txt",
                            L"x.txt\\y.txt\\e.txt"})),
              Sorted(seen));
    ExpectPreOrder(seen, dir);
}

TEST_F(PathIteratorTest, OnlyTheDescentBitOfTheOptionsCounts) {
    MakeFile(L"f");
    MakeDir(L"sub");
    MakeFile(L"sub\\g");
    const Paths flat = Sorted(Under({L"f", L"sub"}));
    const Paths deep = Sorted(Under({L"f", L"sub", L"sub\\g"}));
    struct Row {
        long options;
        const Paths& expected;
    };
    const Row rows[] = {{0, flat}, {1, deep}, {2, flat}, {3, deep}, {-2, flat}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.options);
        EXPECT_EQ(row.expected, Sorted(Walk(In(L"*"), row.options)));
    }
}

TEST_F(PathIteratorTest, StartPathWithoutPatternFindsTheDirectoryItself) {
    MakeDir(L"dir");
    MakeDir(L"dir\\dir");
    MakeFile(L"dir\\dir\\inner");
    MakeFile(L"dir\\other");
    EXPECT_EQ(Under({L"dir"}), Walk(In(L"dir"), 0));
    // Descending, the base name is the pattern one level down: dir\dir is
    // found, dir\other is not, and dir\dir\dir does not exist.
    EXPECT_EQ(Under({L"dir", L"dir\\dir"}), Walk(In(L"dir"), PathIterator::recursive));
}

TEST_F(PathIteratorTest, RelativeStartGivesAbsoluteNormalEntries) {
    MakeDir(L"data");
    MakeFile(L"data\\x");
    MakeDir(L"data\\sub");
    MakeFile(L"data\\sub\\y");
    const Paths expected = Sorted(Under({L"data\\x", L"data\\sub", L"data\\sub\\y"}));
    const wchar_t* const starts[] = {L"data\\*", L".\\data\\*", L"data\\sub\\..\\*"};
    for (const wchar_t* start : starts) {
        SCOPED_TRACE(Path(start).AsNarrowString());
        Paths seen;
        {
            CurrentDirectory here(dir);
            seen = Walk(start, PathIterator::recursive);
        }
        EXPECT_EQ(expected, Sorted(seen));
    }
}

TEST_F(PathIteratorTest, StartAgainInsideASubdirectoryClosesTheChain) {
    MakeDir(L"a");
    MakeDir(L"a\\sub");
    MakeDir(L"a\\sub\\deeper");
    MakeFile(L"a\\sub\\deeper\\x");
    MakeDir(L"b");
    MakeFile(L"b\\y");

    PathIterator it(Path(In(L"a\\*")), PathIterator::recursive);
    while (!it.IsDone() && it.GetPath().AsString() != In(L"a\\sub\\deeper\\x"))
        it.Next();
    ASSERT_FALSE(it.IsDone());

    // The start path may be the iterator's own current path.
    const Path current = it.GetPath();
    ASSERT_TRUE(it.Start(it.GetPath(), 0));
    EXPECT_EQ(current.AsString(), it.GetPath().AsString());

    ASSERT_TRUE(it.Start(Path(In(L"b\\*")), PathIterator::recursive));
    EXPECT_EQ(In(L"b\\y"), it.GetPath().AsString());
    // No search of the old chain is left: its directories can go.
    EXPECT_TRUE(TarnTest::RemoveTree(In(L"a")));
    EXPECT_FALSE(it.Next());
    EXPECT_TRUE(it.IsDone());
}

TEST_F(PathIteratorTest, DestroyingADeepChainClosesEveryLevel) {
    std::wstring deepest = L"d0";
    MakeDir(deepest);
    for (int level = 1; level < 12; ++level) {
        deepest += L"\\d" + std::to_wstring(level);
        MakeDir(deepest);
    }
    MakeFile(deepest + L"\\leaf");
    {
        PathIterator it(Path(In(L"*")), PathIterator::recursive);
        while (!it.IsDone() && it.GetPath().AsString() != In(deepest + L"\\leaf"))
            it.Next();
        ASSERT_FALSE(it.IsDone());
        EXPECT_FALSE(it.IsDirectory());
    }
    EXPECT_TRUE(TarnTest::RemoveTree(In(L"d0")));
}

TEST_F(PathIteratorTest, QueryCopiesTheSearchData) {
    MakeFile(L"five", "12345");
    MakeDir(L"sub");
    PathIterator it(Path(In(L"*")), 0);
    int checked = 0;
    for (; !it.IsDone(); it.Next(), ++checked) {
        SCOPED_TRACE(it.GetPath().AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(it.Query(stats));
        EXPECT_TRUE(stats.Exists());
        PathStats direct;
        ASSERT_TRUE(it.GetPath().Query(direct));
        EXPECT_EQ(direct.GetAttributes(), stats.GetAttributes());
        EXPECT_EQ(direct.GetModifyTime(), stats.GetModifyTime());
        EXPECT_EQ(0u, stats.GetReparseTag());
        if (it.GetPath().AsString() == In(L"five")) {
            EXPECT_TRUE(stats.IsFile());
            EXPECT_EQ(5u, stats.GetFileSize());
        } else {
            EXPECT_TRUE(stats.IsDirectory());
        }
    }
    EXPECT_EQ(2, checked);
}

TEST_F(PathIteratorTest, QueryOfASymbolicLinkEntryKeepsTheTag) {
    MakeFile(L"target", "x");
    const std::wstring link = In(L"link");
    // Under Wine the call answers TRUE and makes nothing; on Windows it needs
    // the privilege or developer mode (flag 0x2).
    const bool made = ::CreateSymbolicLinkW(link.c_str(), In(L"target").c_str(), 0x2) ||
                      ::CreateSymbolicLinkW(link.c_str(), In(L"target").c_str(), 0);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system cannot make a symbolic link here";
    PathIterator it(Path(link), 0);
    ASSERT_FALSE(it.IsDone());
    PathStats stats;
    ASSERT_TRUE(it.Query(stats));
    EXPECT_TRUE(stats.IsReparsePoint());
    EXPECT_TRUE(stats.IsSymlink());
    EXPECT_EQ(0xA000000CUL, stats.GetReparseTag());
}

TEST_F(PathIteratorTest, LargeTreeMatchesAnIndependentListing) {
    // 12 directories of 8 subdirectories of 30 files, and a few files at the
    // top: about 3,000 entries.
    for (int i = 0; i < 12; ++i) {
        const std::wstring top = L"t" + std::to_wstring(i);
        MakeDir(top);
        MakeFile(L"f" + std::to_wstring(i) + L".txt");
        for (int j = 0; j < 8; ++j) {
            const std::wstring sub = top + L"\\s" + std::to_wstring(j);
            MakeDir(sub);
            for (int k = 0; k < 30; ++k)
                MakeFile(sub + L"\\n" + std::to_wstring(k));
        }
    }
    Paths raw;
    ListRaw(dir, raw);
    ASSERT_EQ(12u + 12u + 12u * 8u + 12u * 8u * 30u, raw.size());

    const Paths seen = Walk(In(L"*"), PathIterator::recursive);
    std::map<std::wstring, int> count;
    for (const std::wstring& path : seen)
        ++count[path];
    for (const auto& entry : count)
        EXPECT_EQ(1, entry.second) << Path(entry.first).AsNarrowString() << " reported twice";
    EXPECT_EQ(Sorted(raw), Sorted(seen));
    ExpectPreOrder(seen, dir);
}

TEST_F(PathIteratorTest, LoopAgainstTheEndSentinel) {
    MakeFile(L"a");
    MakeDir(L"b");
    MakeFile(L"b\\c");
    Paths seen;
    for (PathIterator it(Path(In(L"*")), 1); it != PathIterator::end; ++it)
        seen.push_back(it.GetPath().AsString());
    EXPECT_EQ(Sorted(Under({L"a", L"b", L"b\\c"})), Sorted(seen));

    PathIterator done;
    EXPECT_TRUE(PathIterator::end == done);
    EXPECT_FALSE(PathIterator::end != done);
    PathIterator on(Path(In(L"*")), 0);
    EXPECT_TRUE(on != PathIterator::end);
    EXPECT_FALSE(on == PathIterator::end);
}
