// What only FileHandle does: name forms and Open, the null handle that counts as open,
// Stat, Query and the failures Wine reports. What all backends share: BackendTypedTest.cpp.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <string>
#include <typeinfo>

using TarnIO::FileError;
using TarnIO::FileHandle;
using TarnIO::FileReadError;
using TarnIO::FileWriteError;
using TarnIO::Path;

namespace {

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

using TarnTest::Thrown;

const std::string at = ".\\FileHandle TarnIO::FileHandle::";

typedef TarnTest::TempDirTest FileHandleTest;

}  // namespace

TEST_F(FileHandleTest, OpenClosesFirstAndReportsThroughTheLastError) {
    const std::wstring path = In(L"new.txt");
    FileHandle file;
    EXPECT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW));
    EXPECT_EQ(3u, file.Write("abc", 3));
    EXPECT_TRUE(file.Open(Narrow(path).c_str()) && file.Open(Path(path)));
    EXPECT_EQ(3u, file.GetSize());
    const HANDLE before = file.Raw();
    ::SetLastError(0);
    EXPECT_FALSE(file.Open(In(L"missing.txt").c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_FALSE(file.IsOpen());
    BY_HANDLE_FILE_INFORMATION info;
    EXPECT_FALSE(::GetFileInformationByHandle(before, &info));  // closed before the attempt
    EXPECT_FALSE(file.Open(Path(In(L"missing.txt"))));
}

TEST_F(FileHandleTest, FailuresAsTheSystemReportsThem) {
    // A non-ASCII name shows how each form spells the name in the detail.
    const std::wstring missing = In(L"gone-\u00e9.txt"), path = MakeFile(L"r.txt", "0123456789");
    const std::string narrow = Narrow(In(L"gone.txt")),
                      escaped = Narrow(In(L"gone-")) + "\\u00E9.txt";
    FileHandle file(path.c_str(), GENERIC_READ, 0);  // shares nothing
    ASSERT_EQ(4u, file.Seek(4, TarnIO::seekBegin));
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    FileHandle reader(readEnd), writer(writeEnd);
    EXPECT_FALSE(FileHandle(INVALID_HANDLE_VALUE).IsOpen());
    FileHandle h(static_cast<HANDLE>(nullptr));  // plain nullptr: ambiguous with the names
    EXPECT_TRUE(h.IsOpen());
    char c;
    BY_HANDLE_FILE_INFORMATION info;
    typedef TarnIO::FileOpenError OpenError;
    const std::string open = "FileHandle: unable to open file; FileErrorCode=",
                      absent = open + "fileErrorNotFound; Win32Error=2; filePath=",
                      unset = "; FileErrorCode=fileErrorNotOpen; Win32Error=6";
    const std::pair<std::string, std::string> rows[] = {
        {Thrown<OpenError>([&] { FileHandle f(narrow.c_str()); }), absent + narrow},
        {Thrown<OpenError>([&] { FileHandle f(missing.c_str()); }), absent + escaped},
        {Thrown<OpenError>([&] { FileHandle f{Path(missing)}; }), absent + escaped},
        {Thrown<OpenError>([&] { FileHandle f(path.c_str()); }),
         open + "fileErrorSharingViolation; Win32Error=32; filePath=" + Narrow(path)},
        // The system refuses a position before the start; the position stays.
        {Thrown<FileError>([&] { file.Seek(-5, TarnIO::seekCurrent); }),
         "Seek: unable to seek in file; FileErrorCode=fileErrorUnknown; Win32Error=131"},
        {Thrown<FileWriteError>([&] { file.Write("x", 1); }),
         "Write: unable to write file; FileErrorCode=fileErrorAccessDenied; Win32Error=5"},
        // The system answers ERROR_INVALID_FUNCTION for the size of a pipe.
        {Thrown<FileError>([&] { reader.GetSize(); }),
         "GetSize: unable to query file size; FileErrorCode=fileErrorUnknown; Win32Error=1"},
        {Thrown<FileReadError>([&] { writer.Close(), reader.Read(&c, 1); }),
         "Read: unable to read file; FileErrorCode=fileErrorUnknown; Win32Error=109"},
        {Thrown<FileReadError>([&] { h.Read(&c, 1); }), "Read: unable to read file" + unset},
        {Thrown<FileWriteError>([&] { h.Write("x", 1); }), "Write: unable to write file" + unset},
        {Thrown<FileError>([&] { h.GetSize(); }), "GetSize: unable to query file size" + unset},
        {Thrown<FileError>([&] { h.GetPosition(); }), "Seek: unable to seek in file" + unset},
        {Thrown<FileWriteError>([&] { h.Flush(); }), "Flush: unable flush file buffers" + unset},
        {Thrown<FileError>([&] { h.Stat(info); }), "Stat: unable to stat file" + unset},
    };
    for (const auto& row : rows)
        EXPECT_EQ(at + row.second, row.first);
    EXPECT_EQ(4u, file.GetPosition());
    file.Close();
    EXPECT_EQ("0123456789", ReadBack(path));
    // Query does not throw: the refusal is recorded in the snapshot.
    auto stats = TarnIO::PathStats::FromAttributeData(WIN32_FILE_ATTRIBUTE_DATA{}, 0);
    EXPECT_FALSE(h.Query(stats) || stats.Exists());
    EXPECT_EQ(static_cast<DWORD>(ERROR_INVALID_HANDLE), stats.GetQueryError());
    EXPECT_EQ(nullptr, h.Release());
}

TEST_F(FileHandleTest, StatAndQueryOnAFileAndADirectory) {
    FileHandle file(MakeFile(L"q.txt").c_str(), GENERIC_READ | GENERIC_WRITE);
    file.Seek(5000000000, TarnIO::seekBegin);  // sparse 5 GB: the size needs the high word
    ASSERT_TRUE(::SetEndOfFile(file.Raw()));
    BY_HANDLE_FILE_INFORMATION info;
    file.Stat(info);
    EXPECT_EQ(1u, info.nFileSizeHigh);
    TarnIO::PathStats stats;
    ASSERT_TRUE(file.Query(stats));
    EXPECT_EQ(5000000000u, stats.GetFileSize());
    EXPECT_EQ(0u, stats.GetReparseTag());
    EXPECT_EQ(info.dwFileAttributes, stats.GetAttributes());
    EXPECT_EQ(TarnUtil::Time(info.ftCreationTime, TarnUtil::timeUtc), stats.GetCreateTime());
    EXPECT_EQ(TarnUtil::Time(info.ftLastAccessTime, TarnUtil::timeUtc), stats.GetAccessTime());
    EXPECT_EQ(TarnUtil::Time(info.ftLastWriteTime, TarnUtil::timeUtc), stats.GetModifyTime());

    FileHandle dir(MakeDir(L"sub").c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_TRUE(dir.Query(stats));
    EXPECT_TRUE(stats.IsDirectory() && !stats.IsFile());

    // Stat is FileHandle's own; closed, it refuses with its own name.
    file.Close();
    EXPECT_EQ(at + "Stat: file not open; FileErrorCode=fileErrorNotOpen",
              Thrown<TarnError::LogicError>([&] { file.Stat(info); }));
}
