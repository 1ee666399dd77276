// Path's file-system queries: access, the attribute snapshot, kind, size, renaming.
#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <winioctl.h>

#include <cstring>
#include <typeinfo>

using TarnIO::Path;
using TarnIO::PathStats;

namespace {

class PathQueryTest : public TarnTest::TempDirTest {};

using TarnTest::Thrown;

}  // namespace

TEST_F(PathQueryTest, AccessTests) {
    wchar_t self[MAX_PATH + 1] = {};
    ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    MakeFile(L"plain.txt", "not an image\r\n");
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"locked.txt").c_str(), FILE_ATTRIBUTE_READONLY));
    MakeDir(L"sub");
    // Exists, IsReadable, IsWritable, Access with 0x6, 0x4, 0x2, 0x1 and 0xF9
    // (no bit of the mask: existence only), 0x0, IsExecutable; '.' not asked.
    struct Row { std::wstring path; std::string expected; } rows[] = {
        {In(L"plain.txt"), "111111110"}, {In(L"locked.txt"), "11001011."}, {self, "1.......1"},
        {In(L"sub"), "11....1.0"}, {In(L"missing.txt"), "000000000"},
    };
    for (const Row& row : rows) {
        const Path path(row.path);
        auto access = [&](int mask) { return path.Access(static_cast<Path::AccessMask>(mask)); };
        const bool answers[] = {path.Exists(), path.IsReadable(), path.IsWritable(), access(0x6),
                                access(0x4), access(0x2), access(0x1) && access(0xF9), access(0),
                                path.IsExecutable()};
        std::string got;
        for (std::size_t i = 0; i < row.expected.size(); ++i)
            got += row.expected[i] == '.' ? '.' : answers[i] ? '1' : '0';
        EXPECT_EQ(row.expected, got) << path.AsNarrowString();
    }
}

// A snapshot agrees with GetFileAttributesExW; a failed one records the error, keeps the
// data and makes the kind getters throw. No search names a pattern, a "dir\" or a root.
TEST_F(PathQueryTest, Query) {
    static_assert(sizeof(PathStats) == 12 + sizeof(WIN32_FILE_ATTRIBUTE_DATA),
                  "lastError, attributeData, reparseTag, exists: the bytes compared below");
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"five", "12345").c_str(), FILE_ATTRIBUTE_HIDDEN));
    MakeDir(L"sub");
    HANDLE h = ::CreateFileW(In(L"big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD returned = 0;  // sparse where the file system allows it: no 5 GB are written
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    const LARGE_INTEGER size = {{705032704, 1}};  // 5,000,000,000 bytes
    EXPECT_TRUE(::SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
    ::CloseHandle(h);
    const unsigned long any = ~0ul;
    const std::uint64_t directory = ~0ull;
    struct Row { std::wstring text; unsigned long error; std::uint64_t size = 0; } rows[] = {
        {In(L"five"), 0, 5}, {In(L"sub"), 0, directory}, {In(L"big"), 0, 5000000000ULL},
        {In(L"missing.txt"), ERROR_FILE_NOT_FOUND}, {In(L"missing\\x.txt"), ERROR_PATH_NOT_FOUND},
        {In(L"*.txt"), any}, {In(L"sub\\"), any}, {Path(dir).GetRootName() + L"\\", any}};
    for (const Row& row : rows) {
        const Path path(row.text);
        SCOPED_TRACE(path.AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(Path(In(L"five")).Query(stats));
        const PathStats before = stats;
        if (row.error == 0) {
            ASSERT_TRUE(path.Query(stats));
            WIN32_FILE_ATTRIBUTE_DATA raw;  // a reference taken without the library
            ASSERT_TRUE(::GetFileAttributesExW(path.AsCStr(), GetFileExInfoStandard, &raw));
            EXPECT_EQ(raw.dwFileAttributes, stats.GetAttributes());
            EXPECT_EQ(TarnUtil::Time(raw.ftLastWriteTime, TarnUtil::timeUtc),
                      stats.GetModifyTime());
            EXPECT_EQ(row.size == directory, path.IsDirectory());
            EXPECT_EQ(row.size != directory, path.IsFile());
            EXPECT_EQ(row.size, row.size == directory ? directory : path.GetFileSize());
            continue;
        }
        EXPECT_FALSE(path.Query(stats) || stats.Exists());
        const unsigned long error = stats.GetQueryError();
        EXPECT_TRUE(row.error == any ? error != 0 : error == row.error) << error;
        EXPECT_EQ(0, std::memcmp(reinterpret_cast<const char*>(&before) + 4,
                                 reinterpret_cast<const char*>(&stats) + 4, sizeof stats - 8));
        if (row.error != any) {
            EXPECT_EQ(".\\Path TarnIO::Path::GetAttribsThrow: unable to query path attributes; "
                      "path=" + path.AsNarrowString() + "; Win32Error=" + std::to_string(row.error),
                      Thrown<TarnIO::PathError>([&] {  // IsDirectory, then IsFile
                          row.error == ERROR_FILE_NOT_FOUND ? path.IsDirectory() : path.IsFile();
                      }));
        }
    }
    EXPECT_TRUE(Path(In(L"sub\\")).IsDirectory());
    EXPECT_EQ(".\\PathStats TarnIO::PathStats::GetFileSize: unable to query path attributes; "
              "Win32Error=2",
              Thrown<TarnIO::PathError>([&] { Path(In(L"missing.txt")).GetFileSize(); }));
}

TEST_F(PathQueryTest, Rename) {
    Path::Rename(Path(MakeFile(L"from.txt", "content")), Path(In(L"to")));
    // Failures are TarnIO::Error itself, not PathError; nothing is replaced.
    MakeFile(L"a", "a");
    const std::string failed = ".\\Path TarnIO::Path::Rename: unable to rename file; Win32Error=";
    EXPECT_EQ(failed + "2", Thrown<TarnIO::Error>([&] { Path::Rename(In(L"gone"), In(L"c")); }));
    EXPECT_EQ(failed + "183", Thrown<TarnIO::Error>([&] { Path::Rename(In(L"a"), In(L"to")); }));
    EXPECT_EQ("0 a|content", std::to_string(Path(In(L"from.txt")).Exists()) + " " +
                                  ReadBack(In(L"a")) + "|" + ReadBack(In(L"to")));
}
