// FileDescriptor behaviour of its own: opening by narrow, wide and Path name,
// descriptors over Win32 handles, and the C runtime's refusals. What the
// three backends share is in BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>

#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace {

using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;
using TarnIO::FileDescriptor;

class FileDescriptorTest : public TarnTest::TempDirTest {};

void ExpectThrownBy(const TarnError::Error& e, const char* message, const char* function) {
    EXPECT_EQ(e.GetMessageText(), message);
    EXPECT_STREQ(e.GetContext().file, ".\\FileDescriptor");
    EXPECT_STREQ(e.GetContext().function, function);
}

const char* const constructor = "TarnIO::FileDescriptor::FileDescriptor";

TEST_F(FileDescriptorTest, MissingFileByEveryKindOfName) {
    // A name outside ASCII shows how each form is written into the detail.
    std::wstring wide = In(L"missing-\u00e9.bin");
    std::string escaped = TarnError::UnicodeEscape(wide.c_str(), 0xFFFFFFFF);
    std::string narrow = TarnIO::Path(In(L"missing.bin")).AsNarrowString();
    struct Row {
        const char* label;
        std::function<void()> open;
        std::string filePath;
    } rows[] = {
        {"narrow", [&] { FileDescriptor f(narrow.c_str()); }, narrow},
        {"wide", [&] { FileDescriptor f(wide.c_str()); }, escaped},
        {"Path", [&] { FileDescriptor f{TarnIO::Path(wide)}; }, escaped},
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

TEST_F(FileDescriptorTest, ShareModeTheRuntimeRejects) {
    std::wstring path = MakeFile(L"data.bin", "abc");
    std::string narrow = TarnIO::Path(path).AsNarrowString();
    const int badShare = 0x12345;

    TarnError::InvalidArgument e = CatchError<TarnError::InvalidArgument>(
        [&] { FileDescriptor f(narrow.c_str(), _O_RDONLY, badShare); });
    ExpectThrownBy(e, "invalid argument", constructor);
    EXPECT_EQ(DetailNames(e), (Names{"invalidArgumentName", "filePath"}));
    ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
    EXPECT_STREQ(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "oflag, share");
    ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_filePath>(), nullptr);
    EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_filePath>(), narrow);

    // Open reports the same refusal without throwing, and an object that
    // held a file before holds none afterwards.
    FileDescriptor f(narrow.c_str());
    ASSERT_TRUE(f.IsOpen());
    EXPECT_FALSE(f.Open(narrow.c_str(), _O_RDONLY, badShare));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(f.IsOpen());
    // Windows' _wsopen refuses the share mode with EINVAL as well; Wine's
    // returns -1 and leaves errno untouched, so the wide forms are not
    // compared here.
}

TEST_F(FileDescriptorTest, NarrowOpenClearsErrnoOnSuccess) {
    std::string narrow = TarnIO::Path(MakeFile(L"data.bin", "abc")).AsNarrowString();
    FileDescriptor f;
    errno = ENOENT;
    EXPECT_TRUE(f.Open(narrow.c_str()));
    EXPECT_EQ(errno, 0);
}

TEST_F(FileDescriptorTest, WideNameIsOpenedByTheLinkedRuntime) {
    // The name cannot be written in the ANSI code page, so only the bound
    // wide function can open it; the descriptor it returns must be one that
    // the library's own _read knows.
    std::wstring path = MakeFile(L"\u03a9\u4e2d.bin", "wide content");
    std::string content(32, '\0');
    {
        FileDescriptor f(path.c_str());
        content.resize(f.Read(&content[0], content.size()));
    }
    EXPECT_EQ(content, "wide content");

    FileDescriptor byPath(TarnIO::Path(path), _O_RDWR | _O_BINARY);
    EXPECT_EQ(byPath.Write("W", 1), 1u);
    byPath.Close();
    EXPECT_EQ(ReadBack(path), "Wide content");
}

TEST_F(FileDescriptorTest, DescriptorOverWin32Handle) {
    std::wstring path = MakeFile(L"data.bin", "handle data");
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    // The descriptor owns the handle: its destructor closes it, which the
    // fixture's teardown checks by removing the file.
    FileDescriptor f(h, _O_RDONLY);
    EXPECT_EQ(f.RawHandle(), h);
    char buffer[16] = {};
    EXPECT_EQ(f.Read(buffer, sizeof buffer), 11u);
    EXPECT_STREQ(buffer, "handle data");
}

TEST_F(FileDescriptorTest, HandleConstructorFailures) {
    TarnError::InvalidArgument invalid = CatchError<TarnError::InvalidArgument>(
        [] { FileDescriptor f(INVALID_HANDLE_VALUE, 0); });
    ExpectThrownBy(invalid, "invalid argument", constructor);
    EXPECT_EQ(DetailNames(invalid), (Names{"invalidArgumentName"}));
    ASSERT_NE(invalid.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
    EXPECT_STREQ(*invalid.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "fileHandle");

    // A null handle is not refused in advance; the C runtime cannot tell its
    // file type and refuses it with EBADF.
    TarnIO::FileOpenError open =
        CatchError<TarnIO::FileOpenError>([] { FileDescriptor f(static_cast<void*>(nullptr), 0); });
    ExpectThrownBy(open, "unable to open file", constructor);
    EXPECT_EQ(DetailNames(open), (Names{"FileErrorCode", "errno"}));
    ASSERT_NE(open.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
    EXPECT_EQ(*open.GetInfo<TarnError::ErrorInfo_errno>(), EBADF);
}

// The C runtime reports a null buffer to its invalid-parameter handler; one
// that returns makes the call fail with EINVAL. The library installs none:
// that is the application's choice, made here by the test.
void ReturningHandler(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

class InvalidParameterHandler {
public:
    InvalidParameterHandler() : previous(_set_invalid_parameter_handler(ReturningHandler)) {}
    ~InvalidParameterHandler() { _set_invalid_parameter_handler(previous); }

private:
    _invalid_parameter_handler previous;
};

TEST_F(FileDescriptorTest, NullBufferIsAnInvalidArgument) {
    std::wstring path = MakeFile(L"data.bin", "abc");
    FileDescriptor f(path.c_str(), _O_RDWR | _O_BINARY);
    InvalidParameterHandler handler;
    struct Row {
        const char* function;
        std::function<void()> call;
    } rows[] = {
        {"TarnIO::FileDescriptor::Read", [&] { f.Read(nullptr, 3); }},
        {"TarnIO::FileDescriptor::Write", [&] { f.Write(nullptr, 3); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.function);
        TarnError::InvalidArgument e = CatchError<TarnError::InvalidArgument>(row.call);
        ExpectThrownBy(e, "invalid argument", row.function);
        ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
        EXPECT_STREQ(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "buffer");
    }
    EXPECT_TRUE(f.IsOpen());
}

TEST_F(FileDescriptorTest, FailuresOfAReadOnlyDescriptor) {
    std::wstring path = MakeFile(L"data.bin", "abc");
    FileDescriptor f(path.c_str(), _O_RDONLY | _O_BINARY);

    TarnIO::FileWriteError write =
        CatchError<TarnIO::FileWriteError>([&] { f.Write("x", 1); });
    ExpectThrownBy(write, "unable to write file", "TarnIO::FileDescriptor::Write");
    EXPECT_EQ(DetailNames(write), (Names{"FileErrorCode", "errno"}));
    ASSERT_NE(write.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
    EXPECT_EQ(*write.GetInfo<TarnError::ErrorInfo_errno>(), EBADF);

    // FlushFileBuffers needs write access to the handle.
    TarnIO::FileWriteError flush = CatchError<TarnIO::FileWriteError>([&] { f.Flush(); });
    ExpectThrownBy(flush, "unable flush file buffers", "TarnIO::FileDescriptor::Flush");
    EXPECT_EQ(DetailNames(flush), (Names{"FileErrorCode", "errno"}));
    ASSERT_NE(flush.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
    EXPECT_EQ(*flush.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), TarnIO::fileErrorAccessDenied);

    TarnIO::FileError seek = CatchError<TarnIO::FileError>([&] { f.Seek(-10, TarnIO::seekBegin); });
    ExpectThrownBy(seek, "unable to seek in file", "TarnIO::FileDescriptor::Seek");
    ASSERT_NE(seek.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
    EXPECT_EQ(*seek.GetInfo<TarnError::ErrorInfo_errno>(), EINVAL);
    // None of the failures closed or moved the descriptor.
    EXPECT_EQ(f.GetPosition(), 0u);
}

TEST_F(FileDescriptorTest, OnlyMinusOneMeansNoFile) {
    FileDescriptor other(-2);
    EXPECT_TRUE(other.IsOpen());
    EXPECT_EQ(other.Release(), -2);

    FileDescriptor none;
    EXPECT_EQ(none.Raw(), -1);
    EXPECT_EQ(none.RawHandle(), INVALID_HANDLE_VALUE);
}

}  // namespace
