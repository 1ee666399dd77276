// The behaviour that FileHandle, FileDescriptor and StdFile share, written
// once and run against each. What belongs to a single backend (its opening
// forms, its system's refusals) stays in that backend's own test file.
#include "TestSupport.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <functional>
#include <io.h>
#include <memory>
#include <string>

namespace {

using TarnTest::CatchError;
using TarnTest::DetailNames;
using TarnTest::Names;

// How each backend opens an existing file for reading and writing, and what
// its raw system object is.
struct HandleBackend {
    typedef TarnIO::FileHandle Type;
    typedef HANDLE Raw;
    static constexpr const char* name = "FileHandle";
    static std::unique_ptr<Type> Open(const std::wstring& path) {
        return std::make_unique<Type>(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE);
    }
    static Raw OpenRaw(const std::wstring& path) {
        return ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    }
    static void CloseRaw(Raw raw) { ::CloseHandle(raw); }
    // FileHandle::GetPosition is a seek by 0 and reports as Seek.
    static std::string FunctionOf(const std::string& operation) {
        return std::string("TarnIO::FileHandle::") +
               (operation == "GetPosition" ? "Seek" : operation);
    }
};

struct DescriptorBackend {
    typedef TarnIO::FileDescriptor Type;
    typedef int Raw;
    static constexpr const char* name = "FileDescriptor";
    static std::unique_ptr<Type> Open(const std::wstring& path) {
        return std::make_unique<Type>(path.c_str(), _O_RDWR | _O_BINARY);
    }
    static Raw OpenRaw(const std::wstring& path) {
        return _wopen(path.c_str(), _O_RDONLY | _O_BINARY);
    }
    static void CloseRaw(Raw raw) { _close(raw); }
    static std::string FunctionOf(const std::string& operation) {
        return "TarnIO::FileDescriptor::" + operation;
    }
};

struct StdFileBackend {
    typedef TarnIO::StdFile Type;
    typedef FILE* Raw;
    static constexpr const char* name = "StdFile";
    static std::unique_ptr<Type> Open(const std::wstring& path) {
        return std::make_unique<Type>(TarnIO::Path(path), L"r+b");
    }
    static Raw OpenRaw(const std::wstring& path) { return _wfopen(path.c_str(), L"rb"); }
    static void CloseRaw(Raw raw) { fclose(raw); }
    static std::string FunctionOf(const std::string& operation) {
        return "TarnIO::StdFile::" + operation;
    }
};

template <class Backend>
class BackendTest : public TarnTest::TempDirTest {
protected:
    typedef typename Backend::Type Type;

    std::unique_ptr<Type> Make(const std::wstring& name, const std::string& content) {
        return Backend::Open(MakeFile(name, content));
    }
};

struct BackendNames {
    template <class Backend>
    static std::string GetName(int) {
        return Backend::name;
    }
};

typedef ::testing::Types<HandleBackend, DescriptorBackend, StdFileBackend> Backends;
TYPED_TEST_SUITE(BackendTest, Backends, BackendNames);

TYPED_TEST(BackendTest, ReadsAreOneTransferEachAndZeroAtTheEnd) {
    auto file = this->Make(L"data.bin", "0123456789");
    char buffer[32] = {};
    EXPECT_EQ(file->Read(buffer, 0), 0u);
    EXPECT_EQ(file->Read(buffer, 4), 4u);
    EXPECT_EQ(std::string(buffer, 4), "0123");
    // Fewer bytes than asked are returned as they are.
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "456789");
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->Read(buffer, 0), 0u);
}

TYPED_TEST(BackendTest, SizeAndPositionAgree) {
    auto empty = this->Make(L"empty.bin", "");
    EXPECT_EQ(empty->GetSize(), 0u);
    EXPECT_EQ(empty->Seek(0, TarnIO::seekEnd), 0u);

    auto file = this->Make(L"data.bin", std::string(100, 'x'));
    char buffer[10];
    ASSERT_EQ(file->Read(buffer, sizeof buffer), 10u);
    EXPECT_EQ(file->GetSize(), 100u);
    EXPECT_EQ(file->GetPosition(), 10u);  // GetSize did not move it
    EXPECT_EQ(file->Seek(0, TarnIO::seekCurrent), file->GetPosition());
    EXPECT_EQ(file->Seek(-5, TarnIO::seekCurrent), 5u);
    EXPECT_EQ(file->Seek(0, TarnIO::seekEnd), 100u);
    EXPECT_EQ(file->Seek(-1, TarnIO::seekEnd), 99u);
    EXPECT_EQ(file->Seek(7, TarnIO::seekBegin), 7u);
    EXPECT_EQ(file->Peek(), 93u);
}

TYPED_TEST(BackendTest, UnknownOriginIsRefusedAndTheFileStaysPut) {
    auto file = this->Make(L"data.bin", "0123456789");
    ASSERT_EQ(file->Seek(2, TarnIO::seekBegin), 2u);
    TarnError::InvalidArgument e = CatchError<TarnError::InvalidArgument>(
        [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); });
    EXPECT_EQ(e.GetMessageText(), "invalid argument");
    EXPECT_EQ(e.GetContext().function, TypeParam::FunctionOf("Seek"));
    EXPECT_EQ(e.GetContext().file, ".\\" + std::string(TypeParam::name));
    EXPECT_EQ(DetailNames(e), (Names{"invalidArgumentName"}));
    ASSERT_NE(e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), nullptr);
    EXPECT_STREQ(*e.GetInfo<TarnError::ErrorInfo_invalidArgumentName>(), "origin");
    EXPECT_EQ(file->GetPosition(), 2u);
}

TYPED_TEST(BackendTest, ClosedObjectRefusesEveryOperation) {
    auto file = this->Make(L"data.bin", "abc");
    file->Close();
    file->Close();  // harmless
    EXPECT_FALSE(file->IsOpen());
    EXPECT_FALSE(static_cast<bool>(*file));

    char buffer[4];
    TarnIO::PathStats stats;
    struct Row {
        const char* operation;
        std::function<void()> call;
    } rows[] = {
        {"GetSize", [&] { file->GetSize(); }},
        {"GetPosition", [&] { file->GetPosition(); }},
        // Not being open comes before the bad origin.
        {"Seek", [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); }},
        {"Read", [&] { file->Read(buffer, sizeof buffer); }},
        {"Write", [&] { file->Write("x", 1); }},
        {"Flush", [&] { file->Flush(); }},
        {"Query", [&] { file->Query(stats); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        TarnError::LogicError e = CatchError<TarnError::LogicError>(row.call);
        EXPECT_EQ(e.GetMessageText(), "file not open");
        EXPECT_EQ(e.GetContext().function, TypeParam::FunctionOf(row.operation));
        EXPECT_EQ(DetailNames(e), (Names{"FileErrorCode"}));
        ASSERT_NE(e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), nullptr);
        EXPECT_EQ(*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>(), TarnIO::fileErrorNotOpen);
    }
    EXPECT_FALSE(stats.Exists());
}

TYPED_TEST(BackendTest, ReleaseAndAttachHandOverWithoutClosing) {
    std::wstring first = this->MakeFile(L"first.bin", "first");
    std::wstring second = this->MakeFile(L"second.bin", "second");
    auto file = TypeParam::Open(first);
    char buffer[16] = {};
    ASSERT_EQ(file->Read(buffer, 2), 2u);

    typename TypeParam::Raw raw = file->Release();
    EXPECT_FALSE(file->IsOpen());
    file.reset();  // destroying a released object closes nothing

    typename TypeParam::Type owner;
    owner.Attach(raw);
    owner.Attach(raw);  // the same object again: still open
    ASSERT_TRUE(owner.IsOpen());
    EXPECT_EQ(owner.Raw(), raw);
    EXPECT_EQ(owner.Read(buffer, sizeof buffer), 3u);
    EXPECT_EQ(std::string(buffer, 3), "rst");

    // Another object closes the held one first; the fixture's teardown fails
    // if first.bin was left open.
    owner.Attach(TypeParam::OpenRaw(second));
    EXPECT_EQ(owner.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "second");
}

TYPED_TEST(BackendTest, ReadAllAppendsTheRest) {
    auto file = this->Make(L"data.bin", "0123456789");
    char buffer[2];
    ASSERT_EQ(file->Read(buffer, 2), 2u);
    std::string out = "prefix:";
    EXPECT_EQ(file->ReadAll(out), 8u);
    EXPECT_EQ(out, "prefix:23456789");
    EXPECT_EQ(file->ReadAll(out), 0u);
    EXPECT_EQ(out, "prefix:23456789");
}

TYPED_TEST(BackendTest, ReadAtAndWriteAtRestoreThePosition) {
    std::wstring path = this->MakeFile(L"data.bin", "0123456789");
    {
        auto file = TypeParam::Open(path);
        ASSERT_EQ(file->Seek(3, TarnIO::seekBegin), 3u);
        char buffer[8] = {};
        EXPECT_EQ(file->ReadAt(7, buffer, sizeof buffer), 3u);
        EXPECT_EQ(std::string(buffer, 3), "789");
        EXPECT_EQ(file->GetPosition(), 3u);
        EXPECT_EQ(file->WriteAt(0, "AB", 2), 2u);
        EXPECT_EQ(file->GetPosition(), 3u);
        EXPECT_EQ(file->Read(buffer, 2), 2u);
        EXPECT_EQ(std::string(buffer, 2), "34");
        // Writing past the end grows the file.
        EXPECT_EQ(file->WriteAt(10, "Z", 1), 1u);
        EXPECT_EQ(file->GetPosition(), 5u);
        EXPECT_EQ(file->GetSize(), 11u);
        file->Flush();
    }
    EXPECT_EQ(this->ReadBack(path), "AB23456789Z");
}

TYPED_TEST(BackendTest, QueryAgreesWithFileHandle) {
    std::wstring path = this->MakeFile(L"data.bin", "twelve bytes");
    auto file = TypeParam::Open(path);
    TarnIO::PathStats stats;
    ASSERT_TRUE(file->Query(stats));

    TarnIO::FileHandle reference(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    TarnIO::PathStats expected;
    ASSERT_TRUE(reference.Query(expected));
    EXPECT_EQ(stats.GetAttributes(), expected.GetAttributes());
    EXPECT_EQ(stats.GetFileSize(), 12u);
    EXPECT_EQ(stats.GetCreateTime(), expected.GetCreateTime());
    EXPECT_EQ(stats.GetModifyTime(), expected.GetModifyTime());
    EXPECT_TRUE(stats.IsFile());

    // The query borrowed the system object and gave it back.
    ASSERT_TRUE(file->IsOpen());
    char buffer[6];
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(std::string(buffer, 6), "twelve");
}

// 5,000,000,000 bytes, all but the first and last pages never written: the
// file system keeps it sparse, so it costs next to no disk.
const std::uint64_t hugeSize = 5000000000ull;

TYPED_TEST(BackendTest, FileLargerThanFourGigabytes) {
    std::wstring path = this->In(L"huge.bin");
    {
        HANDLE h = ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                 CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE) << ::GetLastError();
        DWORD returned = 0;
        // Windows needs the flag to keep the range unallocated; a file system
        // that is sparse anyway (Wine's) may refuse it.
        ::DeviceIoControl(h, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = static_cast<LONGLONG>(hugeSize);
        EXPECT_TRUE(::SetFilePointerEx(h, end, nullptr, FILE_BEGIN));
        EXPECT_TRUE(::SetEndOfFile(h)) << ::GetLastError();
        ::CloseHandle(h);
    }
    {
        auto file = TypeParam::Open(path);
        EXPECT_EQ(file->GetSize(), hugeSize);
        // A position whose low 32 bits are 5: a cut to 32 bits would show.
        const std::uint64_t beyond = 0x100000005ull;
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
        EXPECT_EQ(file->GetSize(), hugeSize);
    }
    EXPECT_TRUE(::DeleteFileW(path.c_str()));
}

}  // namespace
