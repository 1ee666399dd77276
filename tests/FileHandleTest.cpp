// FileHandle against real files in a per-test temporary directory, and its
// failures as Wine reports them.
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
using TarnIO::PathStats;
using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;

namespace {

// FileHandle(nullptr) would be ambiguous with the name constructors.
const HANDLE nullHandle = nullptr;

const std::uint64_t fiveGigabytes = 5000000000ull;

class FileHandleTest : public TarnTest::TempDirTest {
protected:
    // A file of size bytes that are almost all a hole: cheap even at 5 GB.
    std::wstring MakeSparse(const std::wstring& name, std::uint64_t size) {
        std::wstring path = In(name);
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        EXPECT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(::SetEndOfFile(h));
        ::CloseHandle(h);
        return path;
    }
};

std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }

// The dynamic class of what f throws (CatchError keeps only the caught base).
template <class F>
const std::type_info& ThrownType(F&& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return typeid(e);
    }
    return typeid(void);
}

// A raw handle still refers to an open object.
bool IsLive(HANDLE h) {
    BY_HANDLE_FILE_INFORMATION info;
    return ::GetFileInformationByHandle(h, &info) != 0;
}

void ExpectWin32Failure(const TarnError::Error& e, const char* message, const char* function,
                        unsigned long win32, TarnIO::FileErrorCode code) {
    EXPECT_EQ(message, e.GetMessageText());
    EXPECT_STREQ(function, e.GetContext().function);
    EXPECT_STREQ(".\\FileHandle", e.GetContext().file);
    ASSERT_GE(e.GetInfoCount(), 2u);
    EXPECT_STREQ("FileErrorCode", e.GetInfoAt(0).GetName());
    EXPECT_STREQ("Win32Error", e.GetInfoAt(1).GetName());
    ASSERT_NE(nullptr, e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>());
    EXPECT_EQ(code, *e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>());
    EXPECT_EQ(win32, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
}

}  // namespace

TEST_F(FileHandleTest, ReadsShortAndZeroAtTheEnd) {
    FileHandle file(Path(MakeFile(L"five.txt", "hello")));
    char buffer[16] = {};
    EXPECT_EQ(0u, file.Read(buffer, 0));
    EXPECT_EQ(0u, file.GetPosition());
    EXPECT_EQ(2u, file.Read(buffer, 2));
    EXPECT_EQ(3u, file.Read(buffer + 2, sizeof buffer - 2));  // short, and not repeated
    EXPECT_STREQ("hello", buffer);
    EXPECT_EQ(0u, file.Read(buffer, sizeof buffer));          // end of file: no throw
    EXPECT_EQ(5u, file.GetPosition());
}

TEST_F(FileHandleTest, WriteThenReadAllAndReadAt) {
    const std::wstring path = In(L"rw.bin");
    FileHandle file(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW);
    EXPECT_EQ(10u, file.Write("0123456789", 10));
    file.Flush();
    EXPECT_EQ(10u, file.GetSize());
    char buffer[4] = {};
    EXPECT_EQ(3u, file.ReadAt(2, buffer, 3));
    EXPECT_STREQ("234", buffer);
    EXPECT_EQ(10u, file.GetPosition());
    file.Seek(4, TarnIO::seekBegin);
    std::string out = ">";
    EXPECT_EQ(6u, file.ReadAll(out));
    EXPECT_EQ(">456789", out);
    file.Close();
    EXPECT_EQ("0123456789", ReadBack(path));
}

TEST_F(FileHandleTest, SeekWithEachOrigin) {
    struct Row {
        std::int64_t offset;
        TarnIO::SeekOrigin origin;
        std::uint64_t expected;
    };
    const Row rows[] = {
        {3, TarnIO::seekBegin, 3},   {2, TarnIO::seekCurrent, 5}, {-1, TarnIO::seekCurrent, 4},
        {0, TarnIO::seekEnd, 10},    {-3, TarnIO::seekEnd, 7},    {0, TarnIO::seekCurrent, 7},
        {25, TarnIO::seekBegin, 25}, {5, TarnIO::seekEnd, 15},    {0, TarnIO::seekBegin, 0},
    };
    FileHandle file(MakeFile(L"ten.txt", "0123456789").c_str());
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.offset) + " from origin " + std::to_string(row.origin));
        EXPECT_EQ(row.expected, file.Seek(row.offset, row.origin));
        EXPECT_EQ(row.expected, file.GetPosition());
    }
    EXPECT_EQ(file.GetSize(), file.Seek(0, TarnIO::seekEnd));
}

TEST_F(FileHandleTest, SeekRefusesABadOriginAfterTheOpenCheck) {
    FileHandle file(MakeFile(L"x.txt", "x").c_str());
    const auto origin = static_cast<TarnIO::SeekOrigin>(3);
    auto invalid = CatchError<TarnError::InvalidArgument>([&] { file.Seek(0, origin); });
    EXPECT_EQ("invalid argument", invalid.GetMessageText());
    EXPECT_STREQ("TarnIO::FileHandle::Seek", invalid.GetContext().function);
    EXPECT_EQ(Names{"invalidArgumentName"}, DetailNames(invalid));
    EXPECT_STREQ("origin", *invalid.GetInfo<TarnError::ErrorInfo_invalidArgumentName>());

    file.Close();
    auto closed = CatchError<TarnError::LogicError>([&] { file.Seek(0, origin); });
    EXPECT_EQ("file not open", closed.GetMessageText());
    EXPECT_STREQ("TarnIO::FileHandle::Seek", closed.GetContext().function);
}

TEST_F(FileHandleTest, NegativePositionIsRefusedAndThePositionKept) {
    FileHandle file(MakeFile(L"x.txt", "0123456789").c_str());
    file.Seek(4, TarnIO::seekBegin);
    const std::pair<std::int64_t, TarnIO::SeekOrigin> seeks[] = {
        {-5, TarnIO::seekCurrent}, {-1, TarnIO::seekBegin}, {-11, TarnIO::seekEnd}};
    for (const auto& seek : seeks) {
        SCOPED_TRACE(seek.first);
        auto seekThere = [&] { file.Seek(seek.first, seek.second); };
        EXPECT_EQ(typeid(TarnIO::FileError), ThrownType(seekThere));
        auto e = CatchError<TarnIO::FileError>(seekThere);
        ExpectWin32Failure(e, "unable to seek in file", "TarnIO::FileHandle::Seek",
                           ERROR_NEGATIVE_SEEK, TarnIO::fileErrorUnknown);
        EXPECT_EQ(4u, file.GetPosition());
    }
}

TEST_F(FileHandleTest, SizeAndSeekBeyondFourGigabytes) {
    const std::wstring path = MakeSparse(L"big.bin", fiveGigabytes);
    FileHandle file(path.c_str(), GENERIC_READ | GENERIC_WRITE);
    EXPECT_EQ(fiveGigabytes, file.GetSize());
    EXPECT_EQ(fiveGigabytes, file.Seek(0, TarnIO::seekEnd));
    const std::uint64_t beyond = 0x100000005ull;  // low word 5: a 32-bit cut would land at 5
    EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
    EXPECT_EQ(1u, file.Write("x", 1));
    EXPECT_EQ(beyond + 1, file.GetPosition());
    EXPECT_EQ(beyond - 1, file.Seek(-2, TarnIO::seekCurrent));
    char two[2] = {'?', '?'};
    EXPECT_EQ(2u, file.Read(two, 2));
    EXPECT_EQ('\0', two[0]);
    EXPECT_EQ('x', two[1]);
    char five[1] = {'?'};
    EXPECT_EQ(1u, file.ReadAt(5, five, 1));
    EXPECT_EQ('\0', five[0]);  // nothing was written at 5
    EXPECT_EQ(beyond + 1, file.GetPosition());

    PathStats stats;
    ASSERT_TRUE(file.Query(stats));
    EXPECT_EQ(fiveGigabytes, stats.GetFileSize());
}

TEST_F(FileHandleTest, AttachReleaseAndClose) {
    const std::wstring path = MakeFile(L"a.txt", "a");
    HANDLE first = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    HANDLE second = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, first);
    ASSERT_NE(INVALID_HANDLE_VALUE, second);
    {
        FileHandle file(first);
        EXPECT_EQ(first, file.Raw());
        file.Attach(first);  // the same handle: kept open
        EXPECT_TRUE(IsLive(first));
        file.Attach(second);  // another: the first is closed
        EXPECT_FALSE(IsLive(first));
        EXPECT_EQ(second, file.Raw());
        EXPECT_EQ(second, file.Release());
        EXPECT_FALSE(file.IsOpen());
        EXPECT_EQ(INVALID_HANDLE_VALUE, file.Raw());
        EXPECT_EQ(INVALID_HANDLE_VALUE, file.Release());
    }
    EXPECT_TRUE(IsLive(second));  // released, so the destructor left it open
    {
        FileHandle file(second);
    }
    EXPECT_FALSE(IsLive(second));  // the destructor closed it

    FileHandle file(path.c_str());
    EXPECT_TRUE(static_cast<bool>(file));
    file.Close();
    EXPECT_FALSE(static_cast<bool>(file));
    file.Close();  // harmless
    EXPECT_FALSE(file.IsOpen());
}

TEST_F(FileHandleTest, OnlyTheInvalidHandleMeansNoFile) {
    EXPECT_FALSE(FileHandle().IsOpen());
    EXPECT_FALSE(FileHandle(INVALID_HANDLE_VALUE).IsOpen());
    FileHandle null(nullHandle);
    EXPECT_TRUE(null.IsOpen());
    EXPECT_TRUE(static_cast<bool>(null));
    // Being open, it reaches the system, which refuses the handle.
    char c;
    auto e = CatchError<TarnIO::FileReadError>([&] { null.Read(&c, 1); });
    ExpectWin32Failure(e, "unable to read file", "TarnIO::FileHandle::Read", ERROR_INVALID_HANDLE,
                       TarnIO::fileErrorNotOpen);
    EXPECT_EQ(nullptr, null.Release());
}

TEST_F(FileHandleTest, OpenClosesFirstAndReportsThroughTheLastError) {
    const std::wstring path = MakeFile(L"here.txt", "abc");
    const std::wstring missing = In(L"missing.txt");
    FileHandle file;
    EXPECT_TRUE(file.Open(Narrow(path).c_str()));
    EXPECT_TRUE(file.Open(path.c_str()));
    EXPECT_TRUE(file.Open(Path(path)));
    EXPECT_EQ(3u, file.GetSize());

    HANDLE before = file.Raw();
    ::SetLastError(0);
    EXPECT_FALSE(file.Open(missing.c_str()));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
    EXPECT_FALSE(file.IsOpen());
    EXPECT_FALSE(IsLive(before));  // closed before the failed attempt
    EXPECT_FALSE(file.Open(Narrow(missing).c_str()));
    EXPECT_FALSE(file.Open(Path(missing)));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), ::GetLastError());
}

TEST_F(FileHandleTest, QueryAndStatOnAFileAndADirectory) {
    const std::wstring path = MakeFile(L"q.txt", "12345");
    FileHandle file(path.c_str());
    BY_HANDLE_FILE_INFORMATION info;
    file.Stat(info);
    EXPECT_EQ(5u, info.nFileSizeLow);
    EXPECT_EQ(0u, info.nFileSizeHigh);
    EXPECT_EQ(1u, info.nNumberOfLinks);
    PathStats stats;
    ASSERT_TRUE(file.Query(stats));
    EXPECT_TRUE(stats.IsFile());
    EXPECT_FALSE(stats.IsDirectory());
    EXPECT_EQ(5u, stats.GetFileSize());
    EXPECT_EQ(0u, stats.GetReparseTag());
    EXPECT_EQ(info.dwFileAttributes, stats.GetAttributes());
    EXPECT_EQ(TarnUtil::Time(info.ftLastWriteTime, TarnUtil::timeUtc), stats.GetModifyTime());
    EXPECT_EQ(TarnUtil::Time(info.ftCreationTime, TarnUtil::timeUtc), stats.GetCreateTime());

    FileHandle dir(MakeDir(L"sub").c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    dir.Stat(info);
    EXPECT_TRUE(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    ASSERT_TRUE(dir.Query(stats));
    EXPECT_TRUE(stats.IsDirectory());
    EXPECT_FALSE(stats.IsFile());
}

TEST_F(FileHandleTest, QueryFailureIsReportedInTheSnapshot) {
    FileHandle null(nullHandle);
    PathStats stats = PathStats::FromAttributeData(WIN32_FILE_ATTRIBUTE_DATA{}, 0);
    EXPECT_FALSE(null.Query(stats));
    EXPECT_FALSE(stats.Exists());
    EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE), stats.GetQueryError());
    null.Release();
}

TEST_F(FileHandleTest, MissingFileInEachNameForm) {
    // A non-ASCII name shows how each form spells the name in the detail.
    const std::wstring missing = In(L"gone-\u00e9.txt");
    const std::string escaped = Narrow(In(L"gone-")) + "\\u00E9.txt";
    const std::string narrowMissing = Narrow(In(L"gone.txt"));
    struct Row {
        const char* name;
        std::function<void()> open;
        std::string expectedPath;
    };
    const Row rows[] = {
        {"narrow", [&] { FileHandle f(narrowMissing.c_str()); }, narrowMissing},
        {"wide", [&] { FileHandle f(missing.c_str()); }, escaped},
        {"Path", [&] { FileHandle f{Path(missing)}; }, escaped},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto e = CatchError<TarnIO::FileOpenError>(row.open);
        ExpectWin32Failure(e, "unable to open file", "TarnIO::FileHandle::FileHandle",
                           ERROR_FILE_NOT_FOUND, TarnIO::fileErrorNotFound);
        EXPECT_EQ((Names{"FileErrorCode", "Win32Error", "filePath"}), DetailNames(e));
        ASSERT_NE(nullptr, e.GetInfo<TarnIO::ErrorInfo_filePath>());
        EXPECT_EQ(row.expectedPath, *e.GetInfo<TarnIO::ErrorInfo_filePath>());
    }
}

TEST_F(FileHandleTest, ShareViolation) {
    const std::wstring path = MakeFile(L"locked.txt", "x");
    FileHandle holder(path.c_str(), GENERIC_READ, 0);
    auto e = CatchError<TarnIO::FileOpenError>([&] { FileHandle second(path.c_str()); });
    ExpectWin32Failure(e, "unable to open file", "TarnIO::FileHandle::FileHandle",
                       ERROR_SHARING_VIOLATION, TarnIO::fileErrorSharingViolation);
    EXPECT_EQ(3u, e.GetInfoCount());
}

TEST_F(FileHandleTest, WritingThroughAReadOnlyHandle) {
    const std::wstring path = MakeFile(L"r.txt", "keep");
    FileHandle file(path.c_str());
    auto e = CatchError<TarnIO::FileWriteError>([&] { file.Write("x", 1); });
    ExpectWin32Failure(e, "unable to write file", "TarnIO::FileHandle::Write", ERROR_ACCESS_DENIED,
                       TarnIO::fileErrorAccessDenied);
    EXPECT_EQ(2u, e.GetInfoCount());
    EXPECT_TRUE(file.IsOpen());  // a failure leaves the handle as it was
    EXPECT_EQ(0u, file.GetPosition());
    file.Close();
    EXPECT_EQ("keep", ReadBack(path));
}

TEST_F(FileHandleTest, GetSizeOfAPipe) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    FileHandle reader(readEnd);
    FileHandle writer(writeEnd);
    auto getSize = [&] { reader.GetSize(); };
    EXPECT_EQ(typeid(TarnIO::FileError), ThrownType(getSize));
    auto e = CatchError<TarnIO::FileError>(getSize);
    // A pipe has no size: the system answers ERROR_INVALID_FUNCTION, as Windows does.
    ExpectWin32Failure(e, "unable to query file size", "TarnIO::FileHandle::GetSize",
                       ERROR_INVALID_FUNCTION, TarnIO::fileErrorUnknown);
    EXPECT_EQ(2u, e.GetInfoCount());

    // It reads all the same...
    EXPECT_EQ(3u, writer.Write("abc", 3));
    char buffer[8];
    EXPECT_EQ(3u, reader.Read(buffer, sizeof buffer));
    // ...and a read after the writer has gone fails with the system's error.
    writer.Close();
    auto broken = CatchError<TarnIO::FileReadError>([&] { reader.Read(buffer, 1); });
    ExpectWin32Failure(broken, "unable to read file", "TarnIO::FileHandle::Read",
                       ERROR_BROKEN_PIPE, TarnIO::fileErrorUnknown);
}

TEST_F(FileHandleTest, EveryOperationReportsItsOwnFailure) {
    // The null handle reaches every system call, which refuses it.
    struct Row {
        const char* name;
        std::function<void(FileHandle&)> call;
        const std::type_info& type;
        const char* message;
        const char* function;
    };
    const Row rows[] = {
        {"GetSize", [](FileHandle& f) { f.GetSize(); }, typeid(TarnIO::FileError),
         "unable to query file size", "TarnIO::FileHandle::GetSize"},
        {"GetPosition", [](FileHandle& f) { f.GetPosition(); }, typeid(TarnIO::FileError),
         "unable to seek in file", "TarnIO::FileHandle::Seek"},
        {"Seek", [](FileHandle& f) { f.Seek(1, TarnIO::seekBegin); }, typeid(TarnIO::FileError),
         "unable to seek in file", "TarnIO::FileHandle::Seek"},
        {"Write", [](FileHandle& f) { f.Write("x", 1); }, typeid(TarnIO::FileWriteError),
         "unable to write file", "TarnIO::FileHandle::Write"},
        {"Flush", [](FileHandle& f) { f.Flush(); }, typeid(TarnIO::FileWriteError),
         "unable flush file buffers", "TarnIO::FileHandle::Flush"},
        {"Stat",
         [](FileHandle& f) {
             BY_HANDLE_FILE_INFORMATION info;
             f.Stat(info);
         },
         typeid(TarnIO::FileError), "unable to stat file", "TarnIO::FileHandle::Stat"},
    };
    FileHandle null(nullHandle);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto call = [&] { row.call(null); };
        EXPECT_EQ(row.type, ThrownType(call));
        auto e = CatchError<TarnIO::FileError>(call);
        ExpectWin32Failure(e, row.message, row.function, ERROR_INVALID_HANDLE,
                           TarnIO::fileErrorNotOpen);
        EXPECT_EQ(2u, e.GetInfoCount());
    }
    null.Release();
}

TEST_F(FileHandleTest, ClosedObjectThrowsNotOpenWithTheOperationsContext) {
    struct Row {
        std::function<void(FileHandle&)> call;
        const char* function;
    };
    char c;
    const Row rows[] = {
        {[&](FileHandle& f) { f.Read(&c, 1); }, "TarnIO::FileHandle::Read"},
        {[](FileHandle& f) { f.Write("x", 1); }, "TarnIO::FileHandle::Write"},
        {[](FileHandle& f) { f.GetSize(); }, "TarnIO::FileHandle::GetSize"},
        {[](FileHandle& f) { f.GetPosition(); }, "TarnIO::FileHandle::Seek"},
        {[](FileHandle& f) { f.Seek(0, TarnIO::seekBegin); }, "TarnIO::FileHandle::Seek"},
        {[](FileHandle& f) { f.Flush(); }, "TarnIO::FileHandle::Flush"},
        {[](FileHandle& f) {
             BY_HANDLE_FILE_INFORMATION info;
             f.Stat(info);
         },
         "TarnIO::FileHandle::Stat"},
        {[](FileHandle& f) {
             PathStats stats;
             f.Query(stats);
         },
         "TarnIO::FileHandle::Query"},
        {[](FileHandle& f) {
             std::string out;
             f.ReadAll(out);
         },
         "TarnIO::FileHandle::GetSize"},
        {[&](FileHandle& f) { f.ReadAt(0, &c, 1); }, "TarnIO::FileHandle::Seek"},
    };
    FileHandle closed;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.function);
        auto e = CatchError<TarnError::LogicError>([&] { row.call(closed); });
        EXPECT_EQ("file not open", e.GetMessageText());
        EXPECT_STREQ(row.function, e.GetContext().function);
        EXPECT_STREQ(".\\FileHandle", e.GetContext().file);
        ASSERT_EQ(Names{"FileErrorCode"}, DetailNames(e));
        EXPECT_EQ("fileErrorNotOpen (1)", TarnTest::Rendered(e.GetInfoAt(0)));
    }
}
