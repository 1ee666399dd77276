#include "TarnIO/FileError.h"

#include "Throw.h"

#include <windows.h>

#include <cerrno>

namespace TarnIO {

namespace {

const char* const labels[] = {
    "fileErrorNone",          "fileErrorNotOpen",          "fileErrorInvalidState",
    "fileErrorTooManyOpenFiles", "fileErrorNotFound",      "fileErrorAccessDenied",
    "fileErrorReadOnly",      "fileErrorSharingViolation", "fileErrorNotEnoughSpace",
    "fileErrorExists",        "fileErrorUnsupportedFeature", "fileErrorUnknown",
};
static_assert(sizeof labels / sizeof labels[0] == fileErrorUnknown + 1, "one label per code");

}  // namespace

const char* GetFileErrorCodeLabel(FileErrorCode code) {
    unsigned index = static_cast<unsigned>(code);
    return index <= fileErrorUnknown ? labels[index] : labels[fileErrorUnknown];
}

FileErrorCode MapFileErrorWin32(unsigned long error) {
    switch (error) {
        case ERROR_SUCCESS:                 return fileErrorNone;              //   0
        case ERROR_FILE_NOT_FOUND:          return fileErrorNotFound;          //   2
        case ERROR_PATH_NOT_FOUND:          return fileErrorNotFound;          //   3
        case ERROR_TOO_MANY_OPEN_FILES:     return fileErrorTooManyOpenFiles;  //   4
        case ERROR_ACCESS_DENIED:           return fileErrorAccessDenied;      //   5
        case ERROR_INVALID_HANDLE:          return fileErrorNotOpen;           //   6
        case ERROR_INVALID_ACCESS:          return fileErrorAccessDenied;      //  12
        case ERROR_INVALID_DRIVE:           return fileErrorNotFound;          //  15
        case ERROR_WRITE_PROTECT:           return fileErrorReadOnly;          //  19
        case ERROR_NOT_READY:               return fileErrorAccessDenied;      //  21
        case ERROR_SHARING_VIOLATION:       return fileErrorSharingViolation;  //  32
        case ERROR_LOCK_VIOLATION:          return fileErrorSharingViolation;  //  33
        case ERROR_SHARING_BUFFER_EXCEEDED: return fileErrorSharingViolation;  //  36
        case ERROR_HANDLE_DISK_FULL:        return fileErrorNotEnoughSpace;    //  39
        case ERROR_REM_NOT_LIST:            return fileErrorNotFound;          //  51
        case ERROR_BAD_NETPATH:             return fileErrorNotFound;          //  53
        case ERROR_NETWORK_BUSY:            return fileErrorAccessDenied;      //  54
        case ERROR_DEV_NOT_EXIST:           return fileErrorNotFound;          //  55
        case ERROR_NETNAME_DELETED:         return fileErrorNotFound;          //  64
        case ERROR_NETWORK_ACCESS_DENIED:   return fileErrorAccessDenied;      //  65
        case ERROR_BAD_NET_NAME:            return fileErrorNotFound;          //  67
        case ERROR_FILE_EXISTS:             return fileErrorExists;            //  80
        case ERROR_CANNOT_MAKE:             return fileErrorAccessDenied;      //  82
        case ERROR_DISK_FULL:               return fileErrorNotEnoughSpace;    // 112
        case ERROR_BAD_PATHNAME:            return fileErrorNotFound;          // 161
        case ERROR_ALREADY_EXISTS:          return fileErrorExists;            // 183
        default:                            return fileErrorUnknown;
    }
}

FileErrorCode MapFileErrorErrno(int error) {
    switch (error) {
        case EPERM:        return fileErrorAccessDenied;      //  1
        case ENOENT:       return fileErrorNotFound;          //  2
        case ENXIO:        return fileErrorNotFound;          //  6
        case EBADF:        return fileErrorNotOpen;           //  9
        case EACCES:       return fileErrorAccessDenied;      // 13
        case EBUSY:        return fileErrorAccessDenied;      // 16
        case EEXIST:       return fileErrorExists;            // 17
        case ENODEV:       return fileErrorNotFound;          // 19
        case EISDIR:       return fileErrorNotFound;          // 21
        case ENFILE:       return fileErrorTooManyOpenFiles;  // 23
        case EMFILE:       return fileErrorTooManyOpenFiles;  // 24
        case EFBIG:        return fileErrorAccessDenied;      // 27
        case ENOSPC:       return fileErrorNotEnoughSpace;    // 28
        case EROFS:        return fileErrorReadOnly;          // 30
        case ENAMETOOLONG: return fileErrorNotFound;          // 38
        default:           return fileErrorUnknown;
    }
}

namespace detail {

std::string EscapeWide(const std::wstring& text) {
    return TarnError::UnicodeEscape(text.data(), static_cast<unsigned>(text.size()));
}

void ThrowInvalidArgument(const TarnError::Context& context, const char* name) {
    Throw<TarnError::InvalidArgument>("invalid argument", context,
                                      MakeErrorInfo<TarnError::ErrorInfo_invalidArgumentName>(name));
}

void ThrowInvalidArgument(const TarnError::Context& context, const char* name,
                          const std::string& filePath) {
    Throw<TarnError::InvalidArgument>("invalid argument", context,
                                      MakeErrorInfo<TarnError::ErrorInfo_invalidArgumentName>(name),
                                      MakeErrorInfo<ErrorInfo_filePath>(filePath));
}

void ThrowNotOpen(const TarnError::Context& context) {
    Throw<TarnError::LogicError>("file not open", context,
                                 MakeErrorInfo<ErrorInfo_FileErrorCode>(fileErrorNotOpen));
}

}  // namespace detail
}  // namespace TarnIO

namespace TarnError {

template <>
void RenderValue<TarnIO::ErrorInfo_FileErrorCode>(std::ostream& out,
                                                  const TarnIO::FileErrorCode& value) {
    out << TarnIO::GetFileErrorCodeLabel(value) << " (" << static_cast<int>(value) << ')';
}

template <>
void RenderValue<TarnIO::ErrorInfo_path>(std::ostream& out, const TarnIO::Path& value) {
    out << TarnIO::detail::EscapeWide(value.AsString());
}

// The members declared with TARNIO_API in the header are exported from here.
template class ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>;
template const TarnIO::Path& ErrorInfoWrapper<TarnIO::ErrorInfo_path>::GetValue() const;

}  // namespace TarnError
