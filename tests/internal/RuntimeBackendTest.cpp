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

// _read, _write, fread, fwrite that note the count asked and move all of it, except call number
// shortAt (from 0), which moves 10 bytes less, and failAt, which fails with EIO.
using Counts = std::vector<std::uint64_t>; Counts passed; int shortAt = -1, failAt = -1;
template <class R, class... Args>
R __cdecl Moving(Args... a) {
    const auto count = std::get<2>(std::tie(a...));
    const int call = static_cast<int>(passed.size());
    passed.push_back(count);
    return call == failAt ? (errno = EIO, R(-1)) : R(call == shortAt ? count - 10 : count);
}

// Counts above INT_MAX go to _read and _write in pieces (a single call cannot report its count),
// to fread and fwrite whole; none is cut to 32 bits, where 2^32 + 4 would ask for 4.
TEST_F(RuntimeBackendTest, LargeCountsAreSplitForDescriptorsAndPassedWholeToStreams) {
    const std::wstring path = MakeFile(L"data.bin", "0123456789");
    FileDescriptor descriptor(path.c_str(), _O_RDWR | _O_BINARY);
    StdFile stream(TarnIO::Path(path), L"r+b");
    sys::table._read = Moving, sys::table._write = Moving;
    sys::table.fread = Moving, sys::table.fwrite = Moving;
    char buffer[16];
    const std::uint64_t p = 0x7FFF0000, big = 0x100000004, thrown = ~0ull;
    const struct Row { std::uint64_t asked; int shortAt, failAt; Counts pieces; std::uint64_t moved; }
        rows[] = {
            {7, -1, -1, {7}, 7}, {0x7FFFFFFF, -1, -1, {0x7FFFFFFF}, 0x7FFFFFFF},
            {0x80000000, -1, -1, {p, 0x10000}, 0x80000000}, {big, -1, -1, {p, p, 0x20004}, big},
            {big, 1, -1, {p, p}, 2 * p - 10},  // a short piece ends the transfer
            {~0ull, 0, -1, {p}, p - 10},
            {big, -1, 2, {p, p, 0x20004}, 2 * p},  // a failure after bytes moved returns them
            {big, -1, 0, {p}, thrown},             // a failure before throws
        };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.asked) + " short " + std::to_string(row.shortAt) +
                     " fail " + std::to_string(row.failAt));
        shortAt = row.shortAt, failAt = row.failAt;
        for (bool write : {false, true}) {
            passed.clear();
            try {
                EXPECT_EQ(row.moved, write ? descriptor.Write(buffer, row.asked)
                                           : descriptor.Read(buffer, row.asked));
            } catch (const TarnIO::FileError&) {
                EXPECT_EQ(row.moved, thrown);
            }
            EXPECT_EQ(row.pieces, passed);
        }
    }
    shortAt = failAt = -1;
    for (std::uint64_t asked : {7ull, 0x80000000ull, big, ~0ull}) {
        const std::uint64_t whole = std::min<std::uint64_t>(asked, SIZE_MAX);  // i686: a size_t
        passed.clear();
        EXPECT_EQ(Counts(2, whole), Counts({stream.Read(buffer, asked), stream.Write(buffer, asked)}));
        EXPECT_EQ(Counts(2, whole), passed);
    }
}

}  // namespace
