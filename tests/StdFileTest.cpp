// StdFile's own: the null names and modes and descriptor -1 that its constructors and Open
// refuse before the C runtime sees them, opens with a share mode. What the three backends
// share: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <fcntl.h>
#include <functional>
#include <io.h>

namespace {

using TarnIO::StdFile;

typedef TarnTest::TempDirTest StdFileTest;

TEST_F(StdFileTest, ConstructorsRefuseInvalidArguments) {
    const int fd = _wopen(MakeFile(L"data.bin").c_str(), _O_RDONLY);
    const wchar_t* noWide = nullptr;
    typedef TarnError::InvalidArgument Invalid;
    const std::pair<std::string, std::string> rows[] = {
        {TarnTest::Thrown<Invalid>([] { StdFile(nullptr, nullptr); }), "path"},  // name first
        {TarnTest::Thrown<Invalid>([] { StdFile("x", nullptr, 0); }), "mode"},
        {TarnTest::Thrown<Invalid>([&] { StdFile(noWide, L"rb", 0); }), "path"},
        {TarnTest::Thrown<Invalid>([&] { StdFile(TarnIO::Path(L"x"), noWide); }), "mode"},
        {TarnTest::Thrown<Invalid>([] { StdFile(-1, "rb"); }), "fd"},
        {TarnTest::Thrown<Invalid>([&] { StdFile(fd, "z"); }), "mode"},  // refused by _fdopen
    };
    for (const auto& [thrown, name] : rows)
        EXPECT_EQ(thrown, ".\\StdFile TarnIO::StdFile::StdFile: invalid argument; "
                          "invalidArgumentName=" + name);
    EXPECT_EQ(_close(fd), 0);  // the refused descriptor is still the caller's
}

// Open closes what was held first (held.bin cannot be made anew while open), also where it
// refuses a null name or mode (EINVAL) or descriptor -1 (EBADF).
TEST_F(StdFileTest, OpenClosesWhatWasHeld) {
    const std::wstring wide = MakeFile(L"\u03a9\u4e2d.bin", "wide");  // no ANSI form
    const char* noName = nullptr;
    const wchar_t* noWide = nullptr;
    const std::pair<std::function<bool(StdFile&)>, int> rows[] = {
        {[&](StdFile& f) { return f.Open(wide.c_str(), L"rb", _SH_DENYNO); }, 0},
        {[&](StdFile& f) { return f.Open("x", noName, _SH_DENYNO); }, EINVAL},
        {[&](StdFile& f) { return f.Open(L"x", noWide); }, EINVAL},
        {[&](StdFile& f) { return f.Open(noWide, L"rb", _SH_DENYNO); }, EINVAL},
        {[&](StdFile& f) { return f.Open(-1, "rb"); }, EBADF},
    };
    for (const auto& [open, error] : rows) {
        StdFile file(TarnIO::Path(MakeFile(L"held.bin")));
        errno = 0;
        std::string read;
        EXPECT_EQ(error == 0, open(file) && file.ReadAll(read) == 4 && read == "wide");
        EXPECT_EQ(error, errno);
        MakeFile(L"held.bin");
    }
}

}  // namespace
