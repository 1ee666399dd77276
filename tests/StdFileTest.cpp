// StdFile's own failures: its constructors' checks, streams over descriptors
// and the C runtime's stream calls. Shared behaviour: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Error.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <fcntl.h>
#include <functional>
#include <io.h>

namespace {

using TarnIO::StdFile;

using TarnTest::Throws;

// A descriptor whose handle's access differs from its oflag: stream calls fail
// for real on Windows and Wine alike (Wine's fread of a "wb" stream returns 0).
int MismatchedDescriptor(const std::wstring& path, DWORD access, int oflag) {
    HANDLE h = ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    return _open_osfhandle(reinterpret_cast<intptr_t>(h), oflag);
}

class StdFileTest : public TarnTest::TempDirTest {};

TEST_F(StdFileTest, Failures) {
    std::wstring wide = In(L"missing-\u00e9.bin");  // escaped in the detail
    std::string escaped = TarnError::UnicodeEscape(wide.c_str(), 0xFFFFFFFF);
    std::string narrow = TarnIO::Path(In(L"missing.bin")).AsNarrowString();
    std::wstring data = MakeFile(L"data.bin", "abc");
    int fd = _wopen(data.c_str(), _O_RDONLY | _O_BINARY);
    const wchar_t* noWide = nullptr;
    StdFile unreadable(MismatchedDescriptor(data, GENERIC_WRITE, _O_RDONLY), "rb");
    StdFile unwritable(MismatchedDescriptor(data, GENERIC_READ, _O_WRONLY), "wb");
    EXPECT_EQ(unwritable.Write("xyz", 3), 3u);  // only into the stream's buffer
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    ASSERT_TRUE(::CreatePipe(&readEnd, &writeEnd, nullptr, 0) && ::CloseHandle(writeEnd));
    StdFile pipe(_open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY), "rb");

    const std::string at = ".\\StdFile TarnIO::StdFile::";
    const std::string absent = at + "StdFile: unable to open file; "
                                    "FileErrorCode=fileErrorNotFound (4); errno=2; filePath=";
    const std::string invalid = at + "StdFile: invalid argument; invalidArgumentName=";
    typedef TarnIO::FileOpenError OpenError;
    typedef TarnError::InvalidArgument Invalid;
    char buffer[8];
    struct Row {
        const char* label;
        std::function<std::string()> described;
        std::string expected;
    } rows[] = {
        {"narrow", Throws<OpenError>([&] { StdFile(narrow.c_str(), "rb"); }), absent + narrow},
        {"wide", Throws<OpenError>([&] { StdFile(wide.c_str(), L"rb", _SH_DENYNO); }),
         absent + escaped},
        {"Path", Throws<OpenError>([&] { StdFile(TarnIO::Path(wide), L"rb"); }), absent + escaped},
        {"name before mode", Throws<Invalid>([&] { StdFile(nullptr, nullptr); }), invalid + "path"},
        {"narrow", Throws<Invalid>([&] { StdFile("x", nullptr); }), invalid + "mode"},
        {"narrow share", Throws<Invalid>([&] { StdFile(nullptr, "rb", 0); }), invalid + "path"},
        {"narrow share", Throws<Invalid>([&] { StdFile("x", nullptr, 0); }), invalid + "mode"},
        {"wide share", Throws<Invalid>([&] { StdFile(noWide, nullptr, 0); }), invalid + "path"},
        {"wide share", Throws<Invalid>([&] { StdFile(L"x", noWide, 0); }), invalid + "mode"},
        {"Path", Throws<Invalid>([&] { StdFile(TarnIO::Path(L"x"), noWide); }), invalid + "mode"},
        {"Path share", Throws<Invalid>([&] { StdFile(TarnIO::Path(L"x"), noWide, 0); }),
         invalid + "mode"},
        {"descriptor -1", Throws<Invalid>([] { StdFile(-1, "r"); }), invalid + "fd"},
        {"_fdopen mode", Throws<Invalid>([&] { StdFile(fd, "z"); }), invalid + "mode"},
        {"Read", Throws<TarnIO::FileReadError>([&] { unreadable.Read(buffer, sizeof buffer); }),
         at + "Read: unable to read file; FileErrorCode=fileErrorNotOpen (1); errno=9"},
        // The error indicator stays set: even a count of 0 fails, with no new
        // cause, and errno cleared before the call does not blame the old one.
        {"Read 0", Throws<TarnIO::FileReadError>([&] { unreadable.Read(buffer, 0); }),
         at + "Read: unable to read file; FileErrorCode=fileErrorUnknown (11); errno=0"},
        {"Flush", Throws<TarnIO::FileWriteError>([&] { unwritable.Flush(); }),
         at + "Flush: unable to flush file buffers; FileErrorCode=fileErrorNotOpen (1); errno=9"},
        {"Write 0", Throws<TarnIO::FileWriteError>([&] { unwritable.Write(buffer, 0); }),
         at + "Write: unable to write file; FileErrorCode=fileErrorUnknown (11); errno=0"},
        {"pipe", Throws<TarnIO::FileError>([&] { pipe.GetSize(); }),
         at + "GetSize: unable to query file size; FileErrorCode=fileErrorUnknown (11); errno=22"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(row.described(), row.expected);
    }
    EXPECT_EQ(_close(fd), 0);  // the refused descriptor is still the caller's
}

TEST_F(StdFileTest, WideNamesAreOpenedByTheLinkedRuntime) {
    // Only the bound _wfsopen and _wfopen can open a name with no ANSI form;
    // the library's own fread must know the FILE* they return.
    std::wstring path = MakeFile(L"\u03a9\u4e2d.bin", "wide");
    std::string content;
    StdFile(path.c_str(), L"rb", _SH_DENYNO).ReadAll(content);
    StdFile(TarnIO::Path(path), L"rb").ReadAll(content);
    EXPECT_EQ(content, "widewide");
}

TEST_F(StdFileTest, OpenRefusesNullArgumentsWithoutTheRuntime) {
    StdFile file(TarnIO::Path(MakeFile(L"held.txt")), L"rb");
    struct Row { const char* label; std::function<bool()> open; int error; } rows[] = {
        {"narrow name", [&] { return file.Open(static_cast<const char*>(nullptr), "rb"); }, EINVAL},
        {"wide mode", [&] { return file.Open(L"x", static_cast<const wchar_t*>(nullptr), 0); }, EINVAL},
        {"descriptor", [&] { return file.Open(-1, "rb"); }, EBADF},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        errno = 0;
        EXPECT_FALSE(row.open());
        EXPECT_EQ(row.error, errno);
        EXPECT_FALSE(file.IsOpen());  // what was open is closed all the same
    }
}

}  // namespace
