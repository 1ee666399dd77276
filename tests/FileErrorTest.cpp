#include <TarnIO/FileError.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

using namespace TarnIO;

TEST(FileErrorTest, Labels) {
    const char* const expected[] = {
        "fileErrorNone",     "fileErrorNotOpen",          "fileErrorInvalidState",
        "fileErrorTooManyOpenFiles", "fileErrorNotFound", "fileErrorAccessDenied",
        "fileErrorReadOnly", "fileErrorSharingViolation", "fileErrorNotEnoughSpace",
        "fileErrorExists",   "fileErrorUnsupportedFeature", "fileErrorUnknown",
    };
    for (int value = 0; value < 12; ++value)
        EXPECT_STREQ(expected[value], GetFileErrorCodeLabel(static_cast<FileErrorCode>(value)))
            << value;
    for (int value : {12, 42, -1, 0x7FFFFFFF})
        EXPECT_STREQ("fileErrorUnknown", GetFileErrorCodeLabel(static_cast<FileErrorCode>(value)))
            << value;
}

TEST(FileErrorTest, Win32Translation) {
    struct Row {
        unsigned long error;
        FileErrorCode code;
    } rows[] = {
        {0, fileErrorNone}, {1, fileErrorUnknown}, {2, fileErrorNotFound}, {3, fileErrorNotFound},
        {4, fileErrorTooManyOpenFiles}, {5, fileErrorAccessDenied}, {6, fileErrorNotOpen},
        {7, fileErrorUnknown}, {12, fileErrorAccessDenied}, {15, fileErrorNotFound},
        {19, fileErrorReadOnly}, {21, fileErrorAccessDenied}, {32, fileErrorSharingViolation},
        {33, fileErrorSharingViolation}, {34, fileErrorUnknown}, {36, fileErrorSharingViolation},
        {39, fileErrorNotEnoughSpace}, {51, fileErrorNotFound}, {53, fileErrorNotFound},
        {54, fileErrorAccessDenied}, {55, fileErrorNotFound}, {64, fileErrorNotFound},
        {65, fileErrorAccessDenied}, {67, fileErrorNotFound}, {80, fileErrorExists},
        {82, fileErrorAccessDenied}, {112, fileErrorNotEnoughSpace}, {161, fileErrorNotFound},
        {183, fileErrorExists}, {184, fileErrorUnknown}, {0xFFFFFFFFul, fileErrorUnknown},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.code, MapFileErrorWin32(row.error)) << "Win32 error " << row.error;
}

TEST(FileErrorTest, ErrnoTranslation) {
    struct Row {
        int error;
        FileErrorCode code;
    } rows[] = {
        {0, fileErrorUnknown}, {-1, fileErrorUnknown}, {EPERM, fileErrorAccessDenied},
        {ENOENT, fileErrorNotFound}, {ENXIO, fileErrorNotFound}, {EBADF, fileErrorNotOpen},
        {EACCES, fileErrorAccessDenied}, {EBUSY, fileErrorAccessDenied},
        {EEXIST, fileErrorExists}, {ENODEV, fileErrorNotFound}, {EISDIR, fileErrorNotFound},
        {ENFILE, fileErrorTooManyOpenFiles}, {EMFILE, fileErrorTooManyOpenFiles},
        {EFBIG, fileErrorAccessDenied},
        {ENOSPC, fileErrorNotEnoughSpace}, {EROFS, fileErrorReadOnly},
        {ENAMETOOLONG, fileErrorNotFound}, {EINVAL, fileErrorUnknown}, {EIO, fileErrorUnknown},
    };
    for (const Row& row : rows)
        EXPECT_EQ(row.code, MapFileErrorErrno(row.error)) << "errno " << row.error;
    // The numbers the library's users see are the Microsoft C runtime's.
    EXPECT_EQ(21, EISDIR);
    EXPECT_EQ(38, ENAMETOOLONG);
}

TEST(FileErrorTest, DetailsRender) {
    struct Row {
        FileErrorCode code;
        const char* text;
    } rows[] = {
        {fileErrorNotFound, "fileErrorNotFound (4)"},
        {fileErrorAccessDenied, "fileErrorAccessDenied (5)"},
        {static_cast<FileErrorCode>(42), "fileErrorUnknown (42)"},
        {static_cast<FileErrorCode>(-3), "fileErrorUnknown (-3)"},
    };
    for (const Row& row : rows) {
        TarnError::ErrorInfoWrapper<ErrorInfo_FileErrorCode> info(row.code);
        std::ostringstream out;
        info.Render(out);
        EXPECT_EQ(row.text, out.str());
        EXPECT_STREQ("FileErrorCode", info.GetName());
        EXPECT_TRUE(info.GetType() == typeid(ErrorInfo_FileErrorCode));
    }

    TarnError::ErrorInfoWrapper<ErrorInfo_path> path(Path(L"C:\\caf\u00E9\\x"));
    std::ostringstream out;
    path.Render(out);
    EXPECT_EQ("C:\\caf\\u00E9\\x", out.str());
    EXPECT_EQ(L"C:\\caf\u00E9\\x", path.GetValue().AsString());
}
