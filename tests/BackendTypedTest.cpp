// The behaviour that FileHandle, FileDescriptor and StdFile share, written
// once and run against each; what is a single backend's own is in its file.
#include "TestSupport.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <windows.h>
#include <winioctl.h>

#include <functional>
#include <io.h>
#include <memory>

namespace {

using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;

const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Each backend: how it opens an existing file for reading and writing, how a
// raw object of its kind is opened, and the operation its GetPosition reports
// as (FileHandle's is a seek by 0).
struct HandleBackend {
    typedef TarnIO::FileHandle Type;
    static constexpr const char* name = "FileHandle";
    static constexpr const char* positionOp = "Seek";
    static Type* Open(const std::wstring& p) {
        return new Type(p.c_str(), GENERIC_READ | GENERIC_WRITE, shareAll);
    }
    static HANDLE OpenRaw(const std::wstring& p) {
        return ::CreateFileW(p.c_str(), GENERIC_READ, shareAll, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    }
};
struct DescriptorBackend {
    typedef TarnIO::FileDescriptor Type;
    static constexpr const char* name = "FileDescriptor";
    static constexpr const char* positionOp = "GetPosition";
    static Type* Open(const std::wstring& p) { return new Type(p.c_str(), _O_RDWR | _O_BINARY); }
    static int OpenRaw(const std::wstring& p) { return _wopen(p.c_str(), _O_RDONLY | _O_BINARY); }
};
struct StdFileBackend {
    typedef TarnIO::StdFile Type;
    static constexpr const char* name = "StdFile";
    static constexpr const char* positionOp = "GetPosition";
    static Type* Open(const std::wstring& p) { return new Type(TarnIO::Path(p), L"r+b"); }
    static FILE* OpenRaw(const std::wstring& p) { return _wfopen(p.c_str(), L"rb"); }
};

template <class Backend>
class BackendTest : public TarnTest::TempDirTest {
protected:
    typedef std::unique_ptr<typename Backend::Type> Ptr;
    static Ptr Open(const std::wstring& path) { return Ptr(Backend::Open(path)); }
    Ptr Make(const std::wstring& name, const std::string& content) {
        return Open(MakeFile(name, content));
    }
    // Message, Context and detail names of an error thrown by operation.
    static void ExpectThrownBy(const TarnError::Error& e, const char* text, const std::string& op,
                               const Names& details) {
        const std::string name = Backend::name;
        EXPECT_EQ(e.GetMessageText(), text);
        EXPECT_EQ(e.GetContext().file, ".\\" + name);
        EXPECT_EQ(e.GetContext().function,
                  "TarnIO::" + name + "::" + (op == "GetPosition" ? Backend::positionOp : op));
        EXPECT_EQ(DetailNames(e), details);
    }
};

struct BackendNames {
    template <class Backend> static std::string GetName(int) { return Backend::name; }
};
typedef ::testing::Types<HandleBackend, DescriptorBackend, StdFileBackend> Backends;
TYPED_TEST_SUITE(BackendTest, Backends, BackendNames);

TYPED_TEST(BackendTest, TransfersSizeAndPosition) {
    std::wstring path = this->MakeFile(L"data.bin", "0123456789");
    auto file = this->Open(path);
    char buffer[32] = {};
    // One transfer per call: 0 for a count of 0 and at the end, short reads as they come.
    EXPECT_EQ(file->Read(buffer, 0), 0u);
    EXPECT_EQ(file->Read(buffer, 4), 4u);
    EXPECT_EQ(file->GetSize(), 10u);
    EXPECT_EQ(file->GetPosition(), 4u);  // GetSize did not move it
    EXPECT_EQ(file->Seek(0, TarnIO::seekCurrent), file->GetPosition());
    EXPECT_EQ(file->Read(buffer + 4, sizeof buffer - 4), 6u);
    EXPECT_STREQ(buffer, "0123456789");
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->Read(buffer, 0), 0u);

    EXPECT_EQ(file->Seek(-5, TarnIO::seekCurrent), 5u);
    EXPECT_EQ(file->Seek(0, TarnIO::seekEnd), 10u);
    EXPECT_EQ(file->Seek(-1, TarnIO::seekEnd), 9u);
    EXPECT_EQ(file->Seek(3, TarnIO::seekBegin), 3u);
    EXPECT_EQ(file->Peek(), 7u);
    // An unknown origin is refused before anything moves.
    TarnError::InvalidArgument e = CatchError<TarnError::InvalidArgument>(
        [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); });
    this->ExpectThrownBy(e, "invalid argument", "Seek", Names{"invalidArgumentName"});
    ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
    EXPECT_STREQ(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "origin");
    EXPECT_EQ(file->GetPosition(), 3u);

    // ReadAll appends the rest; ReadAt and WriteAt leave the position where it was.
    std::string out = "prefix:";
    EXPECT_EQ(file->ReadAll(out), 7u);
    EXPECT_EQ(out, "prefix:3456789");
    EXPECT_EQ(file->ReadAll(out), 0u);
    ASSERT_EQ(file->Seek(3, TarnIO::seekBegin), 3u);
    EXPECT_EQ(file->ReadAt(7, buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(file->GetPosition(), 3u);
    EXPECT_EQ(file->WriteAt(0, "AB", 2), 2u);
    EXPECT_EQ(file->GetPosition(), 3u);
    EXPECT_EQ(file->Read(buffer, 2), 2u);
    EXPECT_EQ(std::string(buffer, 2), "34");
    EXPECT_EQ(file->WriteAt(10, "Z", 1), 1u);  // past the end: grows the file
    EXPECT_EQ(file->GetPosition(), 5u);
    EXPECT_EQ(file->GetSize(), 11u);
    file->Flush();
    EXPECT_EQ(this->ReadBack(path), "AB23456789Z");
}

TYPED_TEST(BackendTest, ClosedObjectRefusesEveryOperation) {
    auto file = this->Make(L"data.bin", "abc");
    file->Close();
    file->Close();  // harmless
    char buffer[4];
    TarnIO::PathStats stats;
    struct Row {
        const char* operation;
        std::function<void()> call;
    } rows[] = {
        {"GetSize", [&] { file->GetSize(); }},
        {"GetPosition", [&] { file->GetPosition(); }},
        {"Seek", [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); }},  // before the origin
        {"Read", [&] { file->Read(buffer, sizeof buffer); }},
        {"Write", [&] { file->Write("x", 1); }},
        {"Flush", [&] { file->Flush(); }},
        {"Query", [&] { file->Query(stats); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        TarnError::LogicError e = CatchError<TarnError::LogicError>(row.call);
        this->ExpectThrownBy(e, "file not open", row.operation, Names{"FileErrorCode"});
        ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), TarnIO::fileErrorNotOpen);
    }
    EXPECT_FALSE(stats.Exists());
}

TYPED_TEST(BackendTest, ReleaseAndAttachHandOverWithoutClosing) {
    auto file = this->Make(L"first.bin", "first");
    char buffer[16] = {};
    ASSERT_EQ(file->Read(buffer, 2), 2u);
    auto raw = file->Release();
    file.reset();  // destroying a released object closes nothing

    typename TypeParam::Type owner;
    owner.Attach(raw);
    owner.Attach(raw);  // the same object again: still open
    ASSERT_TRUE(owner.IsOpen());
    EXPECT_EQ(owner.Raw(), raw);
    EXPECT_EQ(owner.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "rst");
    // Attaching another closes the held one: teardown fails if first.bin stays open.
    owner.Attach(TypeParam::OpenRaw(this->MakeFile(L"second.bin", "second")));
    EXPECT_EQ(owner.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "second");
}

TYPED_TEST(BackendTest, QueryAgreesWithFileHandle) {
    std::wstring path = this->MakeFile(L"data.bin", "twelve bytes");
    auto file = this->Open(path);
    TarnIO::PathStats stats, expected;
    ASSERT_TRUE(file->Query(stats));
    ASSERT_TRUE(TarnIO::FileHandle(path.c_str(), GENERIC_READ, shareAll).Query(expected));
    EXPECT_EQ(stats.GetAttributes(), expected.GetAttributes());
    EXPECT_EQ(stats.GetFileSize(), 12u);
    EXPECT_EQ(stats.GetCreateTime(), expected.GetCreateTime());
    EXPECT_EQ(stats.GetModifyTime(), expected.GetModifyTime());
    EXPECT_TRUE(stats.IsFile());
    // The query borrowed the system object and gave it back.
    char buffer[6];
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "twelve");
}

TYPED_TEST(BackendTest, FileLargerThanFourGigabytes) {
    // 5,000,000,000 bytes, almost all never written: sparse, so next to no disk.
    const std::uint64_t hugeSize = 5000000000ull;
    std::wstring path = this->In(L"huge.bin");
    HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << ::GetLastError();
    DWORD returned = 0;
    // Windows needs the flag to leave the range unallocated; Wine may refuse it.
    ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(hugeSize);
    EXPECT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN) && ::SetEndOfFile(h));
    ::CloseHandle(h);

    auto file = this->Open(path);
    EXPECT_EQ(file->GetSize(), hugeSize);
    const std::uint64_t beyond = 0x100000005ull;  // a cut to 32 bits would give 5
    EXPECT_EQ(file->Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin), beyond);
    EXPECT_EQ(file->GetPosition(), beyond);
    EXPECT_EQ(file->Write("far", 3), 3u);
    EXPECT_EQ(file->Seek(0, TarnIO::seekEnd), hugeSize);
    EXPECT_EQ(file->Seek(-2, TarnIO::seekEnd), hugeSize - 2);
    char buffer[8] = {1, 1, 1};
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(file->ReadAt(beyond, buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), "far");
    EXPECT_EQ(file->GetPosition(), hugeSize);
    EXPECT_EQ(file->ReadAt(5, buffer, 3), 3u);
    EXPECT_EQ(std::string(buffer, 3), std::string(3, '\0'));
}

}  // namespace
