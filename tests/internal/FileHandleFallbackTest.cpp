// FileHandle without the optional system functions (GetFileSizeEx, SetFilePointerEx,
// NtQueryInformationFile) and the 32-bit count limit of ReadFile/WriteFile. Failures
// of each call, and the reparse-tag lookup itself: the fault sweep.
#include "TarnIO/Error.h"
#include "TarnIO/FileHandle.h"
#include "TarnIO/PathStats.h"
#include "Sys.h"
#include "TestSupport.h"

#include <tuple>

using TarnIO::FileHandle;
namespace sys = TarnIO::sys;

namespace {

int getFileSize = 0, setFilePointer = 0, tagLookups = 0;  // what the fakes below saw
std::vector<DWORD> transferCounts; int shortAt = -1, failAt = -1;

// Counts the call in *counter and passes it on to the real function.
template <auto entry, int* counter, class R, class... Args>
R WINAPI Counting(Args... args) { return ++*counter, (sys::realTable.*entry)(args...); }
BOOL WINAPI ReparseInformation(HANDLE h, LPBY_HANDLE_FILE_INFORMATION info) {
    return sys::realTable.GetFileInformationByHandle(h, info) &&
           (info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT);
}
// ReadFile/WriteFile that note the count asked and claim all of it, except call number shortAt
// (from 0), which claims 10 bytes less, and failAt, which fails.
template <class Buffer>
BOOL WINAPI FakeTransfer(HANDLE, Buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    const int call = static_cast<int>(transferCounts.size());
    transferCounts.push_back(count);
    *done = call == failAt ? 0 : call == shortAt ? count - 10 : count;
    return call == failAt ? (::SetLastError(ERROR_DISK_FULL), FALSE) : TRUE;
}

class FileHandleFallbackTest : public TarnTest::TempDirTest {
protected:
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
    std::wstring MakeSparse(const wchar_t* name, std::uint64_t size) {
        FileHandle file(In(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        file.Seek(static_cast<std::int64_t>(size), TarnIO::seekBegin);
        EXPECT_TRUE(::SetEndOfFile(file.Raw()));
        return In(name);
    }
};

// Sizes and seeks beyond 4 GiB agree with and without the Ex functions. The tag of a
// reparse point is looked up only through NtQueryInformationFile, never for other files.
TEST_F(FileHandleFallbackTest, SizeSeekAndQueryWithAndWithoutTheOptionalFunctions) {
    const std::uint64_t size = 5000000000ull, beyond = 0x100000005ull;
    const std::wstring path = MakeSparse(L"big.bin", size);
    getFileSize = setFilePointer = tagLookups = 0;
    sys::table.GetFileSize = Counting<&sys::Table::GetFileSize, &getFileSize>;
    sys::table.SetFilePointer = Counting<&sys::Table::SetFilePointer, &setFilePointer>;
    sys::table.NtQueryInformationFile = Counting<&sys::Table::NtQueryInformationFile, &tagLookups>;
    sys::table.FindFirstFileW = Counting<&sys::Table::FindFirstFileW, &tagLookups>;
    for (bool fallback : {false, true}) {
        SCOPED_TRACE(fallback ? "fallbacks, reparse point" : "Ex functions, ordinary file");
        if (fallback)
            sys::table.GetFileSizeEx = nullptr, sys::table.SetFilePointerEx = nullptr,
            sys::table.NtQueryInformationFile = nullptr,
            sys::table.GetFileInformationByHandle = ReparseInformation;
        FileHandle file(path.c_str());
        EXPECT_EQ(size, file.GetSize());
        EXPECT_EQ(size - 3, file.Seek(-3, TarnIO::seekEnd));
        EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
        EXPECT_EQ(0xFFFFFFFFu, file.Seek(-6, TarnIO::seekCurrent));  // INVALID_SET_FILE_POINTER
        EXPECT_EQ(0xFFFFFFFFu, file.GetPosition());
        TarnIO::PathStats stats;
        EXPECT_TRUE(file.Query(stats));  // a missing tag is never a failure
        EXPECT_EQ(fallback, stats.IsReparsePoint());
        EXPECT_EQ(0u, stats.GetReparseTag());
        EXPECT_EQ(std::make_tuple(fallback ? 1 : 0, fallback ? 4 : 0, 0),
                  std::tie(getFileSize, setFilePointer, tagLookups));
    }
    // GetFileSize answers 0xFFFFFFFF, INVALID_FILE_SIZE, as a true size with
    // the last error cleared: a stale last error must not make it a failure.
    FileHandle edge(MakeSparse(L"edge.bin", 0xFFFFFFFFull).c_str());
    ::SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(0xFFFFFFFFull, edge.GetSize());
    EXPECT_EQ(2, getFileSize);
}

// Counts of 2^32 or more go in pieces, never cut to 32 bits (where 2^32 + 5 would ask for 5).
TEST_F(FileHandleFallbackTest, TransferCountsAboveThirtyTwoBitsAreSplitNotCut) {
    sys::table.ReadFile = FakeTransfer<LPVOID>, sys::table.WriteFile = FakeTransfer<LPCVOID>;
    FileHandle file(static_cast<HANDLE>(nullptr));  // never reaches the system
    char buffer[1];
    const DWORD p = 0xFFFF0000;
    const std::uint64_t big = 0x200000005, thrown = ~0ull;
    const struct Row { std::uint64_t asked; int shortAt, failAt; std::vector<DWORD> pieces;
                       std::uint64_t moved; } rows[] = {
        {0, -1, -1, {0}, 0}, {0xFFFFFFFF, -1, -1, {0xFFFFFFFF}, 0xFFFFFFFF},
        {0x100000000, -1, -1, {p, 0x10000}, 0x100000000},  // a low word of 0
        {big, -1, -1, {p, p, 0x20005}, big}, {big, 1, -1, {p, p}, 2ull * p - 10},
        {~0ull, 0, -1, {p}, p - 10}, {big, -1, 1, {p, p}, p}, {big, -1, 0, {p}, thrown},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.asked) + " short " + std::to_string(row.shortAt) +
                     " fail " + std::to_string(row.failAt));
        shortAt = row.shortAt, failAt = row.failAt;
        for (bool write : {false, true}) {
            transferCounts.clear();
            try {
                EXPECT_EQ(row.moved, write ? file.Write(buffer, row.asked)
                                           : file.Read(buffer, row.asked));
            } catch (const TarnIO::FileError& e) {
                EXPECT_EQ(row.moved, thrown);
                EXPECT_EQ(ERROR_DISK_FULL, *e.GetInfo<TarnError::ErrorInfo_Win32Error>());
            }
            EXPECT_EQ(row.pieces, transferCounts);
        }
    }
    file.Release();
}

}  // namespace
