// PathIterator: what is reported and in which order.
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <algorithm>
#include <vector>

using TarnIO::Path;
using TarnIO::PathIterator;
using TarnIO::PathStats;

namespace {

typedef std::vector<std::wstring> Paths;

Paths Sorted(Paths paths) { std::sort(paths.begin(), paths.end()); return paths; }

class PathIteratorTest : public TarnTest::TempDirTest {
protected:
    // The entries found, sorted; each agrees with the system and comes after its parent.
    static Paths Walk(const std::wstring& start, long options) {
        Paths seen;
        std::wstring top;
        PathIterator it(Path(start), options);
        for (PathStats stats; it != PathIterator::end; ++it) {
            const std::wstring path = it.GetPath().AsString();
            const std::wstring parent = path.substr(0, path.rfind(L'\\'));
            SCOPED_TRACE(Path(path).AsNarrowString());
            top = seen.empty() ? parent : top;
            EXPECT_TRUE(parent == top || std::count(seen.begin(), seen.end(), parent));
            seen.push_back(path);
            const DWORD raw = ::GetFileAttributesW((L"\\\\?\\" + path).c_str());
            EXPECT_TRUE(it.Query(stats) && stats.GetAttributes() == raw);
            EXPECT_EQ((raw & FILE_ATTRIBUTE_DIRECTORY) != 0, it.IsDirectory());
        }
        EXPECT_TRUE(it.IsDone() && it.GetPath().IsEmpty());
        return Sorted(seen);
    }

    Paths Under(std::initializer_list<const wchar_t*> names) const {
        Paths out;
        for (const wchar_t* name : names)
            out.push_back(In(name));
        return Sorted(out);
    }
};

}  // namespace

TEST_F(PathIteratorTest, DoneStatesDescentPatternsAndOptions) {
    PathIterator fresh;
    PathStats stats;
    ASSERT_TRUE(Path(dir).Query(stats));
    EXPECT_FALSE(fresh.Query(stats));  // resets a snapshot that held data
    EXPECT_TRUE(!stats.Exists() && stats.GetQueryError() == 0);

    Paths all;
    for (const wchar_t* name : {L"x.txt", L"x.txt\\y.txt", L"other", L"other\\other", L"empty"})
        all.push_back(MakeDir(name));
    for (const wchar_t* name : {L"a.txt", L"x.txt\\c.txt", L"x.txt\\d.dat", L"x.txt\\y.txt\\e.txt"})
        all.push_back(MakeFile(name));
    // A name of three dots: Win32 would strip them, the \\?\ form makes and removes it.
    const std::wstring dots = L"\\\\?\\" + In(L"...");
    ::CloseHandle(::CreateFileW(dots.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr));
    all.push_back(In(L"..."));
    struct Row { const wchar_t* start; long options; Paths expected; } rows[] = {
        {L"*", -2, Under({L"a.txt", L"x.txt", L"other", L"empty", L"..."})},  // descent bit only
        {L"*", 1, Sorted(all)},
        {L"*.txt", 1, Under({L"a.txt", L"x.txt", L"x.txt\\c.txt", L"x.txt\\y.txt",
                             L"x.txt\\y.txt\\e.txt"})},  // the pattern applies at every level
        // Without a pattern the directory itself is found, and is the pattern one level down.
        {L"other", 1, Under({L"other", L"other\\other"})},
        {L"x.txt\\y.txt\\..\\*", 1,
         Under({L"x.txt\\c.txt", L"x.txt\\d.dat", L"x.txt\\y.txt", L"x.txt\\y.txt\\e.txt"})},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.expected, Walk(In(row.start), row.options)) << row.start << row.options;
    for (const wchar_t* start : {L"empty\\*", L"missing\\*"}) {
        PathIterator it(Path(In(L"a.txt")), 0);
        EXPECT_FALSE(it.Start(Path(In(start)), PathIterator::recursive)) << start;
        EXPECT_TRUE(it.IsDone() && it.GetPath().IsEmpty() && !it.Next());
    }

    // Start again from the iterator's own current path, which the restart destroys.
    PathIterator it(Path(In(L"x.txt\\*")), PathIterator::recursive);
    while (it.GetPath().AsString() != In(L"x.txt\\y.txt\\e.txt"))
        ASSERT_TRUE(it.Next());
    ASSERT_TRUE(it.Start(it.GetPath(), 0));
    EXPECT_EQ(In(L"x.txt\\y.txt\\e.txt"), it.GetPath().AsString());
    EXPECT_TRUE(::DeleteFileW(dots.c_str())) << ::GetLastError();
}
