// StdFile's own: the null names and modes and descriptor -1 it refuses before the C runtime
// sees them, opens with a share mode. What the backends share: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <fcntl.h>
#include <functional>
#include <io.h>

namespace {

using TarnIO::StdFile;
using TarnTest::Thrown;

typedef TarnTest::TempDirTest StdFileTest;

// The constructors throw; Open closes what was held first (held.bin cannot be made anew while
// open) and fails with EINVAL, or EBADF for descriptor -1.
TEST_F(StdFileTest, NullArguments) {
    const std::wstring wide = MakeFile(L"\u03a9\u4e2d.bin", "wide");  // no ANSI form
    const int fd = _wopen(wide.c_str(), _O_RDONLY);
    const char* noName = nullptr;
    const wchar_t* noWide = nullptr;
    typedef TarnError::InvalidArgument Invalid;
    const std::pair<std::string, std::string> thrown[] = {
        {Thrown<Invalid>([] { StdFile(nullptr, nullptr); }), "path"},  // name first
        {Thrown<Invalid>([&] { StdFile(TarnIO::Path(L"x"), noWide); }), "mode"},
        {Thrown<Invalid>([] { StdFile(-1, "rb"); }), "fd"},
        {Thrown<Invalid>([&] { StdFile(fd, "z"); }), "mode"},  // refused by _fdopen
    };
    for (const auto& [described, name] : thrown)
        EXPECT_EQ(described, ".\\StdFile TarnIO::StdFile::StdFile: invalid argument; "
                             "invalidArgumentName=" + name);
    EXPECT_EQ(_close(fd), 0);  // the refused descriptor is still the caller's
    StdFile file;
    const std::pair<std::function<bool()>, int> opened[] = {
        {[&] { return file.Open(wide.c_str(), L"rb", _SH_DENYNO); }, 0},
        {[&] { return file.Open("x", noName, _SH_DENYNO); }, EINVAL},
        {[&] { return file.Open(L"x", noWide); }, EINVAL},
        {[&] { return file.Open(noWide, L"rb", _SH_DENYNO); }, EINVAL},
        {[&] { return file.Open(-1, "rb"); }, EBADF},
    };
    for (const auto& [open, error] : opened) {
        ASSERT_TRUE(file.Open(TarnIO::Path(MakeFile(L"held.bin"))));
        EXPECT_NE(INVALID_HANDLE_VALUE, file.RawHandle());
        errno = 0;
        std::string read;
        EXPECT_EQ(error == 0, open() && file.ReadAll(read) == 4 && read == "wide");
        EXPECT_EQ(error, errno);
        MakeFile(L"held.bin");
    }
}

}  // namespace
