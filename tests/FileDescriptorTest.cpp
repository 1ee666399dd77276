// FileDescriptor's own failures: its opening forms and the C runtime's
// refusals. What the three backends share is in BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>

#include <cerrno>
#include <cstdlib>
#include <functional>

namespace {

using TarnIO::FileDescriptor;

using TarnTest::Throws;

// The C runtime reports a null buffer to its invalid-parameter handler; one
// that returns makes the call fail with EINVAL. The library installs none:
// that is the application's choice, made here by the test.
void ReturningHandler(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

class FileDescriptorTest : public TarnTest::TempDirTest {};

TEST_F(FileDescriptorTest, Failures) {
    std::wstring wide = In(L"missing-\u00e9.bin");
    std::string escaped = TarnError::UnicodeEscape(wide.c_str(), 0xFFFFFFFF);
    std::string missing = TarnIO::Path(In(L"missing.bin")).AsNarrowString();
    std::string existing = TarnIO::Path(MakeFile(L"data.bin", "abc")).AsNarrowString();
    FileDescriptor readOnly(existing.c_str()), readWrite(existing.c_str(), _O_RDWR | _O_BINARY);
    const int badShare = 0x12345;
    const std::string at = ".\\FileDescriptor TarnIO::FileDescriptor::";
    const std::string absent = at + "FileDescriptor: unable to open file; "
                                      "FileErrorCode=fileErrorNotFound (4); errno=2; filePath=";
    const std::string invalid = ": invalid argument; invalidArgumentName=";
    using TarnError::InvalidArgument;
    typedef TarnIO::FileOpenError OpenError;
    struct Row {
        const char* label;
        std::function<std::string()> described;
        std::string expected;
    } rows[] = {
        {"narrow", Throws<OpenError>([&] { FileDescriptor(missing.c_str()); }), absent + missing},
        {"wide", Throws<OpenError>([&] { FileDescriptor(wide.c_str()); }), absent + escaped},
        {"Path", Throws<OpenError>([&] { FileDescriptor{TarnIO::Path(wide)}; }), absent + escaped},
        {"share", Throws<InvalidArgument>([&] { FileDescriptor(existing.c_str(), 0, badShare); }),
         at + "FileDescriptor" + invalid + "oflag, share; filePath=" + existing},
        {"handle", Throws<InvalidArgument>([] { FileDescriptor(INVALID_HANDLE_VALUE, 0); }),
         at + "FileDescriptor" + invalid + "fileHandle"},
        {"Read", Throws<InvalidArgument>([&] { readWrite.Read(nullptr, 3); }),
         at + "Read" + invalid + "buffer"},
        {"Write", Throws<InvalidArgument>([&] { readWrite.Write(nullptr, 3); }),
         at + "Write" + invalid + "buffer"},
        {"Flush", Throws<TarnIO::FileWriteError>([&] { readOnly.Flush(); }),
         at + "Flush: unable flush file buffers; FileErrorCode=fileErrorAccessDenied (5); "
              "errno=13"},
    };
    _invalid_parameter_handler previous = _set_invalid_parameter_handler(ReturningHandler);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(row.described(), row.expected);
    }
    _set_invalid_parameter_handler(previous);
    // Open refuses the share mode without throwing and holds no file after it
    // (Wine's _wsopen fails without setting errno: only the narrow form here).
    EXPECT_FALSE(readOnly.Open(existing.c_str(), _O_RDONLY, badShare));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_FALSE(readOnly.IsOpen());
}

TEST_F(FileDescriptorTest, WideNameIsOpenedByTheLinkedRuntime) {
    // Only the bound _wsopen can open a name with no ANSI form; the library's
    // own _read must know the descriptor it returns.
    std::wstring path = MakeFile(L"\u03a9\u4e2d.bin", "wide");
    std::string content;
    FileDescriptor(path.c_str()).ReadAll(content);
    FileDescriptor(TarnIO::Path(path)).ReadAll(content);
    EXPECT_EQ(content, "widewide");
}

}  // namespace
