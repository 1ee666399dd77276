// The backends through the call table: FileHandle without its Ex functions, fopen_s without
// the C runtime's, errno of stream failures, transfers split into pieces. Each call failing in
// turn: the fault sweep.
#include "../TestSupport.h"

#include "Bindings.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <tuple>

namespace {

using TarnIO::StdFile;
namespace sys = TarnIO::sys;

struct BackendCallTest : TarnTest::TempDirTest {
    void TearDown() override { sys::table = sys::realTable, TempDirTest::TearDown(); }
};

// Without GetFileSizeEx and SetFilePointerEx: sizes and positions past 32 bits come from the
// high words, and the failure value of the low word is also a valid one.
TEST_F(BackendCallTest, FileHandleWithoutTheExFunctions) {
    const std::uint64_t size = 0x1FFFFFFFF, beyond = 0x100000005;
    TarnIO::FileHandle file(MakeFile(L"big.bin").c_str(), GENERIC_READ | GENERIC_WRITE);
    file.Seek(static_cast<std::int64_t>(size), TarnIO::seekBegin);
    ASSERT_TRUE(::SetEndOfFile(file.Raw()));
    sys::table.GetFileSizeEx = nullptr, sys::table.SetFilePointerEx = nullptr;
    ::SetLastError(ERROR_ACCESS_DENIED);  // not GetFileSize's: it clears the last error
    EXPECT_EQ(size, file.GetSize());
    EXPECT_EQ(size - 3, file.Seek(-3, TarnIO::seekEnd));
    EXPECT_EQ(beyond, file.Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin));
    EXPECT_EQ(0xFFFFFFFFu, file.Seek(-6, TarnIO::seekCurrent));
    EXPECT_EQ(0xFFFFFFFFu, file.GetPosition());
}

// fopen_s where the C runtime lacks it (Windows XP): others may read while the stream only
// reads, nothing else.
TEST_F(BackendCallTest, OpenSecureSharesReadingOnlyWithAReadingStream) {
    const std::string path = TarnIO::Path(MakeFile(L"data.bin")).AsNarrowString();
    for (const char* mode : {"rb", "r+b", "ab"}) {
        FILE* stream = nullptr;
        ASSERT_EQ(0, TarnIO::bind::OpenSecure(&stream, path.c_str(), mode));
        StdFile opened(stream), reader, writer;
        EXPECT_EQ(mode == std::string("rb"), reader.Open(path.c_str(), "rb", _SH_DENYNO)) << mode;
        EXPECT_FALSE(writer.Open(path.c_str(), "ab", _SH_DENYNO)) << mode;
    }
    FILE* stream = stdin;
    EXPECT_EQ(ENOENT, TarnIO::bind::OpenSecure(&stream, (path + "-missing").c_str(), "rb"));
    EXPECT_EQ(nullptr, stream);
}

// A stream call that fails and sets errno and the last error to these (0: left alone).
int setErrno;
DWORD setLastError;
template <class R, class... Args>
R __cdecl Failing(Args...) {
    errno = setErrno ? setErrno : errno;
    ::SetLastError(setLastError ? setLastError : ::GetLastError());
    if constexpr (std::is_pointer_v<R> || std::is_unsigned_v<R>)
        return R();
    else
        return R(-1);
}

// A failure reports the errno its call set; where it set none, its last error translated; where
// neither, 0: never what an earlier call left (EDOM and ERROR_FILE_EXISTS here).
TEST_F(BackendCallTest, StreamFailuresReportTheirOwnErrno) {
    StdFile file(TarnIO::Path(MakeFile(L"data.bin")), L"r+b");
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
    const struct { DWORD lastError; int errnoValue, reported; } causes[] = {
        {0, 0, 0},
        {ERROR_ACCESS_DENIED, 0, EACCES},
        {ERROR_ACCESS_DENIED, EMFILE, EMFILE},
    };
    sys::table._fsopen = Failing, sys::table._fdopen = Failing, sys::table.fflush = Failing;
    sys::table._ftelli64 = Failing, sys::table._fseeki64 = Failing, sys::table.ferror = Failing;
    sys::table.fread = Failing, sys::table.fwrite = Failing;
    for (const auto& cause : causes) {
        for (std::size_t i = 0; i < std::size(calls); ++i) {
            setErrno = cause.errnoValue, setLastError = cause.lastError;
            errno = EDOM, ::SetLastError(ERROR_FILE_EXISTS);
            int reported = -1;
            try {
                calls[i]();
            } catch (const TarnError::Error& e) {
                if (const int* value = e.GetInfo<TarnError::ErrorInfo_errno>())
                    reported = *value;
            }
            EXPECT_EQ(cause.reported, reported) << i << ", " << cause.lastError;
        }
    }
}

// Each transfer call notes its count and moves all of it, but for call number shortAt (from 0),
// which moves 10 bytes less, and failAt, which fails.
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
    return moved < 0 ? (::SetLastError(ERROR_DISK_FULL), FALSE) : TRUE;
}

// A count that ReadFile (2^32 - 1 at most) or _read (INT_MAX: its int result) cannot take goes
// in pieces, up to the first short or failed one; a failure after bytes moved returns them.
// fread and fwrite get the count whole (on i686 at most SIZE_MAX).
TEST_F(BackendCallTest, LargeTransfersGoInPieces) {
    const std::wstring path = MakeFile(L"data.bin");
    TarnIO::FileHandle handle(static_cast<HANDLE>(nullptr));  // never reaches the system
    TarnIO::FileDescriptor descriptor(path.c_str(), _O_RDWR);
    StdFile stream(TarnIO::Path(path), L"r+b");
    TarnIO::File* const backends[] = {&handle, &descriptor, &stream};
    sys::table.ReadFile = HandleMoving<LPVOID>, sys::table.WriteFile = HandleMoving<LPCVOID>;
    sys::table._read = RuntimeMoving, sys::table._write = RuntimeMoving;
    sys::table.fread = RuntimeMoving, sys::table.fwrite = RuntimeMoving;
    const std::uint64_t p = 0xFFFF0000, q = 0x7FFF0000, thrown = ~0ull;
    const std::uint64_t whole = std::min<std::uint64_t>(0x100000005, SIZE_MAX);
    const struct Row {
        int backend;
        std::uint64_t asked;
        int shortAt, failAt;
        std::vector<std::uint64_t> pieces;
        std::uint64_t moved;
    } rows[] = {
        {0, 0xFFFFFFFF, -1, -1, {0xFFFFFFFF}, 0xFFFFFFFF},
        {0, 0x100000000, -1, -1, {p, 0x10000}, 0x100000000},
        {0, 0x100000000, 0, -1, {p}, p - 10},
        {0, 0x100000000, -1, 1, {p, 0x10000}, p},
        {0, 0x100000000, -1, 0, {p}, thrown},
        {1, 0x7FFFFFFF, -1, -1, {0x7FFFFFFF}, 0x7FFFFFFF},
        {1, 0x100000004, -1, -1, {q, q, 0x20004}, 0x100000004},
        {1, 0x100000004, 0, -1, {q}, q - 10},
        {1, 0x100000004, -1, 1, {q, q}, q},
        {1, 0x100000004, -1, 0, {q}, thrown},
        {2, 0x100000005, -1, -1, {whole}, whole},
    };
    char buffer[1];
    for (const Row& row : rows) {
        shortAt = row.shortAt, failAt = row.failAt;
        for (bool write : {false, true}) {
            passed.clear();
            std::uint64_t moved = thrown;
            try {
                TarnIO::File& file = *backends[row.backend];
                moved = write ? file.Write(buffer, row.asked) : file.Read(buffer, row.asked);
            } catch (const TarnIO::FileError&) {
            }
            EXPECT_EQ(row.moved, moved) << row.backend << " " << row.asked << " " << write;
            EXPECT_EQ(row.pieces, passed) << row.backend << " " << row.asked << " " << write;
        }
    }
}

}  // namespace
