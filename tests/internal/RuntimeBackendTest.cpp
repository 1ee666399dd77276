// The C runtime backends from the inside: where their wide open functions
// come from, the narrow fallbacks when those are missing, and failures that a
// real C runtime will not produce on demand (faked through the system call
// table).
#include "../TestSupport.h"

#include "Bindings.h"
#include "Sys.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <functional>
#include <string>

namespace {

using TarnIO::FileDescriptor;
using TarnIO::StdFile;
using TarnTest::CatchError;

template <class Fn>
const void* Address(Fn fn) {
    return reinterpret_cast<const void*>(fn);
}

TEST(RuntimeBindingTest, WideOpensComeFromTheLinkedRuntime) {
    // This build links msvcrt.dll. Wine also carries msvcr80.dll, whose
    // descriptors and FILE*s would mean nothing to msvcrt's _read and fread.
    HMODULE runtime = ::GetModuleHandleW(L"msvcrt.dll");
    ASSERT_NE(runtime, nullptr);
    EXPECT_EQ(Address(TarnIO::bind::Wsopen()),
              Address(::GetProcAddress(runtime, "_wsopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfopen()),
              Address(::GetProcAddress(runtime, "_wfopen")));
    EXPECT_EQ(Address(TarnIO::bind::Wfsopen()),
              Address(::GetProcAddress(runtime, "_wfsopen")));
    EXPECT_NE(TarnIO::bind::Wsopen(), nullptr);
}

// Every wide open function missing, as on a system without them.
class NarrowFallbackTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TarnTest::TempDirTest::SetUp();
        TarnIO::sys::table._wsopen = nullptr;
        TarnIO::sys::table._wfopen = nullptr;
        TarnIO::sys::table._wfsopen = nullptr;
    }
    void TearDown() override {
        TarnIO::sys::table = TarnIO::sys::realTable;
        TarnTest::TempDirTest::TearDown();
    }

    static std::string ReadSome(TarnIO::File& file) {
        std::string content(32, '\0');
        content.resize(file.Read(&content[0], content.size()));
        return content;
    }
};

TEST_F(NarrowFallbackTest, WideNamesOpenThroughTheNarrowCalls) {
    std::wstring path = MakeFile(L"plain.bin", "plain");
    TarnIO::Path asPath(path);
    {
        FileDescriptor wide(path.c_str());
        EXPECT_EQ(ReadSome(wide), "plain");
        FileDescriptor byPath(asPath);
        EXPECT_EQ(ReadSome(byPath), "plain");
    }
    {
        StdFile share(path.c_str(), L"rb", _SH_DENYNO);
        EXPECT_EQ(ReadSome(share), "plain");
        StdFile byPath(asPath, L"rb");
        EXPECT_EQ(ReadSome(byPath), "plain");
    }
    // The mode is narrowed too: "r+b" must allow writing.
    {
        StdFile update;
        ASSERT_TRUE(update.Open(path.c_str(), L"r+b"));
        EXPECT_EQ(update.Write("P", 1), 1u);
    }
    EXPECT_EQ(ReadBack(path), "Plain");
}

TEST_F(NarrowFallbackTest, NamesWithoutAnAnsiFormCannotBeOpened) {
    // Proof that the fallback is the path taken: the narrowed name has lost
    // its characters, so the file that exists is not found.
    std::wstring path = MakeFile(L"\u03a9\u4e2d.bin", "x");
    FileDescriptor descriptor;
    EXPECT_FALSE(descriptor.Open(path.c_str()));
    StdFile stream;
    EXPECT_FALSE(stream.Open(path.c_str(), L"rb"));
    EXPECT_FALSE(stream.Open(path.c_str(), L"rb", _SH_DENYNO));
    TarnIO::sys::table = TarnIO::sys::realTable;
    EXPECT_TRUE(descriptor.Open(path.c_str()));
    EXPECT_TRUE(stream.Open(path.c_str(), L"rb", _SH_DENYNO));
}

// What a faked C runtime call leaves behind when it fails.
struct Failure {
    int errnoValue;
    DWORD lastError;
};
Failure failure;

FILE* __cdecl FailingFsopen(const char*, const char*, int) {
    errno = failure.errnoValue;
    ::SetLastError(failure.lastError);
    return nullptr;
}

class FakeRuntimeTest : public TarnTest::TempDirTest {
protected:
    void TearDown() override {
        TarnIO::sys::table = TarnIO::sys::realTable;
        TarnTest::TempDirTest::TearDown();
    }
};

TEST_F(FakeRuntimeTest, ErrnoIsCompletedFromTheLastError) {
    struct Row {
        int errnoValue;
        DWORD lastError;
        int reported;
    } rows[] = {
        {0, ERROR_ACCESS_DENIED, EACCES},
        {0, ERROR_INVALID_FUNCTION, EIO},  // 1: no errno of its own
        {0, ERROR_PATH_NOT_FOUND, ENOENT},
        {0, ERROR_INVALID_HANDLE, EBADF},
        {0, ERROR_OUTOFMEMORY, ENOMEM},
        {0, ERROR_INVALID_DRIVE, ENODEV},
        {0, ERROR_FILE_EXISTS, EEXIST},
        {0, ERROR_TOO_MANY_OPEN_FILES, ENFILE},
        // An errno that the C runtime did set is kept as it is.
        {EMFILE, ERROR_ACCESS_DENIED, EMFILE},
        // Neither says anything: nothing to report but 0.
        {0, 0, 0},
    };
    TarnIO::sys::table._fsopen = FailingFsopen;
    for (const Row& row : rows) {
        SCOPED_TRACE("errno " + std::to_string(row.errnoValue) + ", last error " +
                     std::to_string(row.lastError));
        failure = {row.errnoValue, row.lastError};
        TarnIO::FileOpenError e =
            CatchError<TarnIO::FileOpenError>([] { StdFile f("any.bin", "rb", _SH_DENYNO); });
        EXPECT_EQ(TarnTest::DetailNames(e),
                  (TarnTest::Names{"FileErrorCode", "errno", "filePath"}));
        ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnError::ErrorInfo_errno>(), row.reported);
        ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(),
                  TarnIO::MapFileErrorErrno(row.reported));
    }
}

// The count each faked transfer call received; the fakes move nothing but
// report 10 bytes.
std::uint64_t passedCount = 0;
int __cdecl CountingRead(int, void*, unsigned count) {
    passedCount = count;
    return 10;
}
int __cdecl CountingWrite(int, const void*, unsigned count) {
    passedCount = count;
    return 10;
}
size_t __cdecl CountingFread(void*, size_t, size_t count, FILE*) {
    passedCount = count;
    return 10;
}
size_t __cdecl CountingFwrite(const void*, size_t, size_t count, FILE*) {
    passedCount = count;
    return 10;
}

TEST_F(FakeRuntimeTest, TransferCountsAreCappedNeverCut) {
    std::wstring path = MakeFile(L"data.bin", "0123456789");
    FileDescriptor descriptor(path.c_str(), _O_RDWR | _O_BINARY);
    StdFile stream(TarnIO::Path(path), L"r+b");
    TarnIO::sys::table._read = CountingRead;
    TarnIO::sys::table._write = CountingWrite;
    TarnIO::sys::table.fread = CountingFread;
    TarnIO::sys::table.fwrite = CountingFwrite;
    char buffer[16];
    struct Row {
        const char* label;
        std::function<std::uint64_t(std::uint64_t)> call;
    } rows[] = {
        {"FileDescriptor::Read", [&](std::uint64_t n) { return descriptor.Read(buffer, n); }},
        {"FileDescriptor::Write", [&](std::uint64_t n) { return descriptor.Write(buffer, n); }},
        {"StdFile::Read", [&](std::uint64_t n) { return stream.Read(buffer, n); }},
        {"StdFile::Write", [&](std::uint64_t n) { return stream.Write(buffer, n); }},
    };
    // _read and _write refuse more than INT_MAX, and fread and fwrite go
    // through them. 2^32 + 4 cut to 32 bits would ask for 4 bytes.
    const struct {
        std::uint64_t asked;
        std::uint64_t passed;
    } counts[] = {
        {7, 7},
        {0x7FFFFFFF, 0x7FFFFFFF},
        {0x80000000ull, 0x7FFFFFFF},
        {0x100000004ull, 0x7FFFFFFF},
        {~0ull, 0x7FFFFFFF},
    };
    for (const Row& row : rows) {
        for (const auto& count : counts) {
            SCOPED_TRACE(std::string(row.label) + " of " + std::to_string(count.asked));
            passedCount = 0;
            EXPECT_EQ(row.call(count.asked), 10u);  // the short count, unchanged
            EXPECT_EQ(passedCount, count.passed);
        }
    }
}

int locks = 0;
int unlocks = 0;
void __cdecl CountingLock(FILE* stream) {
    ++locks;
    TarnIO::sys::realTable._lock_file(stream);
}
void __cdecl CountingUnlock(FILE* stream) {
    ++unlocks;
    TarnIO::sys::realTable._unlock_file(stream);
}
int __cdecl FailingSeek(FILE*, __int64, int) {
    errno = failure.errnoValue;
    ::SetLastError(failure.lastError);
    return -1;
}

TEST_F(FakeRuntimeTest, SizeAndSeekReleaseTheStreamLockWhenTheyFail) {
    std::wstring path = MakeFile(L"data.bin", "0123456789");
    StdFile f(TarnIO::Path(path), L"rb");
    locks = unlocks = 0;
    TarnIO::sys::table._lock_file = CountingLock;
    TarnIO::sys::table._unlock_file = CountingUnlock;
    EXPECT_EQ(f.GetSize(), 10u);
    EXPECT_EQ(f.Seek(4, TarnIO::seekBegin), 4u);
    EXPECT_EQ(locks, 2);
    EXPECT_EQ(unlocks, 2);

    TarnIO::sys::table._fseeki64 = FailingSeek;
    failure = {0, ERROR_NEGATIVE_SEEK};
    TarnIO::FileError size = CatchError<TarnIO::FileError>([&] { f.GetSize(); });
    EXPECT_EQ(size.GetMessageText(), "unable to query file size");
    ASSERT_NE(size.GetInfo<TarnError::ErrorInfo_errno>(), nullptr);
    EXPECT_EQ(*size.GetInfo<TarnError::ErrorInfo_errno>(), EIO);
    TarnIO::FileError seek = CatchError<TarnIO::FileError>([&] { f.Seek(0, TarnIO::seekEnd); });
    EXPECT_EQ(seek.GetMessageText(), "unable to seek in file");
    EXPECT_STREQ(seek.GetContext().function, "TarnIO::StdFile::Seek");
    EXPECT_EQ(locks, 4);
    EXPECT_EQ(unlocks, 4);

    TarnIO::sys::table = TarnIO::sys::realTable;
    EXPECT_EQ(f.GetPosition(), 4u);
}

}  // namespace
