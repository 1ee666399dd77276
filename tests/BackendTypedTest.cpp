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
using TarnTest::Thrown;

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
    // An error of operation op as one line (FileHandle's GetPosition is a seek by 0).
    static std::string Error(std::string op, const std::string& text) {
        op = op == "GetPosition" && nameOf<T> == "FileHandle" ? "Seek" : op;
        return ".\\" + nameOf<T> + " TarnIO::" + nameOf<T> + "::" + op + ": " + text;
    }
};

typedef ::testing::Types<TarnIO::FileHandle, FileDescriptor, StdFile> Backends;
TYPED_TEST_SUITE(BackendTest, Backends);

TYPED_TEST(BackendTest, EveryOperationOpenAndClosed) {
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
    const auto badOrigin = [&] { file->Seek(0, static_cast<TarnIO::SeekOrigin>(3)); };
    EXPECT_EQ(Thrown<TarnError::InvalidArgument>(badOrigin),
              this->Error("Seek", "invalid argument; invalidArgumentName=origin"));
    std::string out = "+";
    EXPECT_EQ(file->ReadAll(out), 7u);
    EXPECT_EQ(out, "+3456789");
    EXPECT_EQ(file->WriteAt(10, "Z", 1), 1u);  // past the end: grows the file
    EXPECT_EQ(file->Seek(0, TarnIO::seekBegin), 0u);
    EXPECT_EQ(file->Write("AB", 2), 2u);
    file->Flush();
    EXPECT_EQ(this->ReadBack(path), "AB23456789Z");
    // Query sees what the system sees, and gives back the object it borrowed.
    TarnIO::PathStats stats;
    ASSERT_TRUE(file->Query(stats));
    EXPECT_EQ(stats.GetFileSize(), 11u);
    EXPECT_EQ(stats.GetAttributes(), ::GetFileAttributesW(path.c_str()));
    EXPECT_EQ(std::string(buffer, file->Read(buffer, 2)), "23");
    file->Close();
    file->Close();  // harmless
    // Closed, every operation refuses first (before the origin, for one).
    const std::pair<const char*, std::function<void()>> rows[] = {
        {"GetSize", [&] { file->GetSize(); }},
        {"GetPosition", [&] { file->GetPosition(); }},
        {"Seek", badOrigin},
        {"Read", [&] { file->Read(buffer, 1); }},
        {"Write", [&] { file->Write("x", 1); }},
        {"Flush", [&] { file->Flush(); }},
        {"Query", [&] { file->Query(stats); }},
    };
    for (const auto& [operation, call] : rows)
        EXPECT_EQ(Thrown<TarnError::LogicError>(call),
                  this->Error(operation, "file not open; FileErrorCode=fileErrorNotOpen"));
}

// Attach and Open close what was held first (held.bin cannot be made anew while open), Open
// also when it fails, Attach unless given it again; Release hands it over unclosed.
TYPED_TEST(BackendTest, WhatIsHeldIsClosedWhenReplaced) {
    const std::wstring held = this->MakeFile(L"held.bin");
    const std::wstring wide = this->MakeFile(L"\u03a9\u4e2d.bin", "wide");  // no ANSI form
    TypeParam owner;
    const auto replaced = [&](bool opened, const std::string& content) {
        std::string read;
        if (opened)
            owner.ReadAll(read);
        EXPECT_EQ(read, content);
        this->MakeFile(L"held.bin", "held");
        owner.Attach(this->Open(held)->Release());
        owner.Attach(owner.Raw());
        EXPECT_EQ(owner.ReadAll(read), 4u);
    };
    replaced(false, "");
    replaced(owner.Open(TarnIO::Path(this->MakeFile(L"n", "n")).AsNarrowString().c_str()), "n");
    replaced(owner.Open(wide.c_str()), "wide");
    replaced(owner.Open(TarnIO::Path(wide)), "wide");
    replaced(owner.Open(this->In(L"gone").c_str()), "");
    owner.Attach(this->Open(this->MakeFile(L"o", "o"))->Release()), replaced(true, "o");
}

// Sizes and positions past 32 bits; on 64 bits, 4 GiB + 1 read in one Read, more than one system
// call takes (ReadFile: 2^32 - 1, _read: INT_MAX): the markers catch a misplaced piece.
TYPED_TEST(BackendTest, FileLargerThanFourGigabytes) {
    const std::uint64_t top = 0x100000000;
    const std::pair<std::uint64_t, char> markers[] = {
        {0, 'a'},
        {0x7FFFFFFF, 'b'},
        {0x80000000, 'c'},
        {0xFFFFFFFF, 'd'},
        {top, 'e'},
    };
    const std::wstring path = this->MakeFile(L"huge.bin");
    DWORD done = 0;  // sparse on Windows too: next to no disk
    ::DeviceIoControl(TarnIO::FileHandle(path.c_str(), GENERIC_WRITE).Raw(), FSCTL_SET_SPARSE,
                      nullptr, 0, nullptr, 0, &done, nullptr);
    auto file = this->Open(path);
    for (const auto& [offset, byte] : markers)
        EXPECT_EQ(file->WriteAt(offset, &byte, 1), 1u);
    EXPECT_EQ(file->GetSize(), top + 1);
    if (sizeof(void*) == 8) {
        std::string all;
        ASSERT_EQ(file->ReadAll(all), top + 1);
        for (const auto& [offset, byte] : markers)
            EXPECT_EQ(all[offset], byte) << offset;
    }
    EXPECT_EQ(file->Seek(-2, TarnIO::seekEnd), top - 1);
    char buffer[4] = {};
    EXPECT_EQ(std::string(buffer, file->Read(buffer, 4)), "de");
    EXPECT_EQ(file->Seek(-1, TarnIO::seekCurrent), top);
    EXPECT_EQ(std::string(buffer, file->ReadAt(0, buffer, 1)), "a");
    EXPECT_EQ(file->GetPosition(), top);
}

}  // namespace
