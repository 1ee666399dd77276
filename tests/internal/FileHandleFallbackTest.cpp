// FileHandle without the optional system functions (GetFileSizeEx,
// SetFilePointerEx, NtQueryInformationFile), the 32-bit count limit of
// ReadFile/WriteFile, and the reparse-tag lookup of Query driven through fakes
// (Wine cannot make a symbolic link).
#include "TarnIO/Error.h"
#include "TarnIO/FileHandle.h"
#include "TarnIO/PathStats.h"

#include "Bindings.h"
#include "Sys.h"

#include "TestSupport.h"

#include <cstring>
#include <string>
#include <vector>

using TarnIO::FileHandle;
using TarnIO::PathStats;
namespace bind = TarnIO::bind;
namespace sys = TarnIO::sys;

namespace {

const std::uint64_t fiveGigabytes = 5000000000ull;
const unsigned long symlinkTag = 0xA000000C;

// What the fakes below saw and how they answer. Reset for every test.
struct Calls {
    int getFileSize = 0;
    int setFilePointer = 0;
    std::vector<DWORD> transferCounts;
    std::vector<ULONG> queryLengths;
    std::vector<std::wstring> findNames;
    int findCloses = 0;
    int mallocs = 0;
    int frees = 0;
    // NtQueryInformationFile fake: the name it reports, and whether its second call fails.
    std::wstring ntName;
    bool ntSecondCallFails = false;
    bool mallocFails = false;
    // FindFirstFileW fake: the name it knows; any other is not found.
    std::wstring findKnows;
} calls;

DWORD WINAPI CountingGetFileSize(HANDLE h, LPDWORD high) {
    ++calls.getFileSize;
    return sys::realTable.GetFileSize(h, high);
}

DWORD WINAPI CountingSetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
    ++calls.setFilePointer;
    return sys::realTable.SetFilePointer(h, low, high, method);
}

// ReadFile/WriteFile that only note the count asked and claim 10 bytes.
BOOL WINAPI FakeReadFile(HANDLE, LPVOID, DWORD count, LPDWORD done, LPOVERLAPPED) {
    calls.transferCounts.push_back(count);
    *done = 10;
    return TRUE;
}

BOOL WINAPI FakeWriteFile(HANDLE, LPCVOID, DWORD count, LPDWORD done, LPOVERLAPPED) {
    calls.transferCounts.push_back(count);
    *done = 10;
    return TRUE;
}

// Reports every file as a reparse point, the rest as the system says.
BOOL WINAPI ReparseInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
    BOOL ok = sys::realTable.GetFileInformationByHandle(h, info);
    info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

// NtQueryInformationFile for FileNameInformation: length first, then as much
// of the name as fits; STATUS_BUFFER_OVERFLOW when it does not all fit.
LONG NTAPI FakeNtQuery(HANDLE, void*, void* information, ULONG length, int informationClass) {
    calls.queryLengths.push_back(length);
    EXPECT_EQ(9, informationClass);
    ULONG bytes = static_cast<ULONG>(calls.ntName.size() * sizeof(wchar_t));
    std::memcpy(information, &bytes, sizeof bytes);
    if (calls.ntSecondCallFails && calls.queryLengths.size() == 2)
        return static_cast<LONG>(0xC0000001);  // STATUS_UNSUCCESSFUL
    if (length < sizeof bytes + bytes)
        return static_cast<LONG>(0x80000005);  // STATUS_BUFFER_OVERFLOW
    std::memcpy(static_cast<char*>(information) + sizeof bytes, calls.ntName.data(), bytes);
    return 0;
}

// The bound NtQueryInformationFile, taken before any override.
bind::NtQueryInformationFileFn realNtQuery = nullptr;

LONG NTAPI RealNtQueryCountingLengths(HANDLE h, void* status, void* information, ULONG length,
                                      int informationClass) {
    calls.queryLengths.push_back(length);
    return realNtQuery(h, status, information, length, informationClass);
}

HANDLE const fakeFind = reinterpret_cast<HANDLE>(0x4321);

HANDLE WINAPI FakeFindFirstFile(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    calls.findNames.push_back(name);
    if (calls.findKnows != name) {
        ::SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    data->dwFileAttributes = FILE_ATTRIBUTE_REPARSE_POINT;
    data->dwReserved0 = symlinkTag;
    return fakeFind;
}

HANDLE WINAPI CountingFindFirstFile(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    calls.findNames.push_back(name);
    return sys::realTable.FindFirstFileW(name, data);
}

BOOL WINAPI CountingFindClose(HANDLE find) {
    ++calls.findCloses;
    return find == fakeFind ? TRUE : sys::realTable.FindClose(find);
}

void* __cdecl CountingMalloc(size_t size) {
    if (calls.mallocFails)
        return nullptr;
    ++calls.mallocs;
    return sys::realTable.malloc(size);
}

void __cdecl CountingFree(void* block) {
    if (block)
        ++calls.frees;
    sys::realTable.free(block);
}

class FileHandleFallbackTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        calls = Calls();
        sys::table.GetFileSize = CountingGetFileSize;
        sys::table.SetFilePointer = CountingSetFilePointer;
        sys::table.FindFirstFileW = CountingFindFirstFile;
        sys::table.FindClose = CountingFindClose;
        sys::table.malloc = CountingMalloc;
        sys::table.free = CountingFree;
    }

    void TearDown() override {
        sys::table = sys::realTable;
        TempDirTest::TearDown();
    }

    static void WithoutSizeAndPointerEx() {
        sys::table.GetFileSizeEx = nullptr;
        sys::table.SetFilePointerEx = nullptr;
    }

    std::wstring MakeSparse(const std::wstring& name, std::uint64_t size) {
        std::wstring path = In(name);
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        EXPECT_NE(INVALID_HANDLE_VALUE, h);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(size);
        EXPECT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(::SetEndOfFile(h));
        ::CloseHandle(h);
        return path;
    }
};

}  // namespace

TEST_F(FileHandleFallbackTest, SizeAndSeekGiveTheSameAnswersWithAndWithoutTheExFunctions) {
    const std::wstring path = MakeSparse(L"big.bin", fiveGigabytes);
    const std::uint64_t beyond = 0x100000005ull;
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "GetFileSize/SetFilePointer" : "GetFileSizeEx/SetFilePointerEx");
        calls = Calls();
        if (fallback)
            WithoutSizeAndPointerEx();
        FileHandle file(path.c_str());
        EXPECT_EQ(fiveGigabytes, file.GetSize());
        EXPECT_EQ(fiveGigabytes, file.Seek(0, TarnIO::seekEnd));
        EXPECT_EQ(fiveGigabytes - 3, file.Seek(-3, TarnIO::seekEnd));
        EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
        EXPECT_EQ(beyond - 6, file.Seek(-6, TarnIO::seekCurrent));  // 0xFFFFFFFF: no failure
        EXPECT_EQ(0xFFFFFFFFu, file.GetPosition());
        EXPECT_EQ(beyond, file.Seek(6, TarnIO::seekCurrent));
        // Refused: the last error is the system's and the position stays.
        try {
            file.Seek(-1, TarnIO::seekBegin);
            ADD_FAILURE() << "negative position accepted";
        } catch (const TarnIO::FileError& e) {
            EXPECT_EQ("unable to seek in file", e.GetMessageText());
            EXPECT_STREQ("TarnIO::FileHandle::Seek", e.GetContext().function);
            EXPECT_EQ(static_cast<unsigned long>(ERROR_NEGATIVE_SEEK),
                      *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
        }
        EXPECT_EQ(beyond, file.GetPosition());
        EXPECT_EQ(fallback ? 1 : 0, calls.getFileSize);
        EXPECT_EQ(fallback ? 8 : 0, calls.setFilePointer);
    }
}

TEST_F(FileHandleFallbackTest, SizeOfAllOnesLowWordIsNoFailure) {
    // GetFileSize answers 0xFFFFFFFF, INVALID_FILE_SIZE, for this file and
    // clears the last error to say it is a size.
    const std::wstring path = MakeSparse(L"edge.bin", 0xFFFFFFFFull);
    WithoutSizeAndPointerEx();
    FileHandle file(path.c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);  // a stale error from earlier must not count
    EXPECT_EQ(0xFFFFFFFFull, file.GetSize());
    EXPECT_EQ(1, calls.getFileSize);
    EXPECT_EQ(0xFFFFFFFFull, file.Seek(0, TarnIO::seekEnd));
}

TEST_F(FileHandleFallbackTest, FallbackFailuresAreThrown) {
    WithoutSizeAndPointerEx();
    FileHandle null(static_cast<HANDLE>(nullptr));
    try {
        null.GetSize();
        ADD_FAILURE() << "nothing thrown";
    } catch (const TarnIO::FileError& e) {
        EXPECT_EQ("unable to query file size", e.GetMessageText());
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE),
                  *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
    try {
        null.GetPosition();
        ADD_FAILURE() << "nothing thrown";
    } catch (const TarnIO::FileError& e) {
        EXPECT_EQ("unable to seek in file", e.GetMessageText());
        EXPECT_STREQ("TarnIO::FileHandle::Seek", e.GetContext().function);
        EXPECT_EQ(static_cast<unsigned long>(ERROR_INVALID_HANDLE),
                  *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
    }
    EXPECT_EQ(1, calls.getFileSize);
    EXPECT_EQ(1, calls.setFilePointer);
    null.Release();
}

TEST_F(FileHandleFallbackTest, TransferCountsAboveThirtyTwoBitsAreCappedNotCut) {
    struct Row {
        std::uint64_t count;
        DWORD expected;
    };
    const Row rows[] = {
        {0, 0},
        {10, 10},
        {0xFFFFFFFFull, 0xFFFFFFFFu},
        {0x100000000ull, 0xFFFFFFFFu},  // its low word is 0
        {0x100000005ull, 0xFFFFFFFFu},
        {~0ull, 0xFFFFFFFFu},
    };
    sys::table.ReadFile = FakeReadFile;
    sys::table.WriteFile = FakeWriteFile;
    FileHandle file(static_cast<HANDLE>(nullptr));  // never reaches the system
    char buffer[1];
    for (const Row& row : rows) {
        SCOPED_TRACE(row.count);
        calls.transferCounts.clear();
        EXPECT_EQ(10u, file.Read(buffer, row.count));  // the short count comes back
        EXPECT_EQ(10u, file.Write(buffer, row.count));
        EXPECT_EQ((std::vector<DWORD>{row.expected, row.expected}), calls.transferCounts);
    }
    file.Release();
}

TEST_F(FileHandleFallbackTest, ReparseTagLookup) {
    // The name NtQueryInformationFile gives is volume-relative; FindFirstFileW
    // resolves it against the current drive.
    const std::wstring volumeRelative = In(L"link").substr(2);
    struct Row {
        const char* name;
        bool ntAbsent;
        std::wstring ntName;
        bool secondCallFails;
        bool mallocFails;
        std::wstring findKnows;
        unsigned long expectedTag;
        std::vector<ULONG> expectedQueryLengths;
        std::size_t expectedFinds;
    };
    const ULONG nameBytes = static_cast<ULONG>(volumeRelative.size() * 2);
    const Row rows[] = {
        {"symbolic link", false, volumeRelative, false, false, volumeRelative, symlinkTag,
         {8, nameBytes + 8}, 1},
        {"search finds nothing", false, volumeRelative, false, false, L"\\other", 0,
         {8, nameBytes + 8}, 1},
        {"no NtQueryInformationFile", true, volumeRelative, false, false, volumeRelative, 0, {}, 0},
        {"empty name", false, L"", false, false, volumeRelative, 0, {8}, 0},
        {"second query fails", false, volumeRelative, true, false, volumeRelative, 0,
         {8, nameBytes + 8}, 0},
        {"no memory", false, volumeRelative, false, true, volumeRelative, 0, {8}, 0},
    };
    MakeFile(L"link", "target");
    FileHandle file(In(L"link").c_str());
    sys::table.GetFileInformationByHandle = ReparseInformation;
    sys::table.FindFirstFileW = FakeFindFirstFile;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        calls = Calls();
        calls.ntName = row.ntName;
        calls.ntSecondCallFails = row.secondCallFails;
        calls.mallocFails = row.mallocFails;
        calls.findKnows = row.findKnows;
        sys::table.NtQueryInformationFile = row.ntAbsent ? nullptr : &FakeNtQuery;

        PathStats stats;
        EXPECT_TRUE(file.Query(stats));  // a missing tag is never a failure
        EXPECT_TRUE(stats.IsReparsePoint());
        EXPECT_EQ(6u, stats.GetFileSize());
        EXPECT_EQ(row.expectedTag, stats.GetReparseTag());
        EXPECT_EQ(row.expectedTag == symlinkTag, stats.IsSymlink());
        EXPECT_EQ(row.expectedQueryLengths, calls.queryLengths);
        ASSERT_EQ(row.expectedFinds, calls.findNames.size());
        if (row.expectedFinds) {
            EXPECT_EQ(volumeRelative, calls.findNames[0]);
        }
        EXPECT_EQ(row.expectedTag == symlinkTag ? 1 : 0, calls.findCloses);
        EXPECT_EQ(calls.mallocs, calls.frees);
    }
}

TEST_F(FileHandleFallbackTest, ReparseTagLookupThroughTheSystemsOwnName) {
    // The real NtQueryInformationFile and FindFirstFileW: the name the one
    // reports must be one the other finds from the current directory's drive.
    MakeFile(L"file", "abc");
    FileHandle file(In(L"file").c_str());
    sys::table.GetFileInformationByHandle = ReparseInformation;
    realNtQuery = bind::NtQueryInformationFile();
    ASSERT_NE(nullptr, realNtQuery);
    sys::table.NtQueryInformationFile = &RealNtQueryCountingLengths;
    wchar_t saved[MAX_PATH];
    ASSERT_GT(::GetCurrentDirectoryW(MAX_PATH, saved), 0u);
    ASSERT_TRUE(::SetCurrentDirectoryW(dir.c_str()));
    PathStats stats;
    bool ok = file.Query(stats);
    ::SetCurrentDirectoryW(saved);
    EXPECT_TRUE(ok);
    ASSERT_EQ(2u, calls.queryLengths.size());
    EXPECT_EQ(8u, calls.queryLengths[0]);
    ASSERT_EQ(1u, calls.findNames.size());
    EXPECT_EQ(In(L"file").substr(2), calls.findNames[0]);
    EXPECT_EQ(1, calls.findCloses);  // found, and the search closed again
    EXPECT_EQ(1, calls.mallocs);
    EXPECT_EQ(1, calls.frees);
    EXPECT_EQ(0u, stats.GetReparseTag());  // an ordinary file has no tag to report
}

TEST_F(FileHandleFallbackTest, OrdinaryFilesNeverLookForATag) {
    MakeFile(L"plain", "x");
    FileHandle file(In(L"plain").c_str());
    sys::table.NtQueryInformationFile = &FakeNtQuery;
    PathStats stats;
    EXPECT_TRUE(file.Query(stats));
    EXPECT_TRUE(stats.IsFile());
    EXPECT_TRUE(calls.queryLengths.empty());
    EXPECT_TRUE(calls.findNames.empty());
    EXPECT_EQ(0, calls.mallocs);
}
