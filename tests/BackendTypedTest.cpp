// What FileHandle, FileDescriptor and StdFile share, written once and run against each.
#include "TestSupport.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <winioctl.h>

#include <functional>
#include <memory>

namespace {

using TarnIO::FileDescriptor;
using TarnIO::StdFile;

template <class T> const std::string nameOf = "FileHandle";
template <> const std::string nameOf<FileDescriptor> = "FileDescriptor";
template <> const std::string nameOf<StdFile> = "StdFile";

template <class T>
class BackendTest : public TarnTest::TempDirTest {
protected:
    // The file opened to read and write.
    static std::unique_ptr<T> Open(const std::wstring& p) {
        if constexpr (std::is_same_v<T, StdFile>)
            return std::make_unique<T>(TarnIO::Path(p), L"r+b");
        else if constexpr (std::is_same_v<T, FileDescriptor>)
            return std::make_unique<T>(p.c_str(), _O_RDWR | _O_BINARY);
        else
            return std::make_unique<T>(p.c_str(), GENERIC_READ | GENERIC_WRITE);
    }
    // What an error thrown by operation op says, as one line. FileHandle's GetPosition is a
    // seek by 0, and reports as one.
    static std::string Error(std::string op, const std::string& text) {
        op = op == "GetPosition" && nameOf<T> == "FileHandle" ? "Seek" : op;
        return ".\\" + nameOf<T> + " TarnIO::" + nameOf<T> + "::" + op + ": " + text;
    }
};

struct BackendNames {
    template <class T> static std::string GetName(int) { return nameOf<T>; }
};
typedef ::testing::Types<TarnIO::FileHandle, FileDescriptor, StdFile> Backends;
TYPED_TEST_SUITE(BackendTest, Backends, BackendNames);

TYPED_TEST(BackendTest, TransfersSizePositionAndQuery) {
    const std::wstring path = this->MakeFile(L"data.bin", "0123456789");
    auto file = this->Open(path);
    char buffer[16] = {};
    // One transfer per call: short reads as they come, 0 at the end.
    EXPECT_EQ(std::string(buffer, file->Read(buffer, 4)), "0123");
    EXPECT_EQ(file->GetSize(), 10u);
    EXPECT_EQ(file->GetPosition(), 4u);  // GetSize did not move it
    EXPECT_EQ(std::string(buffer, file->Read(buffer, sizeof buffer)), "456789");
    EXPECT_EQ(file->Read(buffer, sizeof buffer), 0u);
    EXPECT_EQ(file->Seek(-7, TarnIO::seekEnd), 3u);
    // An unknown origin is refused before anything moves.
    EXPECT_EQ(TarnTest::Thrown<TarnError::InvalidArgument>(
                  [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); }),
              this->Error("Seek", "invalid argument; invalidArgumentName=origin"));
    std::string out = "prefix:";
    EXPECT_EQ(file->ReadAll(out), 7u);
    EXPECT_EQ(out, "prefix:3456789");
    EXPECT_EQ(file->WriteAt(10, "Z", 1), 1u);  // past the end: grows the file
    EXPECT_EQ(file->Seek(0, TarnIO::seekBegin), 0u);
    EXPECT_EQ(file->Write("AB", 2), 2u);
    file->Flush();
    EXPECT_EQ(this->ReadBack(path), "AB23456789Z");
    // Query sees what Path::Query sees, and gives back the system object it borrowed.
    TarnIO::PathStats stats, expected;
    ASSERT_TRUE(file->Query(stats) && TarnIO::Path(path).Query(expected));
    EXPECT_EQ(stats.GetFileSize(), 11u);
    EXPECT_EQ(stats.GetAttributes(), expected.GetAttributes());
    EXPECT_EQ(stats.GetModifyTime(), expected.GetModifyTime());
    EXPECT_EQ(std::string(buffer, file->Read(buffer, 2)), "23");
}

TYPED_TEST(BackendTest, ClosedObjectRefusesEveryOperation) {
    auto file = this->Open(this->MakeFile(L"data.bin"));
    file->Close();
    file->Close();  // harmless
    char buffer[4];
    TarnIO::PathStats stats;
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"GetSize", [&] { file->GetSize(); }},
        {"GetPosition", [&] { file->GetPosition(); }},
        {"Seek", [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); }},  // before the origin
        {"Read", [&] { file->Read(buffer, 1); }},
        {"Write", [&] { file->Write("x", 1); }},
        {"Flush", [&] { file->Flush(); }},
        {"Query", [&] { file->Query(stats); }},
    };
    for (const auto& [operation, call] : rows)
        EXPECT_EQ(TarnTest::Thrown<TarnError::LogicError>(call),
                  this->Error(operation, "file not open; FileErrorCode=fileErrorNotOpen"));
}

// Release hands the object over unclosed; Attach (unless given the same object again) and Open
// (also when it fails) close what was held first: held.bin cannot be made anew while open.
TYPED_TEST(BackendTest, WhatIsHeldIsClosedWhenReplaced) {
    const std::wstring held = this->MakeFile(L"held.bin", "held"), missing = this->In(L"gone");
    const std::wstring wide = this->MakeFile(L"\u03a9\u4e2d.bin", "wide");  // no ANSI form
    const std::string narrow = TarnIO::Path(this->MakeFile(L"n.bin", "narrow")).AsNarrowString();
    char buffer[8] = {};
    auto file = this->Open(held);
    ASSERT_EQ(file->Read(buffer, 2), 2u);
    const auto raw = file->Release();
    file.reset();
    TypeParam owner;
    owner.Attach(raw), owner.Attach(raw);
    EXPECT_EQ(owner.Raw(), raw);
    EXPECT_EQ(std::string(buffer, owner.Read(buffer, sizeof buffer)), "ld");
    const auto replaced = [&](bool opened, const std::string& content) {
        std::string read;
        if (owner.IsOpen())
            owner.ReadAll(read);
        EXPECT_EQ(read, content);
        EXPECT_EQ(opened, !content.empty());
        this->MakeFile(L"held.bin", "held");
        owner.Attach(this->Open(held)->Release());
    };
    owner.Attach(this->Open(this->MakeFile(L"o.bin", "other"))->Release()), replaced(true, "other");
    replaced(owner.Open(narrow.c_str()), "narrow");
    replaced(owner.Open(wide.c_str()), "wide");
    replaced(owner.Open(TarnIO::Path(wide)), "wide");
    replaced(owner.Open(missing.c_str()), "");
    replaced(owner.Open(TarnIO::Path(missing)), "");
}

// A sparse file of 4 GiB + 1: sizes and positions past 32 bits. On 64 bits, transfers that no
// single system call takes or reports (ReadFile: 2^32, _read: INT_MAX) arrive whole: 4 GiB + 1
// through ReadAll, 3 GiB through one Read; the markers catch a piece put in the wrong place.
TYPED_TEST(BackendTest, FileLargerThanFourGigabytes) {
    const std::uint64_t size = 0x100000001, top = 0x100000000, start = 0x40000000;
    const std::pair<std::uint64_t, char> markers[] = {
        {0, 'a'},
        {0x7FFFFFFF, 'b'},
        {0x80000000, 'c'},
        {0xFFFFFFFF, 'd'},
        {top, 'e'},
    };
    const std::wstring path = this->In(L"huge.bin");
    {
        TarnIO::FileHandle h(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW);
        DWORD done = 0;  // sparse on Windows too: next to no disk
        ::DeviceIoControl(h.Raw(), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &done, nullptr);
        for (const auto& [offset, byte] : markers)
            EXPECT_EQ(h.WriteAt(offset, &byte, 1), 1u);
    }
    auto file = this->Open(path);
    EXPECT_EQ(file->GetSize(), size);
    if (sizeof(void*) == 8) {
        std::string all;
        ASSERT_EQ(file->ReadAll(all), size);
        for (const auto& [offset, byte] : markers)
            EXPECT_EQ(all.at(offset), byte) << offset;
        // Into the same memory: where the 3 GiB put the markers, ReadAll left zeros.
        ASSERT_EQ(file->Seek(static_cast<std::int64_t>(start), TarnIO::seekBegin), start);
        ASSERT_EQ(file->Read(&all[0], 0xC0000000), 0xC0000000u);
        for (const auto& [offset, byte] : markers)
            if (offset > start && offset < top) {
                EXPECT_EQ(all[offset - start], byte) << offset;
            }
    }
    EXPECT_EQ(file->Seek(-1, TarnIO::seekEnd), top);
    EXPECT_EQ(file->Write("E", 1), 1u);
    EXPECT_EQ(file->GetPosition(), size);
    EXPECT_EQ(file->Seek(-2, TarnIO::seekCurrent), top - 1);
    char buffer[4] = {};
    EXPECT_EQ(std::string(buffer, file->Read(buffer, 4)), "dE");
    EXPECT_EQ(std::string(buffer, file->ReadAt(top, buffer, 4)), "E");
    EXPECT_EQ(file->GetPosition(), size);
}

}  // namespace
