// Making and removing, and every operation on long paths (system failures: the fault sweep;
// links: internal/RemoveTreeTest.cpp).
#include <TarnIO/AtomicFile.h>
#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include "TestSupport.h"

using TarnIO::Path;

namespace {

typedef TarnTest::TempDirTest PathDirectoryTest;

template <class T> std::string N(T value) { return std::to_string(value); }
template <class F> std::string ReadAll(F&& file) { std::string s; file.ReadAll(s); return s; }

}  // namespace

// Relative paths, so that an error's path reads as the row's. Outcomes: "1" or "0" as the
// operation answers, "invalid", or "<Win32 error> <path>" of the TarnIO::Error thrown. In
// order: each row sees what the rows before left.
TEST_F(PathDirectoryTest, MakeAndRemove) {
    MakeFile(L"f.txt", "f"), MakeDir(L"d"), MakeFile(L"d\\x.txt");
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"ro.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    // Read-only files go; one held open, sharing no deletion, stays and is named, and the
    // removal goes on past it.
    for (auto name : {L"t", L"t\\a", L"t\\a\\b", L"t\\c", L"t\\c\\d"})
        MakeDir(name);
    for (auto name : {L"t\\1", L"t\\a\\2", L"t\\a\\b\\3", L"t\\c\\4", L"t\\c\\d\\5"})
        ::SetFileAttributesW(MakeFile(name).c_str(), FILE_ATTRIBUTE_READONLY);
    TarnIO::FileHandle held(Path(In(L"t\\a\\b\\3")));
    const auto mk = &Path::CreateDir, mks = &Path::CreateDirs, rmf = &Path::RemoveFile;
    const auto rmd = &Path::RemoveDir, rmt = &Path::RemoveTree;
    struct Row { bool (Path::*operation)() const; const wchar_t* path; std::string outcome; };
    const Row rows[] = {
        {mk, L"new", "1"},
        {mk, L"new\\", "0"},
        {mk, L"f.txt", "183 f.txt"},
        {mk, L"no\\x", "3 no\\x"},
        {mks, L"ab\\b\\\\c\\", "1"},  // "ab" is no drive
        {mks, L"ab\\b\\c", "0"},
        {mks, L"f.txt\\x\\y", "183 f.txt"},
        {rmf, L"missing", "0"},
        {rmf, L"no\\x", "0"},
        {rmf, L"d", "5 d"},
        {rmf, L"ro.txt", "5 ro.txt"},
        {rmf, L"d\\x.txt", "1"},
        {rmd, L"ab", "145 ab"},
        {rmd, L"f.txt", "267 f.txt"},
        {rmd, L"d", "1"},
        {rmd, L"d", "0"},
        {rmt, L"no\\x", "0"},
        {rmt, L"ro.txt", "1"},
        {rmt, L"ab\\", "1"},
        {rmt, L"t", "32 t\\a\\b\\3"},
        {mk, L"", "invalid"},
        {mks, L"", "invalid"},
        {rmf, L"", "invalid"},
        {rmd, L"", "invalid"},
        {rmt, L"", "invalid"},
    };
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    for (const Row& row : rows) {
        std::string outcome;
        try {
            outcome = N((Path(row.path).*row.operation)());
        } catch (const TarnError::InvalidArgument&) {
            outcome = "invalid";
        } catch (const TarnIO::Error& e) {
            outcome = N(*e.GetInfo<TarnError::ErrorInfo_Win32Error>()) + " " +
                      e.GetInfo<TarnIO::ErrorInfo_path>()->AsNarrowString();
        }
        EXPECT_EQ(row.outcome, outcome) << "row " << &row - rows;
    }
    ::SetCurrentDirectoryW(saved);  // a current directory cannot be removed
    EXPECT_EQ(TarnTest::Names({"f.txt", "new", "t", "t\\a", "t\\a\\b", "t\\a\\b\\3"}),
              TarnTest::Listing(dir));
}

// Every backend, query, the walk, Rename and the operations above on a file whose path in
// extended form is 300 and 1,000 characters long, in directories of 200 characters.
TEST_F(PathDirectoryTest, ExtendedPathsOf300And1000Characters) {
    for (std::size_t length : {300u, 1000u}) {
        const Path top = Path(In(L"long")).Extended();
        std::wstring deep = top.AsString();
        while (length - deep.size() > 210)
            deep += L"\\" + std::wstring(200, L'd');
        const Path d(deep), p(deep + L"\\" + std::wstring(length - deep.size() - 1, L'f'));
        const Path moved(p.AsString().substr(0, length - 1) + L"m"), sub = d.Child(L"sub");
        ASSERT_EQ(length, p.GetLength());
        std::string seen;  // braced lists run in order
        try {
            seen += N(d.CreateDirs());
            TarnIO::AtomicFile out(p);
            out.Write("long", 4), out.Commit();
            seen += " " + ReadAll(TarnIO::FileHandle(p)) + ReadAll(TarnIO::FileDescriptor(p)) +
                    ReadAll(TarnIO::StdFile(p, L"rb")) + " " + N(p.GetFileSize()) + " ";
            for (TarnIO::PathIterator it(top.Child(L"*"), 1); !it.IsDone(); it.Next())
                seen += it.IsDirectory() ? "" : N(it.GetPath().GetLength()) + " ";
            TarnIO::PathStats stats;
            for (bool ok : {p.Exists(), p.IsReadable(), p.IsWritable(), p.Query(stats),
                            stats.IsFile(), p.IsFile(), d.IsDirectory()})
                seen += N(ok);
            Path::Rename(p, moved);
            seen += " ";
            for (bool ok : {moved.Exists(), p.Exists(), sub.CreateDir(), sub.RemoveDir(),
                            moved.RemoveFile(), top.RemoveTree(), top.Exists()})
                seen += N(ok);
        } catch (const std::exception& e) {
            seen += e.what();
        }
        EXPECT_EQ("1 longlonglong 4 " + N(length) + " 1111111 1011110", seen) << length;
    }
}
