// Path's file-system queries: access, the attribute snapshot, kind, size, times, renaming.
// How each fails when its system call does is the fault sweep's part.
#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

using TarnIO::Path;

namespace {

class PathQueryTest : public TarnTest::TempDirTest {};

}  // namespace

// Exists, IsReadable, IsWritable, Access with 6, 4, 2, and with 1 and 0xF9 (no bit of the
// mask: existence only), IsExecutable.
TEST_F(PathQueryTest, AccessTests) {
    auto answers = [](const Path& p) {
        std::string out;
        for (bool yes : {p.Exists(), p.IsReadable(), p.IsWritable(), p.Access(Path::AccessMask(6)),
                         p.Access(Path::accessRead), p.Access(Path::accessWrite),
                         p.Access(Path::AccessMask(1)) && p.Access(Path::AccessMask(0xF9)),
                         p.IsExecutable()})
            out += yes ? '1' : '0';
        return out;
    };
    wchar_t self[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    MakeFile(L"plain.txt", "not an image\r\n");
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_EQ("11111110 11001010 1", answers(In(L"plain.txt")) + " " +
                                           answers(In(L"locked.txt")) + " " + answers(self).back());
}

// The snapshot, kind, size and times agree with GetFileAttributesExW. No search names a
// pattern, a "dir\" or a root: their query fails with whatever error the system gives.
TEST_F(PathQueryTest, Query) {
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"five", "12345").c_str(), FILE_ATTRIBUTE_HIDDEN));
    MakeDir(L"sub");
    const struct Row {
        std::wstring text;
        std::string expected;  // directory, file and size, or the query's error
    } rows[] = {
        {In(L"five"), "file 5"},
        {In(L"sub"), "directory"},
        {In(L"missing.txt"), "error 2"},
        {In(L"*.txt"), "error"},
        {In(L"sub\\"), "error"},
        {Path(dir).GetRootName() + L"\\", "error"},
    };
    for (const Row& row : rows) {
        const Path path(row.text);
        TarnIO::PathStats stats;
        if (!path.Query(stats)) {
            const unsigned long error = stats.GetQueryError();
            EXPECT_EQ(row.expected, error == 0             ? "error 0"
                                    : row.expected == "error" ? "error"
                                                             : "error " + std::to_string(error));
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
    EXPECT_EQ("0 a|content", std::to_string(Path(In(L"from")).Exists()) + " " +
                                 ReadBack(In(L"a")) + "|" + ReadBack(In(L"to")));
}
