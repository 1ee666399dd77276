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
#include <utility>
#include <vector>

namespace {

using TarnTest::CatchError;
using TarnTest::Described;

const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;

// Each backend: how it opens a file to read and write, how a raw object of its kind is
// opened, and the operation its GetPosition reports as (FileHandle's is a seek by 0).
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
    // How an error thrown by operation op begins: ".\\StdFile TarnIO::StdFile::Seek: ".
    static std::string At(const std::string& op) {
        const std::string name = Backend::name;
        return ".\\" + name + " TarnIO::" + name + "::" +
               (op == "GetPosition" ? Backend::positionOp : op) + ": ";
    }
    // dir\name, size bytes long and sparse where the file system allows it (Windows needs
    // the flag): next to no disk. Each marker's byte is written at its offset.
    typedef std::vector<std::pair<std::uint64_t, char>> Markers;
    std::wstring MakeSparse(const wchar_t* name, std::uint64_t size, const Markers& markers) {
        const std::wstring path = this->In(name);
        TarnIO::FileHandle h(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW);
        DWORD returned = 0;
        ::DeviceIoControl(h.Raw(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        h.Seek(static_cast<std::int64_t>(size), TarnIO::seekBegin);
        EXPECT_TRUE(::SetEndOfFile(h.Raw()));
        for (const auto& [offset, byte] : markers)
            EXPECT_EQ(h.WriteAt(offset, &byte, 1), 1u);
        return path;
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

    EXPECT_EQ(file->Seek(0, TarnIO::seekEnd), 10u);
    EXPECT_EQ(file->Seek(3, TarnIO::seekBegin), 3u);
    // An unknown origin is refused before anything moves.
    EXPECT_EQ(Described(CatchError<TarnError::InvalidArgument>(
                  [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); })),
              this->At("Seek") + "invalid argument; invalidArgumentName=origin");
    EXPECT_EQ(file->GetPosition(), 3u);

    // ReadAll appends the rest; ReadAt and WriteAt leave the position where it was.
    std::string out = "prefix:";
    EXPECT_EQ(file->ReadAll(out), 7u);
    EXPECT_EQ(out, "prefix:3456789");
    ASSERT_EQ(file->Seek(3, TarnIO::seekBegin), 3u);
    EXPECT_EQ(std::string(buffer, file->ReadAt(7, buffer, sizeof buffer)), "789");
    EXPECT_EQ(file->GetPosition(), 3u);
    EXPECT_EQ(file->WriteAt(0, "AB", 2), 2u);
    EXPECT_EQ(file->WriteAt(10, "Z", 1), 1u);  // past the end: grows the file
    EXPECT_EQ(file->GetPosition(), 3u);
    EXPECT_EQ(file->GetSize(), 11u);
    file->Flush();
    EXPECT_EQ(this->ReadBack(path), "AB23456789Z");
}

TYPED_TEST(BackendTest, ClosedObjectRefusesEveryOperation) {
    auto file = this->Open(this->MakeFile(L"data.bin", "abc"));
    file->Close();
    file->Close();  // harmless
    char buffer[4];
    TarnIO::PathStats stats;
    struct Row { const char* operation; std::function<void()> call; } rows[] = {
        {"GetSize", [&] { file->GetSize(); }}, {"GetPosition", [&] { file->GetPosition(); }},
        {"Seek", [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); }},  // before the origin
        {"Read", [&] { file->Read(buffer, 1); }}, {"Write", [&] { file->Write("x", 1); }},
        {"Flush", [&] { file->Flush(); }}, {"Query", [&] { file->Query(stats); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.operation);
        EXPECT_EQ(Described(CatchError<TarnError::LogicError>(row.call)),
                  this->At(row.operation) + "file not open; FileErrorCode=fileErrorNotOpen (1)");
    }
    EXPECT_FALSE(stats.Exists());
}

TYPED_TEST(BackendTest, ReleaseAndAttachHandOverWithoutClosing) {
    auto file = this->Open(this->MakeFile(L"first.bin", "first"));
    char buffer[16] = {};
    ASSERT_EQ(file->Read(buffer, 2), 2u);
    auto raw = file->Release();
    file.reset();  // destroying a released object closes nothing

    typename TypeParam::Type owner;
    owner.Attach(raw);
    owner.Attach(raw);  // the same object again: still open
    EXPECT_EQ(owner.Raw(), raw);
    EXPECT_EQ(std::string(buffer, owner.Read(buffer, sizeof buffer)), "rst");
    // Attaching another closes the held one: teardown fails if first.bin stays open.
    owner.Attach(TypeParam::OpenRaw(this->MakeFile(L"second.bin", "second")));
    EXPECT_EQ(std::string(buffer, owner.Read(buffer, sizeof buffer)), "second");
}

TYPED_TEST(BackendTest, QueryAgreesWithFileHandle) {
    std::wstring path = this->MakeFile(L"data.bin", "twelve bytes");
    auto file = this->Open(path);
    TarnIO::PathStats stats, expected;
    ASSERT_TRUE(file->Query(stats));
    ASSERT_TRUE(TarnIO::FileHandle(path.c_str(), GENERIC_READ, shareAll).Query(expected));
    EXPECT_EQ(stats.GetAttributes(), expected.GetAttributes());
    EXPECT_EQ(stats.GetFileSize(), 12u);
    EXPECT_EQ(stats.GetModifyTime(), expected.GetModifyTime());
    // The query borrowed the system object and gave it back.
    char buffer[6];
    EXPECT_EQ(std::string(buffer, file->Read(buffer, sizeof buffer)), "twelve");
}

TYPED_TEST(BackendTest, FileLargerThanFourGigabytes) {
    const std::uint64_t hugeSize = 5000000000ull;
    auto file = this->Open(this->MakeSparse(L"huge.bin", hugeSize, {}));
    EXPECT_EQ(file->GetSize(), hugeSize);
    const std::uint64_t beyond = 0x100000005ull;  // a cut to 32 bits would give 5
    EXPECT_EQ(file->Seek(static_cast<std::int64_t>(beyond), TarnIO::seekBegin), beyond);
    EXPECT_EQ(file->GetPosition(), beyond);
    EXPECT_EQ(file->Write("far", 3), 3u);
    EXPECT_EQ(file->Seek(-2, TarnIO::seekEnd), hugeSize - 2);
    char buffer[8] = {1, 1, 1};
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 2u);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(std::string(buffer, file->ReadAt(beyond, buffer, 3)), "far");
    EXPECT_EQ(file->GetPosition(), hugeSize);
    EXPECT_EQ(std::string(buffer, file->ReadAt(5, buffer, 3)), std::string(3, '\0'));
}

// Counts that no single system call takes or reports (ReadFile: 2^32, _read: INT_MAX) arrive
// whole: 4 GiB + 1 through ReadAll, 3 GiB through one Read. The markers around 2 GiB, 4 GiB and
// at both ends catch a piece put in the wrong place.
TYPED_TEST(BackendTest, ReadsMoreThanFourGigabytesWhole) {
    if (sizeof(void*) < 8)
        GTEST_SKIP() << "a 32-bit process cannot hold a buffer of 3 or 4 GiB";
    const std::uint64_t size = 0x100000001, start = 0x40000000, count = 0xC0000000;
    const typename TestFixture::Markers markers = {
        {0, 'a'}, {0x7FFFFFFF, 'b'}, {0x80000000, 'c'}, {0xFFFFFFFF, 'd'}, {0x100000000, 'e'}};
    auto file = this->Open(this->MakeSparse(L"whole.bin", size, markers));
    std::string all;
    ASSERT_EQ(file->ReadAll(all), size);
    for (const auto& [offset, byte] : markers)
        EXPECT_EQ(all.at(offset), byte) << offset;
    // Into the same memory: where the 3 GiB put the markers, ReadAll left zeros.
    ASSERT_EQ(file->Seek(static_cast<std::int64_t>(start), TarnIO::seekBegin), start);
    ASSERT_EQ(file->Read(&all[0], count), count);
    for (const auto& [offset, byte] : markers)
        if (offset >= start && offset - start < count) {
            EXPECT_EQ(all[offset - start], byte) << offset;
        }
}

}  // namespace
