// What only FileHandle does: Stat, and a null handle that counts as open. What all backends
// share: BackendTypedTest.cpp.
#include "TestSupport.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileHandle.h>

using TarnIO::FileHandle;

typedef TarnTest::TempDirTest FileHandleTest;

TEST_F(FileHandleTest, Stat) {
    FileHandle file(MakeFile(L"data.bin", "0123456789").c_str());
    BY_HANDLE_FILE_INFORMATION info = {};
    file.Stat(info);
    EXPECT_EQ(10u, info.nFileSizeLow);
    // A null handle is open: the system refuses it. A closed object refuses before the system.
    FileHandle null(static_cast<HANDLE>(nullptr));
    EXPECT_EQ(".\\FileHandle TarnIO::FileHandle::Stat: unable to stat file; "
              "FileErrorCode=fileErrorNotOpen; Win32Error=6",
              TarnTest::Thrown<TarnIO::FileError>([&] { null.Stat(info); }));
    file.Close();
    EXPECT_EQ(".\\FileHandle TarnIO::FileHandle::Stat: file not open; "
              "FileErrorCode=fileErrorNotOpen",
              TarnTest::Thrown<TarnError::LogicError>([&] { file.Stat(info); }));
}
