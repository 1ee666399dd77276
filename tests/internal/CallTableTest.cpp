// What only faked system calls show: fallbacks, errno of stream failures, transfers in pieces,
// reparse tags.
#include "../TestSupport.h"

#include "Bindings.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <tuple>

namespace {

using TarnIO::Path;
using TarnIO::PathIterator;
using TarnIO::StdFile;
namespace sys = TarnIO::sys;

struct CallTableTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

// Without the Ex functions, sizes and positions past 32 bits come from the high words, and the
// low word's failure value is also a valid one.
TEST_F(CallTableTest, FileHandleWithoutTheExFunctions) {
    const std::uint64_t size = 0x1FFFFFFFF, beyond = 0x100000005;
    TarnIO::FileHandle file(MakeFile(L"big.bin").c_str(), GENERIC_READ | GENERIC_WRITE);
    file.Seek(static_cast<std::int64_t>(size), TarnIO::seekBegin);
    ASSERT_TRUE(::SetEndOfFile(file.Raw()));
    sys::table.GetFileSizeEx = nullptr, sys::table.SetFilePointerEx = nullptr;
    EXPECT_EQ(size, file.GetSize());
    EXPECT_EQ(size - 3, file.Seek(-3, TarnIO::seekEnd));
    EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
    EXPECT_EQ(0xFFFFFFFFu, file.Seek(-6, TarnIO::seekCurrent));
}

// fopen_s where the C runtime lacks it: others may read while the stream only reads.
TEST_F(CallTableTest, OpenSecureSharesReadingOnlyWithAReadingStream) {
    const std::string path = Path(MakeFile(L"data.bin")).AsNarrowString();
    for (const char* mode : {"rb", "r+b", "ab"}) {
        FILE* stream = nullptr;
        ASSERT_EQ(0, TarnIO::bind::OpenSecure(&stream, path.c_str(), mode));
        StdFile opened(stream), other;
        EXPECT_EQ(mode == std::string("rb"), other.Open(path.c_str(), "rb", _SH_DENYNO));
        EXPECT_FALSE(StdFile().Open(path.c_str(), "ab", _SH_DENYNO));
    }
}

// A stream call failing without setting errno; it sets this last error unless 0.
DWORD lastError;
template <class R, class... Args>
R __cdecl Failing(Args...) {
    if (lastError)
        ::SetLastError(lastError);
    if constexpr (std::is_pointer_v<R> || std::is_unsigned_v<R>)
        return R();
    else
        return R(-1);
}

// A failure whose call set no errno reports its last error translated, or 0: never what an
// earlier call left (EDOM and ERROR_FILE_EXISTS here).
TEST_F(CallTableTest, StreamFailuresReportTheirOwnErrno) {
    StdFile file(Path(MakeFile(L"data.bin")));
    char buffer[1];
    const std::function<void()> calls[] = {
        [] { StdFile("a", "rb", _SH_DENYNO); },
        [] { StdFile(0, "rb"); },
        [&] { file.GetSize(); },
        [&] { file.GetPosition(); },
        [&] { file.Seek(0, TarnIO::seekBegin); },
        [&] { file.Read(buffer, 1); },
        [&] { file.Write(buffer, 1); },
        [&] { file.Flush(); },
    };
    sys::Table& t = sys::table;
    t._fsopen = Failing, t._fdopen = Failing, t._ftelli64 = Failing, t._fseeki64 = Failing;
    t.fflush = Failing, t.ferror = Failing, t.fread = Failing, t.fwrite = Failing;
    for (const DWORD error : {0L, ERROR_ACCESS_DENIED}) {
        for (const auto& call : calls) {
            lastError = error, errno = EDOM, ::SetLastError(ERROR_FILE_EXISTS);
            const std::string thrown = TarnTest::Thrown<TarnError::Error>(call) + ";";
            const std::string cause = "; errno=" + std::to_string(error ? EACCES : 0) + ";";
            EXPECT_NE(thrown.find(cause), std::string::npos) << thrown;
        }
    }
}

// Each transfer call notes its count and moves all of it, but call number shortAt (from 0)
// moves 10 bytes less and failAt fails.
std::vector<std::uint64_t> passed;
int shortAt, failAt;
std::int64_t Moved(std::uint64_t count) {
    const int call = static_cast<int>(passed.size());
    passed.push_back(count);
    return call == failAt ? -1 : call == shortAt ? count - 10 : count;
}
template <class R, class... Args>
R __cdecl RuntimeMoving(Args... a) {
    const std::int64_t done = Moved(std::get<2>(std::tie(a...)));
    return done < 0 ? (errno = EIO, R(-1)) : R(done);
}
template <class Buffer>
BOOL WINAPI HandleMoving(HANDLE, Buffer, DWORD count, LPDWORD done, LPOVERLAPPED) {
    const std::int64_t moved = Moved(count);
    *done = moved < 0 ? 0 : static_cast<DWORD>(moved);
    return moved >= 0;
}

// A count ReadFile (2^32 - 1 at most) or _read (INT_MAX) cannot take goes in pieces, up to the
// first short or failed one; a failure after bytes moved returns them.
TEST_F(CallTableTest, LargeTransfersGoInPieces) {
    TarnIO::FileHandle handle(static_cast<HANDLE>(nullptr));  // never reaches the system
    TarnIO::FileDescriptor descriptor(MakeFile(L"data.bin").c_str());
    sys::table.ReadFile = HandleMoving<LPVOID>, sys::table.WriteFile = HandleMoving<LPCVOID>;
    sys::table._read = RuntimeMoving, sys::table._write = RuntimeMoving;
    const std::uint64_t p = 0xFFFF0000, q = 0x7FFF0000, thrown = ~0ull;
    const struct Row {
        TarnIO::File* file;
        std::uint64_t asked;
        int shortAt, failAt;
        std::vector<std::uint64_t> pieces;
        std::uint64_t moved;
    } rows[] = {
        {&handle, 0xFFFFFFFF, -1, -1, {0xFFFFFFFF}, 0xFFFFFFFF},
        {&handle, 0x100000000, -1, -1, {p, 0x10000}, 0x100000000},
        {&handle, 0x100000000, 0, -1, {p}, p - 10},
        {&handle, 0x100000000, -1, 1, {p, 0x10000}, p},
        {&handle, 0x100000000, -1, 0, {p}, thrown},
        {&descriptor, 0x7FFFFFFF, -1, -1, {0x7FFFFFFF}, 0x7FFFFFFF},
        {&descriptor, 0x100000004, -1, -1, {q, q, 0x20004}, 0x100000004},
        {&descriptor, 0x100000004, 0, -1, {q}, q - 10},
        {&descriptor, 0x100000004, -1, 1, {q, q}, q},
        {&descriptor, 0x100000004, -1, 0, {q}, thrown},
    };
    char buffer[1];
    for (const Row& row : rows) {
        for (bool write : {false, true}) {
            shortAt = row.shortAt, failAt = row.failAt, passed.clear();
            std::uint64_t moved = thrown;
            try {
                moved = write ? row.file->Write(buffer, row.asked)
                              : row.file->Read(buffer, row.asked);
            } catch (const TarnIO::FileError&) {
            }
            EXPECT_EQ(std::make_pair(row.moved, row.pieces), std::make_pair(moved, passed))
                << "row " << &row - rows << ", write " << write;
        }
    }
}

// Files named "link" dressed as the symbolic links Wine cannot make.
HANDLE WINAPI DressedFindFirst(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE handle = sys::realTable.FindFirstFileW(name, data);
    const bool link = handle != INVALID_HANDLE_VALUE && std::wstring(data->cFileName) == L"link";
    data->dwFileAttributes |= link ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    data->dwReserved0 = link ? 0xA000000C : 0xDEADBEEF;  // junk where no tag belongs
    return handle;
}

// Path::Query and the walk copy the tag of a reparse point, and nothing for other files.
TEST_F(CallTableTest, ReparseTagOnlyForAReparsePoint) {
    sys::table.FindFirstFileW = DressedFindFirst;
    for (const std::wstring name : {L"link", L"plain"}) {
        TarnIO::PathStats walked, queried;
        PathIterator it(Path(MakeFile(name)), 0);
        ASSERT_TRUE(it.Query(walked) && it.GetPath().Query(queried));
        for (const TarnIO::PathStats* stats : {&walked, &queried}) {
            EXPECT_EQ(name == L"link", stats->IsSymlink());
            EXPECT_EQ(name == L"link" ? 0xA000000CUL : 0UL, stats->GetReparseTag());
        }
    }
}

}  // namespace
