// Path's file-system queries. How each fails when its system call does: the fault sweep.
#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

using TarnIO::Path;

namespace {

class PathQueryTest : public TarnTest::TempDirTest {};

}  // namespace

// The access tests on a read-only file (1 and 0xF9 ask existence only), then IsExecutable
// on the test program.
TEST_F(PathQueryTest, AccessTests) {
    const Path locked(MakeFile(L"locked.txt"));
    ASSERT_TRUE(::SetFileAttributesW(locked.AsCStr(), FILE_ATTRIBUTE_READONLY));
    wchar_t self[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    std::string got;
    for (bool yes : {locked.Exists(), locked.IsReadable(), locked.IsWritable(),
                     locked.Access(Path::AccessMask(6)), locked.Access(Path::accessRead),
                     locked.Access(Path::accessWrite),
                     locked.Access(Path::AccessMask(1)) && locked.Access(Path::AccessMask(0xF9)),
                     locked.IsExecutable(), Path(self).IsExecutable()})
        got += yes ? '1' : '0';
    EXPECT_EQ("110010101", got);
}

// Query, kind, size and times agree with GetFileAttributesExW.
TEST_F(PathQueryTest, Query) {
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"five", "12345").c_str(), FILE_ATTRIBUTE_HIDDEN));
    MakeDir(L"sub");
    const struct Row {
        std::wstring text;
        std::string expected;  // directory, file and size, or the query's error
    } rows[] = {
        {In(L"five"), "file 5"},
        {In(L"sub"), "directory"},
        {In(L"*.txt"), "error 123"},  // ERROR_INVALID_NAME: no pattern names anything
        {In(L"sub\\"), "error 2"},   // no search names a "dir\"
    };
    for (const Row& row : rows) {
        const Path path(row.text);
        TarnIO::PathStats stats;
        if (!path.Query(stats)) {
            EXPECT_EQ(row.expected, "error " + std::to_string(stats.GetQueryError()));
            continue;
        }
        WIN32_FILE_ATTRIBUTE_DATA raw;  // a reference taken without the library
        ASSERT_TRUE(::GetFileAttributesExW(path.AsCStr(), GetFileExInfoStandard, &raw));
        auto time = [](const FILETIME& t) { return TarnUtil::Time(t, TarnUtil::timeUtc); };
        EXPECT_EQ(raw.dwFileAttributes, stats.GetAttributes());
        EXPECT_TRUE(time(raw.ftCreationTime) == path.GetCreateTime() &&
                    time(raw.ftLastAccessTime) == path.GetAccessTime() &&
                    time(raw.ftLastWriteTime) == path.GetModifyTime());
        EXPECT_EQ(row.expected, std::string(path.IsDirectory() ? "directory" : "") +
                                    (path.IsFile() ? "file " + std::to_string(path.GetFileSize())
                                                   : ""));
    }
    EXPECT_TRUE(Path(In(L"sub\\")).IsDirectory());
}

TEST_F(PathQueryTest, RenameNeverReplaces) {
    Path::Rename(Path(MakeFile(L"from", "content")), Path(In(L"to")));
    MakeFile(L"a", "a");
    EXPECT_EQ(".\\Path TarnIO::Path::Rename: unable to rename file; Win32Error=183",
              TarnTest::Thrown<TarnIO::Error>([&] { Path::Rename(In(L"a"), In(L"to")); }));
    EXPECT_EQ("a|content", ReadBack(In(L"a")) + "|" + ReadBack(In(L"to")));
}
