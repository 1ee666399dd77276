// The C runtime backends inside: the wide opens' origin, the narrow fallbacks, errno
// completed from the last error, the counts the C runtime gets. Call failures: the fault sweep.
#include "../TestSupport.h"

#include "Bindings.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/StdFile.h>

#include <functional>

namespace {

using TarnIO::FileDescriptor;
using TarnIO::StdFile;
namespace sys = TarnIO::sys;
template <class Fn> const void* Address(Fn fn) { return reinterpret_cast<const void*>(fn); }

TEST(RuntimeBindingTest, WideOpensComeFromTheLinkedRuntime) {
    // This build's msvcrt.dll: descriptors and FILE*s of Wine's msvcr80.dll mean nothing to it.
    HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    ASSERT_NE(runtime, nullptr);
    EXPECT_EQ(Address(TarnIO::bind::Wsopen()), Address(::GetProcAddress(runtime, "_wsopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfopen()), Address(::GetProcAddress(runtime, "_wfopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfsopen()), Address(::GetProcAddress(runtime, "_wfsopen")));
}

struct RuntimeBackendTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

TEST_F(RuntimeBackendTest, WithoutTheWideOpensNamesGoThroughTheNarrowCalls) {
    sys::table._wsopen = nullptr, sys::table._wfopen = nullptr, sys::table._wfsopen = nullptr;
    const std::wstring path = MakeFile(L"plain.bin", "plain");
    char buffer[8] = {};
    EXPECT_EQ(5u, FileDescriptor(path.c_str()).Read(buffer, 8));
    EXPECT_EQ(5u, FileDescriptor(TarnIO::Path(path)).Read(buffer, 8));
    EXPECT_EQ(5u, StdFile(path.c_str(), L"rb", _SH_DENYNO).Read(buffer, 8));
    EXPECT_EQ(1u, StdFile(TarnIO::Path(path), L"r+b").Write("P", 1));  // the mode is narrowed too
    EXPECT_EQ(ReadBack(path), "Plain");
    // A name with no ANSI form fails narrowed (the narrow call was taken) and opens wide.
    const std::wstring wide = MakeFile(L"\u03a9\u4e2d.bin", "x");
    EXPECT_FALSE(FileDescriptor().Open(wide.c_str()) || StdFile().Open(wide.c_str(), L"rb") ||
                 StdFile().Open(wide.c_str(), L"rb", _SH_DENYNO));
    sys::table = sys::realTable;
    EXPECT_TRUE(FileDescriptor().Open(wide.c_str()) && StdFile().Open(wide.c_str(), L"rb", _SH_DENYNO));
}

int fakeErrno = 0; DWORD fakeLastError = 0;
FILE* __cdecl FailingFsopen(const char*, const char*, int) {
    return errno = fakeErrno, ::SetLastError(fakeLastError), nullptr;
}

TEST_F(RuntimeBackendTest, ErrnoIsCompletedFromTheLastError) {
    const struct Row { int errnoValue; DWORD lastError; int reported; } rows[] = {
        {0, ERROR_ACCESS_DENIED, EACCES}, {0, ERROR_INVALID_FUNCTION, EIO}, {0, ERROR_PATH_NOT_FOUND, ENOENT},
        {0, ERROR_INVALID_HANDLE, EBADF}, {0, ERROR_OUTOFMEMORY, ENOMEM},   {0, ERROR_INVALID_DRIVE, ENODEV},
        {0, ERROR_FILE_EXISTS, EEXIST},   {0, ERROR_TOO_MANY_OPEN_FILES, ENFILE},
        {EMFILE, ERROR_ACCESS_DENIED, EMFILE}, {0, 0, 0},  // an errno of its own is kept; nothing known: 0
    };
    sys::table._fsopen = FailingFsopen;
    for (const Row& row : rows) {
        SCOPED_TRACE("errno " + std::to_string(row.errnoValue) + ", last error " + std::to_string(row.lastError));
        fakeErrno = row.errnoValue, fakeLastError = row.lastError;
        const auto e = TarnTest::CatchError<TarnIO::FileOpenError>([] { StdFile f("any.bin", "rb", _SH_DENYNO); });
        EXPECT_EQ(row.reported, *e.GetInfo<TarnError::ErrorInfo_errno>());
    }
}

// The faked transfer calls move nothing, note the count and report 10 bytes.
std::uint64_t passed = 0;
int __cdecl CountingRead(int, void*, unsigned count) { return passed = count, 10; }
int __cdecl CountingWrite(int, const void*, unsigned count) { return passed = count, 10; }
size_t __cdecl CountingFread(void*, size_t, size_t count, FILE*) { return passed = count, 10; }
size_t __cdecl CountingFwrite(const void*, size_t, size_t count, FILE*) { return passed = count, 10; }

TEST_F(RuntimeBackendTest, TransferCountsAreCappedAtIntMaxNeverCut) {
    const std::wstring path = MakeFile(L"data.bin", "0123456789");
    FileDescriptor descriptor(path.c_str(), _O_RDWR | _O_BINARY);
    StdFile stream(TarnIO::Path(path), L"r+b");
    sys::table._read = CountingRead, sys::table._write = CountingWrite;
    sys::table.fread = CountingFread, sys::table.fwrite = CountingFwrite;
    char buffer[16];
    const std::pair<const char*, std::function<std::uint64_t(std::uint64_t)>> calls[] = {
        {"FileDescriptor::Read", [&](std::uint64_t n) { return descriptor.Read(buffer, n); }},
        {"FileDescriptor::Write", [&](std::uint64_t n) { return descriptor.Write(buffer, n); }},
        {"StdFile::Read", [&](std::uint64_t n) { return stream.Read(buffer, n); }},
        {"StdFile::Write", [&](std::uint64_t n) { return stream.Write(buffer, n); }},
    };
    // _read and _write refuse more than INT_MAX, and fread and fwrite go
    // through them; 2^32 + 4 cut to 32 bits would ask for 4 bytes.
    for (const auto& call : calls) {
        for (std::uint64_t asked : {7ull, 0x7FFFFFFFull, 0x80000000ull, 0x100000004ull, ~0ull}) {
            SCOPED_TRACE(std::string(call.first) + " of " + std::to_string(asked));
            EXPECT_EQ(10u, call.second(asked));  // the short count, unchanged
            EXPECT_EQ(std::min<std::uint64_t>(asked, 0x7FFFFFFF), passed);
        }
    }
}

}  // namespace
