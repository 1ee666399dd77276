// FileDescriptor's own: the arguments it refuses as invalid, its own or after the C runtime's
// EINVAL. What the three backends share: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/Path.h>

namespace {

using TarnIO::FileDescriptor;

// The C runtime reports a null buffer to its invalid-parameter handler; one that returns makes
// the call fail with EINVAL. The library installs none: that is the application's choice.
void Returning(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

typedef TarnTest::TempDirTest FileDescriptorTest;

TEST_F(FileDescriptorTest, InvalidArguments) {
    const std::string path = TarnIO::Path(MakeFile(L"data.bin")).AsNarrowString();
    const std::string invalid = ": invalid argument; invalidArgumentName=";
    FileDescriptor file(path.c_str(), _O_RDWR | _O_BINARY);
    typedef TarnError::InvalidArgument Invalid;
    const auto previous = _set_invalid_parameter_handler(Returning);
    const std::pair<std::string, std::string> rows[] = {
        {TarnTest::Thrown<Invalid>([&] { FileDescriptor(path.c_str(), 0, 0x12345); }),
         "FileDescriptor" + invalid + "oflag, share; filePath=" + path},
        {TarnTest::Thrown<Invalid>([] { FileDescriptor(INVALID_HANDLE_VALUE, 0); }),
         "FileDescriptor" + invalid + "fileHandle"},
        {TarnTest::Thrown<Invalid>([&] { file.Read(nullptr, 3); }), "Read" + invalid + "buffer"},
    };
    _set_invalid_parameter_handler(previous);
    for (const auto& [thrown, expected] : rows)
        EXPECT_EQ(thrown, ".\\FileDescriptor TarnIO::FileDescriptor::" + expected);
}

}  // namespace
