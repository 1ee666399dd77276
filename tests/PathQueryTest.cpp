// Path's file-system queries: access tests, the attribute snapshot, kind,
// size and times, executable images, renaming.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <winioctl.h>

#include <cstring>

using TarnIO::Path;
using TarnIO::PathStats;

namespace {

class PathQueryTest : public TarnTest::TempDirTest {};

// "message|file|function|detail names|Win32 error[|path]" of e.
std::string Describe(const TarnError::Error& e) {
    std::ostringstream out;
    out << e.GetMessageText() << '|' << e.GetContext().file << '|' << e.GetContext().function;
    for (const std::string& name : TarnTest::DetailNames(e))
        out << '|' << name;
    const unsigned long* error = e.GetInfo<TarnError::ErrorInfo_Win32Error>();
    const Path* path = e.GetInfo<TarnIO::ErrorInfo_path>();
    out << '|' << (error ? *error : 0) << (path ? "|" + path->AsNarrowString() : "");
    return out.str();
}

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
        {In(L"sub"), "11....1.0"}, {In(L"missing.txt"), "000000000"}, {In(L"no\\x"), "0........"},
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

TEST_F(PathQueryTest, QueryFileAndDirectory) {
    ASSERT_TRUE(::SetFileAttributesW(MakeFile(L"five", "12345").c_str(), FILE_ATTRIBUTE_HIDDEN));
    MakeDir(L"sub");
    HANDLE h = ::CreateFileW(In(L"big").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    DWORD returned = 0;  // sparse where the file system allows it: no 5 GB are written
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    const LARGE_INTEGER size = {{705032704, 1}};  // 5,000,000,000 bytes
    EXPECT_TRUE(::SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
    ::CloseHandle(h);
    struct Row { const wchar_t* name; bool isDirectory; std::uint64_t size; } rows[] = {
        {L"five", false, 5}, {L"sub", true, 0}, {L"big", false, 5000000000ULL}};
    for (const Row& row : rows) {
        const Path path(In(row.name));
        SCOPED_TRACE(path.AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(path.Query(stats));
        WIN32_FILE_ATTRIBUTE_DATA raw;  // a reference taken without the library
        ASSERT_TRUE(::GetFileAttributesExW(path.AsCStr(), GetFileExInfoStandard, &raw));
        EXPECT_EQ(raw.dwFileAttributes, stats.GetAttributes());
        EXPECT_EQ(TarnUtil::Time(raw.ftLastWriteTime, TarnUtil::timeUtc), stats.GetModifyTime());
        EXPECT_EQ(row.isDirectory, path.IsDirectory());
        EXPECT_EQ(!row.isDirectory, path.IsFile());
        EXPECT_EQ(row.size, row.isDirectory ? 0 : path.GetFileSize());
    }
}

// A failed query records the error and leaves the data; no search names a
// pattern, a trailing backslash or a root; the kind getters throw with the path.
TEST_F(PathQueryTest, MissingPathsAndTextsNamingNoEntry) {
    static_assert(sizeof(PathStats) == 12 + sizeof(WIN32_FILE_ATTRIBUTE_DATA),
                  "lastError, attributeData, reparseTag, exists: the bytes compared below");
    MakeFile(L"a.txt");
    MakeDir(L"sub");
    struct Row { std::wstring text; unsigned long error; } rows[] = {  // error 0: any
        {In(L"missing.txt"), ERROR_FILE_NOT_FOUND}, {In(L"missing\\x.txt"), ERROR_PATH_NOT_FOUND},
        {In(L"*.txt"), 0}, {In(L"sub\\"), 0}, {Path(dir).GetRootName() + L"\\", 0}};
    for (const Row& row : rows) {
        const Path path(row.text);
        SCOPED_TRACE(path.AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(Path(In(L"a.txt")).Query(stats));
        char before[sizeof stats];
        std::memcpy(before, &stats, sizeof stats);
        EXPECT_FALSE(path.Query(stats));
        EXPECT_FALSE(stats.Exists());
        const unsigned long error = stats.GetQueryError();
        EXPECT_TRUE(row.error ? error == row.error : error != 0) << error;
        EXPECT_EQ(0, std::memcmp(before + 4, reinterpret_cast<const char*>(&stats) + 4,
                                 sizeof stats - 8));
        if (row.error == 0)
            continue;
        const auto thrown = TarnTest::CatchError<TarnIO::PathError>(  // IsDirectory, then IsFile
            [&] { row.error == ERROR_FILE_NOT_FOUND ? path.IsDirectory() : path.IsFile(); });
        EXPECT_EQ("unable to query path attributes|.\\Path|TarnIO::Path::GetAttribsThrow|path|"
                  "Win32Error|" + std::to_string(row.error) + "|" + path.AsNarrowString(),
                  Describe(thrown));
    }
    EXPECT_TRUE(Path(In(L"sub\\")).IsDirectory());
    EXPECT_EQ("unable to query path attributes|.\\PathStats|TarnIO::PathStats::GetFileSize|"
              "Win32Error|2", Describe(TarnTest::CatchError<TarnIO::PathError>(
                                  [&] { Path(In(L"missing.txt")).GetFileSize(); })));
}

TEST_F(PathQueryTest, Rename) {
    Path::Rename(Path(MakeFile(L"from.txt", "content")), Path(In(L"to.txt")));
    // Failures are TarnIO::Error itself, not PathError; nothing is replaced.
    MakeFile(L"a.txt", "a");
    struct Row { const wchar_t *from, *to; const char* error; } rows[] = {
        {L"missing.txt", L"c.txt", "2"}, {L"a.txt", L"to.txt", "183"}};
    for (const Row& row : rows) {
        const auto e = TarnTest::CatchError<TarnIO::Error>([&] {
            try {
                Path::Rename(Path(In(row.from)), Path(In(row.to)));
            } catch (const TarnIO::PathError&) {
                ADD_FAILURE() << "a PathError";
            }
        });
        EXPECT_EQ(std::string("unable to rename file|.\\Path|TarnIO::Path::Rename|Win32Error|") +
                      row.error, Describe(e));
    }
    EXPECT_FALSE(Path(In(L"from.txt")).Exists());
    EXPECT_EQ("a|content", ReadBack(In(L"a.txt")) + "|" + ReadBack(In(L"to.txt")));
}
