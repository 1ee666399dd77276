// FileHandle without the optional system functions (GetFileSizeEx,
// SetFilePointerEx, NtQueryInformationFile), the 32-bit count limit of
// ReadFile/WriteFile, and no reparse-tag lookup where none can or need be made.
// Failures of each call, and the lookup itself: the fault sweep.
#include "TarnIO/FileHandle.h"
#include "TarnIO/PathStats.h"
#include "Sys.h"
#include "TestSupport.h"

#include <vector>

using TarnIO::FileHandle;
namespace sys = TarnIO::sys;

namespace {

struct Calls {  // what the fakes below saw, and how they answer
    int getFileSize = 0, setFilePointer = 0;
    std::vector<DWORD> transferCounts;
    int ntQueries = 0, finds = 0;
} calls;

DWORD WINAPI CountingGetFileSize(HANDLE h, LPDWORD high) {
    return ++calls.getFileSize, sys::realTable.GetFileSize(h, high);
}
DWORD WINAPI CountingSetFilePointer(HANDLE h, LONG low, PLONG high, DWORD method) {
    return ++calls.setFilePointer, sys::realTable.SetFilePointer(h, low, high, method);
}
// ReadFile/WriteFile that only note the count asked and claim 10 bytes.
template <class Buffer>
BOOL WINAPI FakeTransfer(HANDLE, Buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    calls.transferCounts.push_back(count);
    return *done = 10, TRUE;
}
BOOL WINAPI ReparseInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
    return sys::realTable.GetFileInformationByHandle(h, info) && (info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT);
}
LONG NTAPI CountingNtQuery(HANDLE h, void* status, void* information, ULONG length, int type) {
    return ++calls.ntQueries, sys::realTable.NtQueryInformationFile(h, status, information, length, type);
}
HANDLE WINAPI CountingFindFirstFile(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    return ++calls.finds, sys::realTable.FindFirstFileW(name, data);
}

class FileHandleFallbackTest : public TarnTest::TempDirTest {
protected:
    void SetUp() override {
        TempDirTest::SetUp();
        calls = Calls();
        sys::table.GetFileSize = CountingGetFileSize;
        sys::table.SetFilePointer = CountingSetFilePointer;
    }
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
    std::wstring MakeSparse(const std::wstring& name, std::uint64_t size) {
        FileHandle file(In(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        file.Seek(static_cast<std::int64_t>(size), TarnIO::seekBegin);
        EXPECT_TRUE(::SetEndOfFile(file.Raw()));
        return In(name);
    }
};

TEST_F(FileHandleFallbackTest, SizeAndSeekGiveTheSameAnswersWithAndWithoutTheExFunctions) {
    const std::uint64_t size = 5000000000ull, beyond = 0x100000005ull;
    const std::wstring path = MakeSparse(L"big.bin", size);
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "GetFileSize/SetFilePointer" : "GetFileSizeEx/SetFilePointerEx");
        calls = Calls();
        if (fallback)
            sys::table.GetFileSizeEx = nullptr, sys::table.SetFilePointerEx = nullptr;
        FileHandle file(path.c_str());
        EXPECT_EQ(size, file.GetSize());
        EXPECT_EQ(size - 3, file.Seek(-3, TarnIO::seekEnd));
        EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
        EXPECT_EQ(0xFFFFFFFFu, file.Seek(-6, TarnIO::seekCurrent));  // INVALID_SET_FILE_POINTER, no failure
        EXPECT_EQ(0xFFFFFFFFu, file.GetPosition());
        EXPECT_EQ(fallback ? 1 : 0, calls.getFileSize);
        EXPECT_EQ(fallback ? 4 : 0, calls.setFilePointer);
    }
    // GetFileSize answers 0xFFFFFFFF, INVALID_FILE_SIZE, as a true size with
    // the last error cleared: a stale last error must not make it a failure.
    FileHandle edge(MakeSparse(L"edge.bin", 0xFFFFFFFFull).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0xFFFFFFFFull, edge.GetSize());
    EXPECT_EQ(2, calls.getFileSize);
}

TEST_F(FileHandleFallbackTest, TransferCountsAboveThirtyTwoBitsAreCappedNotCut) {
    sys::table.ReadFile = FakeTransfer<LPVOID>;
    sys::table.WriteFile = FakeTransfer<LPCVOID>;
    FileHandle file(static_cast<HANDLE>(nullptr));  // never reaches the system
    char buffer[1];
    // 0x100000000 has a low word of 0.
    for (std::uint64_t count : {0ull, 0xFFFFFFFFull, 0x100000000ull, 0x100000005ull, ~0ull}) {
        SCOPED_TRACE(count);
        calls.transferCounts.clear();
        EXPECT_EQ(10u, file.Read(buffer, count));  // the short count comes back
        EXPECT_EQ(10u, file.Write(buffer, count));
        const DWORD passed = count > 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<DWORD>(count);
        EXPECT_EQ((std::vector<DWORD>{passed, passed}), calls.transferCounts);
    }
    file.Release();
}

// The tag of a reparse point is looked up by name (NtQueryInformationFile,
// then FindFirstFileW; the fault sweep covers that path and its failures).
// Without NtQueryInformationFile, and for any other file, nothing is looked up.
TEST_F(FileHandleFallbackTest, NoTagLookupWithoutNtQueryInformationFileOrReparsePoint) {
    MakeFile(L"link", "target");
    FileHandle file(In(L"link").c_str());
    sys::table.NtQueryInformationFile = CountingNtQuery;
    sys::table.FindFirstFileW = CountingFindFirstFile;
    for (bool reparse : {false, true}) {
        SCOPED_TRACE(reparse ? "reparse point, no NtQueryInformationFile" : "ordinary file");
        if (reparse)
            sys::table.GetFileInformationByHandle = ReparseInformation, sys::table.NtQueryInformationFile = nullptr;
        TarnIO::PathStats stats;
        EXPECT_TRUE(file.Query(stats));  // a missing tag is never a failure
        EXPECT_EQ(reparse, stats.IsReparsePoint());
        EXPECT_EQ(6u, stats.GetFileSize());
        EXPECT_EQ(0u, stats.GetReparseTag());
        EXPECT_EQ(0, calls.ntQueries + calls.finds);
    }
}

}  // namespace
