// StdFile behaviour of its own: argument checks of the constructors, streams
// over descriptors, and failures of the C runtime's stream calls. What the
// three backends share is in BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <windows.h>

#include <cerrno>
#include <fcntl.h>
#include <functional>
#include <io.h>
#include <memory>
#include <string>

namespace {

using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;
using TarnIO::StdFile;

class StdFileTest : public TarnTest::TempDirTest {
protected:
    // A C runtime descriptor over a Win32 handle to path, opened with access
    // but described to the C runtime by oflag: the mismatch makes the stream
    // calls fail for real.
    int MismatchedDescriptor(const std::wstring& path, DWORD access, int oflag) {
        HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), oflag);
        EXPECT_NE(fd, -1);
        return fd;
    }
};

const char* const constructor = "TarnIO::StdFile::StdFile";

void ExpectThrownBy(const TarnError::Error& e, const char* message, const char* function) {
    EXPECT_EQ(e.GetMessageText(), message);
    EXPECT_STREQ(e.GetContext().file, ".\\StdFile");
    EXPECT_STREQ(e.GetContext().function, function);
}

void ExpectErrno(const TarnError::Error& e, int expected) {
    EXPECT_EQ(DetailNames(e), (Names{"FileErrorCode", "errno"}));
    ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
    EXPECT_EQ(*e.GetInfo<TarnError::ErrorInfo_errno>(), expected);
    ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
    EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), TarnIO::MapFileErrorErrno(expected));
}

TEST_F(StdFileTest, MissingFileByEveryKindOfName) {
    std::wstring wide = In(L"missing-\u00e9.bin");
    std::string escaped = TarnError::UnicodeEscape(wide.c_str(), 0xFFFFFFFF);
    std::string narrow = TarnIO::Path(In(L"missing.bin")).AsNarrowString();
    TarnIO::Path path(wide);
    struct Row {
        const char* label;
        std::function<void()> open;
        std::string filePath;
    } rows[] = {
        {"narrow", [&] { StdFile f(narrow.c_str(), "rb"); }, narrow},
        {"narrow, share", [&] { StdFile f(narrow.c_str(), "rb", _SH_DENYNO); }, narrow},
        {"wide, share", [&] { StdFile f(wide.c_str(), L"rb", _SH_DENYNO); }, escaped},
        {"Path", [&] { StdFile f(path, L"rb"); }, escaped},
        {"Path, share", [&] { StdFile f(path, L"rb", _SH_DENYRW); }, escaped},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TarnIO::FileOpenError e = CatchError<TarnIO::FileOpenError>(row.open);
        ExpectThrownBy(e, "unable to open file", constructor);
        EXPECT_EQ(DetailNames(e), (Names{"FileErrorCode", "errno", "filePath"}));
        ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), TarnIO::fileErrorNotFound);
        ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnError::ErrorInfo_errno>(), ENOENT);
        ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_filePath>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_filePath>(), row.filePath);
    }
}

TEST_F(StdFileTest, ConstructorArgumentChecks) {
    const char* noName = nullptr;
    const char* noMode = nullptr;
    const wchar_t* noWideName = nullptr;
    const wchar_t* noWideMode = nullptr;
    TarnIO::Path path(In(L"never-opened.bin"));
    struct Row {
        const char* label;
        std::function<void()> open;
        const char* argument;
    } rows[] = {
        // The name is checked before the mode.
        {"narrow, no name, no mode", [&] { StdFile f(noName, noMode); }, "path"},
        {"narrow, no mode", [&] { StdFile f("x.bin", noMode); }, "mode"},
        {"narrow share, no name", [&] { StdFile f(noName, "rb", _SH_DENYNO); }, "path"},
        {"narrow share, no mode", [&] { StdFile f("x.bin", noMode, _SH_DENYNO); }, "mode"},
        {"wide, no name, no mode", [&] { StdFile f(noWideName, noWideMode, _SH_DENYNO); }, "path"},
        {"wide, no mode", [&] { StdFile f(L"x.bin", noWideMode, _SH_DENYNO); }, "mode"},
        {"Path, no mode", [&] { StdFile f(path, noWideMode); }, "mode"},
        {"Path share, no mode", [&] { StdFile f(path, noWideMode, _SH_DENYNO); }, "mode"},
        {"descriptor -1", [&] { StdFile f(-1, "r"); }, "fd"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TarnError::InvalidArgument e = CatchError<TarnError::InvalidArgument>(row.open);
        ExpectThrownBy(e, "invalid argument", constructor);
        EXPECT_EQ(DetailNames(e), (Names{"invalidArgumentName"}));
        ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
        EXPECT_STREQ(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), row.argument);
    }
}

TEST_F(StdFileTest, DescriptorTheRuntimeRefuses) {
    std::wstring path = MakeFile(L"data.bin", "abc");
    int fd = _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    ASSERT_NE(fd, -1);
    TarnError::InvalidArgument mode =
        CatchError<TarnError::InvalidArgument>([&] { StdFile f(fd, "z"); });
    ExpectThrownBy(mode, "invalid argument", constructor);
    EXPECT_EQ(DetailNames(mode), (Names{"invalidArgumentName"}));
    ASSERT_NE(mode.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
    EXPECT_STREQ(*mode.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "mode");
    // The refused descriptor is still the caller's.
    EXPECT_EQ(_close(fd), 0);

    // A descriptor the C runtime never handed out: no path to report.
    TarnIO::FileOpenError open = CatchError<TarnIO::FileOpenError>([] { StdFile f(999, "rb"); });
    ExpectThrownBy(open, "unable to open file", constructor);
    ExpectErrno(open, EBADF);
}

TEST_F(StdFileTest, ReadAfterTheErrorIndicatorIsSet) {
    // On Windows, reading a stream opened "wb" sets its error indicator;
    // Wine's fread returns 0 and leaves the indicator clear. A handle opened
    // only for writing under a descriptor described as readable fails the
    // read in the system itself, on both.
    std::wstring path = MakeFile(L"data.bin", "abc");
    StdFile f(MismatchedDescriptor(path, GENERIC_WRITE, _O_RDONLY), "rb");
    char buffer[4];
    TarnIO::FileReadError first =
        CatchError<TarnIO::FileReadError>([&] { f.Read(buffer, sizeof buffer); });
    ExpectThrownBy(first, "unable to read file", "TarnIO::StdFile::Read");
    ExpectErrno(first, EBADF);
    // The indicator stays set: even a count of 0 now fails.
    TarnIO::FileReadError again = CatchError<TarnIO::FileReadError>([&] { f.Read(buffer, 0); });
    ExpectThrownBy(again, "unable to read file", "TarnIO::StdFile::Read");
    EXPECT_TRUE(f.IsOpen());
}

TEST_F(StdFileTest, FlushOfAStreamThatCannotWrite) {
    std::wstring path = MakeFile(L"data.bin", "abc");
    StdFile f(MismatchedDescriptor(path, GENERIC_READ, _O_WRONLY), "wb");
    // The bytes only reach the stream's buffer; the flush meets the handle.
    EXPECT_EQ(f.Write("xyz", 3), 3u);
    TarnIO::FileWriteError e = CatchError<TarnIO::FileWriteError>([&] { f.Flush(); });
    ExpectThrownBy(e, "unable to flush file buffers", "TarnIO::StdFile::Flush");
    ExpectErrno(e, EBADF);
    f.Close();
    EXPECT_EQ(ReadBack(path), "abc");
}

TEST_F(StdFileTest, SizeOfAPipeIsUnknown) {
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0));
    int fd = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY);
    ASSERT_NE(fd, -1);
    StdFile f(fd, "rb");
    DWORD written = 0;
    ASSERT_TRUE(::WriteFile(writeEnd, "pipe", 4, &written, nullptr));
    ::CloseHandle(writeEnd);

    TarnIO::FileError e = CatchError<TarnIO::FileError>([&] { f.GetSize(); });
    ExpectThrownBy(e, "unable to query file size", "TarnIO::StdFile::GetSize");
    EXPECT_EQ(DetailNames(e), (Names{"FileErrorCode", "errno"}));
    // The stream is still good for reading; a pipe's size is simply unknown.
    char buffer[8] = {};
    EXPECT_EQ(f.Read(buffer, sizeof buffer), 4u);
    EXPECT_STREQ(buffer, "pipe");
}

TEST_F(StdFileTest, WideNamesAreOpenedByTheLinkedRuntime) {
    // The name has no ANSI form: only the bound _wfopen/_wfsopen can open
    // it, and the FILE* they return must be one the library's fread can use.
    std::wstring path = MakeFile(L"\u03a9\u4e2d.bin", "wide content");
    TarnIO::Path asPath(path);
    auto opened = [](StdFile* f, bool ok) {
        EXPECT_TRUE(ok);
        return std::unique_ptr<StdFile>(f);
    };
    struct Row {
        const char* label;
        std::function<std::unique_ptr<StdFile>()> open;
    } rows[] = {
        {"wide, share", [&] { return opened(new StdFile(path.c_str(), L"rb", _SH_DENYNO), true); }},
        {"Path", [&] { return opened(new StdFile(asPath, L"rb"), true); }},
        {"Open wide", [&] {
             StdFile* f = new StdFile;
             return opened(f, f->Open(path.c_str(), L"rb"));
         }},
        {"Open wide, share", [&] {
             StdFile* f = new StdFile;
             return opened(f, f->Open(path.c_str(), L"rb", _SH_DENYWR));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::unique_ptr<StdFile> f = row.open();
        char buffer[32] = {};
        EXPECT_EQ(f->Read(buffer, sizeof buffer), 12u);
        EXPECT_STREQ(buffer, "wide content");
    }
}

TEST_F(StdFileTest, NarrowOpenClearsErrnoOnSuccess) {
    std::string narrow = TarnIO::Path(MakeFile(L"data.bin", "abc")).AsNarrowString();
    StdFile f;
    errno = ENOENT;
    EXPECT_TRUE(f.Open(narrow.c_str(), "rb"));
    EXPECT_EQ(errno, 0);
    EXPECT_NE(f.RawDescriptor(), -1);
    EXPECT_NE(f.RawHandle(), INVALID_HANDLE_VALUE);

    // A failing Open closes what was open first.
    EXPECT_FALSE(f.Open(TarnIO::Path(In(L"missing.bin")).AsNarrowCStr(), "rb"));
    EXPECT_EQ(errno, ENOENT);
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.RawDescriptor(), -1);
    EXPECT_EQ(f.RawHandle(), INVALID_HANDLE_VALUE);
}

}  // namespace
