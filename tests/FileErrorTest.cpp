#include <TarnIO/FileError.h>

#include <gtest/gtest.h>

#include <sstream>

using namespace TarnIO;

// A row per code translated to; numbers as the system and the C runtime report them.
TEST(FileErrorTest, Translations) {
    const struct Row {
        unsigned long win32;
        int errnoValue;
        FileErrorCode code;
    } rows[] = {
        {2, 2, fileErrorNotFound},
        {5, 13, fileErrorAccessDenied},
        {6, 9, fileErrorNotOpen},
        {4, 24, fileErrorTooManyOpenFiles},
        {19, 30, fileErrorReadOnly},
        {112, 28, fileErrorNotEnoughSpace},
        {183, 17, fileErrorExists},
        {1, 0, fileErrorUnknown},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(row.code, MapFileErrorWin32(row.win32)) << row.win32;
        EXPECT_EQ(row.code, MapFileErrorErrno(row.errnoValue)) << row.errnoValue;
    }
    EXPECT_EQ(fileErrorNone, MapFileErrorWin32(0));
    EXPECT_EQ(fileErrorSharingViolation, MapFileErrorWin32(32));
}

TEST(FileErrorTest, CodesAndPathsRender) {
    std::ostringstream out;
    for (int code : {11, 12, -3})  // past the last label: unknown, with the number
        TarnError::ErrorInfoWrapper<ErrorInfo_FileErrorCode>(FileErrorCode(code)).Render(out);
    TarnError::ErrorInfoWrapper<ErrorInfo_path>(Path(L"C:\\caf\u00E9")).Render(out);
    EXPECT_EQ("fileErrorUnknown (11)fileErrorUnknown (12)fileErrorUnknown (-3)C:\\caf\\u00E9",
              out.str());
}
