// What only FileHandle does: name forms and Open, the null handle that counts
// as open, Stat and Query, and the failures Wine reports (class, message,
// Context, details in order). What all backends share: BackendTypedTest.cpp.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include "TestSupport.h"

#include <functional>
#include <string>
#include <typeinfo>

using TarnIO::FileHandle;
using TarnIO::Path;

namespace {

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// Runs f, which must throw exactly `type` with the FileErrorCode, the Win32
// error and, when filePath is given, the file name as details.
void ExpectFailure(const std::function<void()>& f, const std::type_info& type, const char* message,
                   const char* function, DWORD win32, TarnIO::FileErrorCode code,
                   const char* filePath = nullptr) {
    try {
        f();
        ADD_FAILURE() << "nothing thrown";
    } catch (const TarnError::Error& e) {
        EXPECT_TRUE(type == typeid(e)) << typeid(e).name();
        EXPECT_EQ(message, e.GetMessageText());
        EXPECT_STREQ(function, e.GetContext().function);
        EXPECT_STREQ(".\\FileHandle", e.GetContext().file);
        TarnTest::Names details{"FileErrorCode", "Win32Error", "filePath"};
        details.resize(filePath ? 3 : 2);
        ASSERT_EQ(details, TarnTest::DetailNames(e));
        EXPECT_EQ(code, *e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>());
        EXPECT_EQ(win32, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        if (filePath) {
            EXPECT_EQ(filePath, *e.GetInfo<TarnIO::ErrorInfo_filePath>());
        }
    }
}

typedef TarnTest::TempDirTest FileHandleTest;

}  // namespace

TEST_F(FileHandleTest, OpenFailuresInEachNameForm) {
    // A non-ASCII name shows how each form spells the name in the detail.
    const std::wstring missing = In(L"gone-\u00e9.txt");
    const std::string escaped = Narrow(In(L"gone-")) + "\\u00E9.txt";
    const std::string narrow = Narrow(In(L"gone.txt"));
    const std::wstring locked = MakeFile(L"locked.txt", "x");
    FileHandle holder(locked.c_str(), GENERIC_READ, 0);  // shares nothing
    const auto notFound = TarnIO::fileErrorNotFound;
    struct Row {
        std::function<void()> open;
        std::string filePath;
        DWORD win32;
        TarnIO::FileErrorCode code;
    } const rows[] = {
        {[&] { FileHandle f(narrow.c_str()); }, narrow, ERROR_FILE_NOT_FOUND, notFound},
        {[&] { FileHandle f(missing.c_str()); }, escaped, ERROR_FILE_NOT_FOUND, notFound},
        {[&] { FileHandle f{Path(missing)}; }, escaped, ERROR_FILE_NOT_FOUND, notFound},
        {[&] { FileHandle f(locked.c_str()); }, Narrow(locked), ERROR_SHARING_VIOLATION,
         TarnIO::fileErrorSharingViolation},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.filePath);
        ExpectFailure(row.open, typeid(TarnIO::FileOpenError), "unable to open file",
                      "TarnIO::FileHandle::FileHandle", row.win32, row.code, row.filePath.c_str());
    }
}

TEST_F(FileHandleTest, OpenClosesFirstAndReportsThroughTheLastError) {
    const std::wstring path = In(L"new.txt");
    FileHandle file;
    EXPECT_TRUE(file.Open(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW));
    EXPECT_EQ(3u, file.Write("abc", 3));
    EXPECT_TRUE(file.Open(Narrow(path).c_str()));
    EXPECT_TRUE(file.Open(Path(path)));
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

TEST_F(FileHandleTest, RefusalsLeaveTheFileAsItWas) {
    const std::wstring path = MakeFile(L"r.txt", "0123456789");
    FileHandle file(path.c_str());
    ASSERT_EQ(4u, file.Seek(4, TarnIO::seekBegin));
    // The system refuses a position before the start; the position stays.
    const std::pair<std::int64_t, TarnIO::SeekOrigin> seeks[] = {
        {-5, TarnIO::seekCurrent}, {-1, TarnIO::seekBegin}, {-11, TarnIO::seekEnd}};
    for (const auto& seek : seeks) {
        SCOPED_TRACE(seek.first);
        ExpectFailure([&] { file.Seek(seek.first, seek.second); }, typeid(TarnIO::FileError),
                      "unable to seek in file", "TarnIO::FileHandle::Seek", ERROR_NEGATIVE_SEEK,
                      TarnIO::fileErrorUnknown);
        EXPECT_EQ(4u, file.GetPosition());
    }
    ExpectFailure([&] { file.Write("x", 1); }, typeid(TarnIO::FileWriteError),
                  "unable to write file", "TarnIO::FileHandle::Write", ERROR_ACCESS_DENIED,
                  TarnIO::fileErrorAccessDenied);
    EXPECT_EQ(4u, file.GetPosition());
    file.Close();
    EXPECT_EQ("0123456789", ReadBack(path));
}

TEST_F(FileHandleTest, PipeHasNoSizeButReads) {
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    FileHandle reader(readEnd), writer(writeEnd);
    // The system answers ERROR_INVALID_FUNCTION for the size of a pipe.
    ExpectFailure([&] { reader.GetSize(); }, typeid(TarnIO::FileError),
                  "unable to query file size", "TarnIO::FileHandle::GetSize",
                  ERROR_INVALID_FUNCTION, TarnIO::fileErrorUnknown);
    EXPECT_EQ(3u, writer.Write("abc", 3));
    char buffer[8];
    EXPECT_EQ(3u, reader.Read(buffer, sizeof buffer));
    writer.Close();
    ExpectFailure([&] { reader.Read(buffer, 1); }, typeid(TarnIO::FileReadError),
                  "unable to read file", "TarnIO::FileHandle::Read", ERROR_BROKEN_PIPE,
                  TarnIO::fileErrorUnknown);
}

TEST_F(FileHandleTest, NullHandleIsOpenAndEveryCallReportsTheSystemsRefusal) {
    EXPECT_FALSE(FileHandle(INVALID_HANDLE_VALUE).IsOpen());
    FileHandle h(static_cast<HANDLE>(nullptr));  // plain nullptr: ambiguous with the names
    EXPECT_TRUE(h.IsOpen());
    char c;
    BY_HANDLE_FILE_INFORMATION info;
    struct Row {
        std::function<void()> call;
        const std::type_info& type;
        const char *message, *function;
    } const rows[] = {
        {[&] { h.Read(&c, 1); }, typeid(TarnIO::FileReadError), "unable to read file", "Read"},
        {[&] { h.Write("x", 1); }, typeid(TarnIO::FileWriteError), "unable to write file", "Write"},
        {[&] { h.GetSize(); }, typeid(TarnIO::FileError), "unable to query file size", "GetSize"},
        {[&] { h.GetPosition(); }, typeid(TarnIO::FileError), "unable to seek in file", "Seek"},
        {[&] { h.Flush(); }, typeid(TarnIO::FileWriteError), "unable flush file buffers", "Flush"},
        {[&] { h.Stat(info); }, typeid(TarnIO::FileError), "unable to stat file", "Stat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.function);
        ExpectFailure(row.call, row.type, row.message,
                      ("TarnIO::FileHandle::" + std::string(row.function)).c_str(),
                      ERROR_INVALID_HANDLE, TarnIO::fileErrorNotOpen);
    }
    // Query does not throw: the refusal is recorded in the snapshot.
    TarnIO::PathStats stats = TarnIO::PathStats::FromAttributeData(WIN32_FILE_ATTRIBUTE_DATA{}, 0);
    EXPECT_FALSE(h.Query(stats));
    EXPECT_FALSE(stats.Exists());
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
    EXPECT_TRUE(stats.IsFile());
    EXPECT_EQ(5000000000u, stats.GetFileSize());
    EXPECT_EQ(0u, stats.GetReparseTag());
    EXPECT_EQ(info.dwFileAttributes, stats.GetAttributes());
    EXPECT_EQ(TarnUtil::Time(info.ftCreationTime, TarnUtil::timeUtc), stats.GetCreateTime());
    EXPECT_EQ(TarnUtil::Time(info.ftLastAccessTime, TarnUtil::timeUtc), stats.GetAccessTime());
    EXPECT_EQ(TarnUtil::Time(info.ftLastWriteTime, TarnUtil::timeUtc), stats.GetModifyTime());

    FileHandle dir(MakeDir(L"sub").c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_TRUE(dir.Query(stats));
    EXPECT_TRUE(stats.IsDirectory());
    EXPECT_FALSE(stats.IsFile());

    // Stat is FileHandle's own; closed, it refuses with its own name.
    file.Close();
    auto e = TarnTest::CatchError<TarnError::LogicError>([&] { file.Stat(info); });
    EXPECT_EQ("file not open", e.GetMessageText());
    EXPECT_STREQ("TarnIO::FileHandle::Stat", e.GetContext().function);
    EXPECT_STREQ(".\\FileHandle", e.GetContext().file);
}
