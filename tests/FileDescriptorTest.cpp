// FileDescriptor's own: invalid arguments. What the backends share: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/Path.h>

namespace {

using TarnIO::FileDescriptor;

// The C runtime's invalid-parameter handler, the application's choice: this one returns, and the
// call fails with EINVAL.
void Returning(const wchar_t*, const wchar_t*, const wchar_t*, unsigned, uintptr_t) {}

typedef TarnTest::TempDirTest FileDescriptorTest;

TEST_F(FileDescriptorTest, InvalidArguments) {
    const std::string path = TarnIO::Path(MakeFile(L"data.bin")).AsNarrowString();
    const std::string invalid = ": invalid argument; invalidArgumentName=";
    typedef TarnError::InvalidArgument Invalid;
    const auto previous = _set_invalid_parameter_handler(Returning);
    const std::pair<std::string, std::string> rows[] = {
        {TarnTest::Thrown<Invalid>([&] { FileDescriptor(path.c_str(), 0, 0x12345); }),
         "FileDescriptor" + invalid + "oflag, share; filePath=" + path},
        {TarnTest::Thrown<Invalid>([] { FileDescriptor(INVALID_HANDLE_VALUE, 0); }),
         "FileDescriptor" + invalid + "fileHandle"},
        {TarnTest::Thrown<Invalid>([&] { FileDescriptor(path.c_str()).Read(nullptr, 3); }),
         "Read" + invalid + "buffer"},
    };
    _set_invalid_parameter_handler(previous);
    for (const auto& [thrown, expected] : rows)
        EXPECT_EQ(thrown, ".\\FileDescriptor TarnIO::FileDescriptor::" + expected);
}

}  // namespace
