// The C runtime backends inside: the wide opens' origin, the narrow fallbacks, errno
// completed from the last error, the counts the C runtime gets. Call failures: the fault sweep.
#include "../TestSupport.h"

#include "Bindings.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <tuple>

namespace {

using TarnIO::FileDescriptor, TarnIO::FileOpenError, TarnIO::StdFile;
template <class Fn> const void* Address(Fn fn) { return reinterpret_cast<const void*>(fn); }
namespace sys = TarnIO::sys;

TEST(RuntimeBindingTest, WideOpensComeFromTheLinkedRuntime) {
    // This build's msvcrt.dll: descriptors and FILE*s of Wine's msvcr80.dll mean nothing to it.
    const HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    EXPECT_EQ(Address(TarnIO::bind::Wsopen()), Address(::GetProcAddress(runtime, "_wsopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfopen()), Address(::GetProcAddress(runtime, "_wfopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfsopen()), Address(::GetProcAddress(runtime, "_wfsopen")));
    EXPECT_EQ(Address(TarnIO::bind::BindFopenS()), Address(::GetProcAddress(runtime, "fopen_s")));
}

struct RuntimeBackendTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

TEST_F(RuntimeBackendTest, WithoutTheWideOpensNamesGoThroughTheNarrowCalls) {
    // A name with no ANSI form opens wide, and fails narrowed: the narrow call was taken.
    const std::wstring path = MakeFile(L"plain", "plain"), wide = MakeFile(L"\u03a9\u4e2d", "x");
    EXPECT_TRUE(FileDescriptor().Open(wide.c_str()) && StdFile().Open(wide.c_str(), L"rb"));
    sys::table._wsopen = nullptr, sys::table._wfopen = nullptr, sys::table._wfsopen = nullptr;
    EXPECT_TRUE(FileDescriptor().Open(path.c_str()) && FileDescriptor().Open(TarnIO::Path(path)) &&
                StdFile().Open(path.c_str(), L"rb", _SH_DENYNO));
    EXPECT_EQ(1u, StdFile(TarnIO::Path(path), L"r+b").Write("P", 1));  // the mode is narrowed too
    EXPECT_EQ(ReadBack(path), "Plain");
    EXPECT_FALSE(FileDescriptor().Open(wide.c_str()) || StdFile().Open(wide.c_str(), L"rb") ||
                 StdFile().Open(wide.c_str(), L"rb", _SH_DENYNO));
}

// fopen_s where the C runtime lacks it (Windows XP): others may read while the stream only
// reads, nothing else.
TEST_F(RuntimeBackendTest, OpenSecureSharesReadingOnlyWithAReadingStream) {
    const std::wstring wide = MakeFile(L"data.bin", "data");
    const std::string path(wide.begin(), wide.end());
    for (const char* mode : {"rb", "r+b", "ab"}) {
        SCOPED_TRACE(mode);
        FILE* stream = nullptr;
        ASSERT_EQ(0, TarnIO::bind::OpenSecure(&stream, path.c_str(), mode));
        FILE* reader = _fsopen(path.c_str(), "rb", _SH_DENYNO);
        FILE* writer = _fsopen(path.c_str(), "ab", _SH_DENYNO);
        EXPECT_EQ(mode == std::string("rb"), reader != nullptr);
        EXPECT_EQ(nullptr, writer);
        for (FILE* open : {stream, reader, writer})
            if (open)
                std::fclose(open);
    }
    FILE* stream = stdin;
    EXPECT_EQ(ENOENT, TarnIO::bind::OpenSecure(&stream, (path + "-missing").c_str(), "rb"));
    EXPECT_EQ(nullptr, stream);
}

int fakeErrno = 0; DWORD fakeLastError = 0;  // what the failing _fsopen below leaves

TEST_F(RuntimeBackendTest, ErrnoIsCompletedFromTheLastError) {
    const struct Row { DWORD lastError; int reported, errnoValue = 0; } rows[] = {
        {ERROR_ACCESS_DENIED, EACCES}, {ERROR_INVALID_FUNCTION, EIO}, {ERROR_OUTOFMEMORY, ENOMEM},
        {ERROR_PATH_NOT_FOUND, ENOENT}, {ERROR_INVALID_HANDLE, EBADF}, {ERROR_FILE_EXISTS, EEXIST},
        {ERROR_INVALID_DRIVE, ENODEV}, {ERROR_TOO_MANY_OPEN_FILES, ENFILE},
        {ERROR_ACCESS_DENIED, EMFILE, EMFILE}, {0, 0}};  // errno of its own kept; none known: 0
    sys::table._fsopen = [](const char*, const char*, int) -> FILE* {
        return errno = fakeErrno, ::SetLastError(fakeLastError), nullptr;
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.errnoValue) + ", " + std::to_string(row.lastError));
        fakeErrno = row.errnoValue, fakeLastError = row.lastError;
        const auto e = TarnTest::CatchError<FileOpenError>([] { StdFile("a", "rb", _SH_DENYNO); });
        EXPECT_EQ(row.reported, *e.GetInfo<TarnError::ErrorInfo_errno>());
    }
}

// _read, _write, fread, fwrite that note the count asked and report 10. _read and _write refuse
// more than INT_MAX (fread and fwrite go through them); 2^32 + 4 cut to 32 bits asks for 4.
using Counts = std::vector<std::uint64_t>; Counts passed;
template <class R, class... Args>
R __cdecl Noting(Args... a) { return passed.push_back(std::get<2>(std::tie(a...))), 10; }

TEST_F(RuntimeBackendTest, TransferCountsAreCappedAtIntMaxNeverCut) {
    const std::wstring path = MakeFile(L"data.bin", "0123456789");
    FileDescriptor descriptor(path.c_str(), _O_RDWR | _O_BINARY);
    StdFile stream(TarnIO::Path(path), L"r+b");
    sys::table._read = Noting, sys::table._write = Noting;
    sys::table.fread = Noting, sys::table.fwrite = Noting;
    char buffer[16];
    for (std::uint64_t asked : {7ull, 0x7FFFFFFFull, 0x80000000ull, 0x100000004ull, ~0ull}) {
        SCOPED_TRACE(asked);
        passed.clear();
        const Counts done = {descriptor.Read(buffer, asked), descriptor.Write(buffer, asked),
                             stream.Read(buffer, asked), stream.Write(buffer, asked)};
        EXPECT_EQ(Counts(4, 10), done);  // the short counts, unchanged
        EXPECT_EQ(Counts(4, std::min<std::uint64_t>(asked, 0x7FFFFFFF)), passed);
    }
}

}  // namespace
