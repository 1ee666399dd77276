// Path's file-system queries: access tests, the attribute snapshot, kind,
// size and times, executable images, renaming.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <winioctl.h>

#include <cstring>
#include <functional>
#include <type_traits>

using TarnIO::Path;
using TarnIO::PathStats;
using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;

namespace {

class PathQueryTest : public TarnTest::TempDirTest {};

// The last write time of a path as GetFileAttributesExW reports it: a
// reference taken independently of the library.
std::uint64_t RawModifyTicks(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    EXPECT_TRUE(::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data));
    return (static_cast<std::uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) |
           data.ftLastWriteTime.dwLowDateTime;
}

}  // namespace

TEST_F(PathQueryTest, AccessTests) {
    MakeFile(L"plain.txt", "x");
    const std::wstring locked = MakeFile(L"locked.txt", "x");
    ASSERT_TRUE(::SetFileAttributesW(locked.c_str(), FILE_ATTRIBUTE_READONLY));
    MakeDir(L"sub");

    typedef std::function<bool(const Path&)> Check;
    const Check exists = [](const Path& p) { return p.Exists(); };
    const Check readable = [](const Path& p) { return p.IsReadable(); };
    const Check writable = [](const Path& p) { return p.IsWritable(); };
    auto access = [](int mask) {
        return Check([mask](const Path& p) {
            return p.Access(static_cast<Path::AccessMask>(mask));
        });
    };
    struct Row {
        const wchar_t* name;
        const char* check;
        Check run;
        bool expected;
    };
    const Row rows[] = {
        {L"plain.txt", "Exists", exists, true},
        {L"plain.txt", "IsReadable", readable, true},
        {L"plain.txt", "IsWritable", writable, true},
        {L"plain.txt", "Access(0x6)", access(0x6), true},
        {L"locked.txt", "Exists", exists, true},
        {L"locked.txt", "IsReadable", readable, true},
        {L"locked.txt", "IsWritable", writable, false},
        {L"locked.txt", "Access(0x6)", access(0x6), false},
        {L"locked.txt", "Access(0x2)", access(0x2), false},
        {L"locked.txt", "Access(0x4)", access(0x4), true},
        // 0x1 is no bit of the mask: only existence is tested.
        {L"locked.txt", "Access(0x1)", access(0x1), true},
        {L"locked.txt", "Access(0xF9)", access(0xF9), true},
        {L"sub", "Exists", exists, true},
        {L"sub", "IsReadable", readable, true},
        {L"missing.txt", "Exists", exists, false},
        {L"missing.txt", "IsReadable", readable, false},
        {L"missing.txt", "Access(0x1)", access(0x1), false},
        {L"missing.txt", "Access(0x0)", access(0x0), false},
        {L"missing\\deeper.txt", "Exists", exists, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.check << " on " << Path(row.name).AsNarrowString());
        EXPECT_EQ(row.expected, row.run(Path(In(row.name))));
    }
}

TEST_F(PathQueryTest, QueryFileAndDirectory) {
    const std::wstring file = MakeFile(L"five.txt", "12345");
    const std::wstring dir = MakeDir(L"sub");
    const std::wstring hidden = MakeFile(L"hidden.txt");
    ASSERT_TRUE(::SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN));
    struct Row {
        std::wstring path;
        bool isDirectory;
        bool isFile;
        bool isHidden;
        std::uint64_t size;
    };
    const Row rows[] = {
        {file, false, true, false, 5},
        {dir, true, false, false, 0},
        {hidden, false, true, true, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(Path(row.path).AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(Path(row.path).Query(stats));
        EXPECT_TRUE(stats.Exists());
        EXPECT_EQ(0u, stats.GetQueryError());
        EXPECT_EQ(row.isDirectory, stats.IsDirectory());
        EXPECT_EQ(row.isFile, stats.IsFile());
        EXPECT_EQ(row.isHidden, stats.IsHidden());
        EXPECT_FALSE(stats.IsReparsePoint());
        EXPECT_EQ(0u, stats.GetReparseTag());
        if (!row.isDirectory) {
            EXPECT_EQ(row.size, stats.GetFileSize());
        }
        EXPECT_EQ(RawModifyTicks(row.path), stats.GetModifyTime().GetTicks());
        // The Path getters agree with the snapshot.
        EXPECT_EQ(row.isDirectory, Path(row.path).IsDirectory());
        EXPECT_EQ(row.isFile, Path(row.path).IsFile());
        EXPECT_EQ(stats.GetModifyTime(), Path(row.path).GetModifyTime());
        EXPECT_EQ(stats.GetCreateTime(), Path(row.path).GetCreateTime());
        if (!row.isDirectory) {
            EXPECT_EQ(row.size, Path(row.path).GetFileSize());
        }
    }
}

// A failed query records the error and writes nothing else: the attribute
// data and reparse tag keep the bytes of the last successful query. They are
// not reachable through the interface once the query has failed, so the test
// compares the object's bytes between its leading error code and its
// trailing flag.
TEST_F(PathQueryTest, QueryOfAMissingPathRecordsTheErrorAndLeavesTheDataAlone) {
    static_assert(std::is_standard_layout<PathStats>::value, "the byte comparison needs it");
    static_assert(sizeof(PathStats) ==
                      sizeof(unsigned long) + sizeof(WIN32_FILE_ATTRIBUTE_DATA) +
                          sizeof(unsigned long) + 4,
                  "lastError, attributeData, reparseTag, exists and padding");
    const std::size_t dataBegin = sizeof(unsigned long);
    const std::size_t dataEnd = dataBegin + sizeof(WIN32_FILE_ATTRIBUTE_DATA) + sizeof(unsigned long);

    struct Row {
        const wchar_t* name;
        unsigned long error;
    };
    const Row rows[] = {
        {L"missing.txt", ERROR_FILE_NOT_FOUND},
        {L"missing\\x.txt", ERROR_PATH_NOT_FOUND},
    };
    const std::wstring file = MakeFile(L"five.txt", "12345");
    for (const Row& row : rows) {
        SCOPED_TRACE(Path(row.name).AsNarrowString());
        PathStats stats;
        ASSERT_TRUE(Path(file).Query(stats));
        unsigned char before[sizeof(PathStats)];
        std::memcpy(before, &stats, sizeof stats);

        EXPECT_FALSE(Path(In(row.name)).Query(stats));
        EXPECT_FALSE(stats.Exists());
        EXPECT_EQ(row.error, stats.GetQueryError());
        unsigned char after[sizeof(PathStats)];
        std::memcpy(after, &stats, sizeof stats);
        EXPECT_EQ(0, std::memcmp(before + dataBegin, after + dataBegin, dataEnd - dataBegin));

        // The snapshot now reports the failure, naming the accessor called.
        const TarnIO::PathError e = CatchError<TarnIO::PathError>([&] { stats.GetFileSize(); });
        EXPECT_EQ("unable to query path attributes", e.GetMessageText());
        ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        EXPECT_EQ(row.error, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
}

TEST_F(PathQueryTest, QueryFailsForTextsThatNameNoSingleEntry) {
    MakeFile(L"a.txt");
    MakeDir(L"sub");
    const std::wstring texts[] = {
        // FindFirstFileW alone would find a.txt; GetFileAttributesW refuses
        // a pattern.
        In(L"*.txt"),
        // GetFileAttributesW answers for these, but no search names them.
        In(L"sub\\"),
        Path(dir).GetRootName() + L"\\",
    };
    for (const std::wstring& text : texts) {
        SCOPED_TRACE(Path(text).AsNarrowString());
        PathStats stats;
        EXPECT_FALSE(Path(text).Query(stats));
        EXPECT_NE(0u, stats.GetQueryError());
    }
    EXPECT_TRUE(Path(In(L"sub\\")).IsDirectory());
}

TEST_F(PathQueryTest, QueryOfARelativePathUsesTheCurrentDirectory) {
    MakeFile(L"rel.txt", "1234");
    wchar_t saved[MAX_PATH + 1];
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH + 1, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    PathStats stats;
    const bool found = Path(L"rel.txt").Query(stats);
    const bool exists = Path(L"rel.txt").Exists();
    ASSERT_TRUE(::SetCurrentDirectoryW(saved));
    ASSERT_TRUE(found);
    EXPECT_TRUE(exists);
    EXPECT_EQ(4u, stats.GetFileSize());
}

TEST_F(PathQueryTest, IsDirectoryOrIsFileOfAMissingPathThrowsWithThePath) {
    struct Row {
        const wchar_t* name;
        bool askDirectory;
        unsigned long error;
    };
    const Row rows[] = {
        {L"missing.txt", true, ERROR_FILE_NOT_FOUND},
        {L"missing\\x.txt", true, ERROR_PATH_NOT_FOUND},
        {L"missing.txt", false, ERROR_FILE_NOT_FOUND},
        {L"missing\\x.txt", false, ERROR_PATH_NOT_FOUND},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << (row.askDirectory ? "IsDirectory " : "IsFile ")
                                        << Path(row.name).AsNarrowString());
        const Path path(In(row.name));
        const TarnIO::PathError e = CatchError<TarnIO::PathError>([&] {
            if (row.askDirectory)
                path.IsDirectory();
            else
                path.IsFile();
        });
        EXPECT_EQ("unable to query path attributes", e.GetMessageText());
        EXPECT_STREQ(".\\Path", e.GetContext().file);
        EXPECT_STREQ("TarnIO::Path::GetAttribsThrow", e.GetContext().function);
        EXPECT_EQ((Names{"path", "Win32Error"}), DetailNames(e));
        const Path* reported = e.GetInfo<TarnIO::ErrorInfo_path>();
        ASSERT_NE(nullptr, reported);
        EXPECT_EQ(path.AsString(), reported->AsString());
        ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        EXPECT_EQ(row.error, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
}

TEST_F(PathQueryTest, FileSizeOfALargeSparseFile) {
    const std::wstring big = In(L"big.bin");
    HANDLE h = ::CreateFileW(big.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << ::GetLastError();
    // Sparse where the file system allows it, so that no 5 GB are written.
    DWORD returned = 0;
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER size;
    size.QuadPart = 5000000000LL;
    const bool sized = ::SetFilePointerEx(h, size, nullptr, FILE_BEGIN) && ::SetEndOfFile(h);
    ::CloseHandle(h);
    ASSERT_TRUE(sized) << ::GetLastError();

    EXPECT_EQ(5000000000ULL, Path(big).GetFileSize());
    PathStats stats;
    ASSERT_TRUE(Path(big).Query(stats));
    EXPECT_EQ(5000000000ULL, stats.GetFileSize());
}

TEST_F(PathQueryTest, SizeAndTimesOfAMissingFileThrowAsTheSnapshotDoes) {
    const Path missing(In(L"missing.txt"));
    struct Row {
        const char* function;
        std::function<void()> run;
    };
    const Row rows[] = {
        {"TarnIO::PathStats::GetFileSize", [&] { missing.GetFileSize(); }},
        {"TarnIO::PathStats::GetCreateTime", [&] { missing.GetCreateTime(); }},
        {"TarnIO::PathStats::GetAccessTime", [&] { missing.GetAccessTime(); }},
        {"TarnIO::PathStats::GetModifyTime", [&] { missing.GetModifyTime(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.function);
        const TarnIO::PathError e = CatchError<TarnIO::PathError>(row.run);
        EXPECT_EQ("unable to query path attributes", e.GetMessageText());
        EXPECT_STREQ(".\\PathStats", e.GetContext().file);
        EXPECT_STREQ(row.function, e.GetContext().function);
        // The snapshot does not know the path: only the Win32 error.
        EXPECT_EQ((Names{"Win32Error"}), DetailNames(e));
        ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_FILE_NOT_FOUND),
                  *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
}

TEST_F(PathQueryTest, IsExecutable) {
    wchar_t self[MAX_PATH + 1];
    const DWORD length = ::GetModuleFileNameW(nullptr, self, MAX_PATH + 1);
    ASSERT_GT(length, 0u);
    ASSERT_LT(length, static_cast<DWORD>(MAX_PATH + 1));
    EXPECT_TRUE(Path(self).IsExecutable());
    EXPECT_FALSE(Path(MakeFile(L"text.txt", "not an image\r\n")).IsExecutable());
    EXPECT_FALSE(Path(In(L"missing.exe")).IsExecutable());
    EXPECT_FALSE(Path(dir).IsExecutable());
}

TEST_F(PathQueryTest, RenameMovesFilesAndDirectories) {
    const std::wstring from = MakeFile(L"from.txt", "content");
    Path::Rename(Path(from), Path(In(L"to.txt")));
    EXPECT_FALSE(Path(from).Exists());
    EXPECT_EQ("content", ReadBack(In(L"to.txt")));

    MakeDir(L"olddir");
    MakeFile(L"olddir\\inside.txt", "x");
    Path::Rename(Path(In(L"olddir")), Path(In(L"newdir")));
    EXPECT_TRUE(Path(In(L"newdir\\inside.txt")).Exists());
    EXPECT_FALSE(Path(In(L"olddir")).Exists());
}

TEST_F(PathQueryTest, RenameFailureIsAnErrorButNotAPathError) {
    MakeFile(L"a.txt", "a");
    MakeFile(L"b.txt", "b");
    struct Row {
        const char* what;
        const wchar_t* from;
        const wchar_t* to;
        unsigned long error;
    };
    const Row rows[] = {
        {"missing source", L"missing.txt", L"c.txt", ERROR_FILE_NOT_FOUND},
        {"existing target", L"a.txt", L"b.txt", ERROR_ALREADY_EXISTS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        bool caughtAsPathError = false;
        bool caughtAsError = false;
        try {
            try {
                Path::Rename(Path(In(row.from)), Path(In(row.to)));
            } catch (const TarnIO::PathError&) {
                caughtAsPathError = true;
            }
        } catch (const TarnIO::Error& e) {
            caughtAsError = true;
            EXPECT_EQ("unable to rename file", e.GetMessageText());
            EXPECT_STREQ(".\\Path", e.GetContext().file);
            EXPECT_STREQ("TarnIO::Path::Rename", e.GetContext().function);
            EXPECT_EQ((Names{"Win32Error"}), DetailNames(e));
            ASSERT_NE(nullptr, e.GetInfo<TarnError::ErrorInfo_Win32Error>());
            EXPECT_EQ(row.error, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        }
        EXPECT_FALSE(caughtAsPathError);
        EXPECT_TRUE(caughtAsError);
    }
    // Nothing was replaced.
    EXPECT_EQ("a", ReadBack(In(L"a.txt")));
    EXPECT_EQ("b", ReadBack(In(L"b.txt")));
}

TEST_F(PathQueryTest, SymbolicLinkToAFile) {
    const std::wstring target = MakeFile(L"target.txt", "12345");
    const std::wstring link = In(L"link.txt");
    // Needs the privilege or developer mode on Windows; under Wine the call
    // answers TRUE but makes nothing, so the link is checked for.
    // 0x2 asks for an unprivileged link (developer mode); older systems
    // refuse the flag, so plain is tried next.
    const bool made = ::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0x2) ||
                      ::CreateSymbolicLinkW(link.c_str(), target.c_str(), 0);
    const DWORD attributes = ::GetFileAttributesW(link.c_str());
    if (!made || attributes == INVALID_FILE_ATTRIBUTES ||
        !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        GTEST_SKIP() << "this system cannot make a symbolic link here";
    PathStats stats;
    ASSERT_TRUE(Path(link).Query(stats));
    EXPECT_TRUE(stats.IsReparsePoint());
    EXPECT_TRUE(stats.IsSymlink());
    EXPECT_EQ(0xA000000CUL, stats.GetReparseTag());
    EXPECT_FALSE(stats.IsFile());
    // Path::IsFile ignores the reparse bit: a link to a file is a file.
    EXPECT_TRUE(Path(link).IsFile());
    EXPECT_FALSE(Path(link).IsDirectory());
}
