// File error codes and the details that TarnIO attaches to its errors.
//
// FileErrorCode is the library's portable classification of a failure; the
// system's own number travels beside it (TarnError::ErrorInfo_errno or
// TarnError::ErrorInfo_Win32Error), so a handler can act on the code and still
// log the exact cause:
//
//     catch (const TarnIO::FileOpenError& e) {
//         if (*e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>() == TarnIO::fileErrorNotFound) ...
//     }
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/Path.h"

#include <TarnError/Error.h>

#include <ostream>
#include <string>

namespace TarnIO {

enum FileErrorCode {
    fileErrorNone = 0,
    fileErrorNotOpen = 1,
    // Never produced by the translations or thrown by the library; for callers.
    fileErrorInvalidState = 2,
    fileErrorTooManyOpenFiles = 3,
    fileErrorNotFound = 4,
    fileErrorAccessDenied = 5,
    fileErrorReadOnly = 6,
    fileErrorSharingViolation = 7,
    fileErrorNotEnoughSpace = 8,
    fileErrorExists = 9,
    // Never produced by the translations or thrown by the library; for callers.
    fileErrorUnsupportedFeature = 10,
    fileErrorUnknown = 11,
};

// The enumerator's name as text ("fileErrorNotFound"); "fileErrorUnknown" for
// any value outside the enumeration. Static text; never fails.
TARNIO_API const char* GetFileErrorCodeLabel(FileErrorCode code);
// A Win32 error number (GetLastError) as a FileErrorCode; fileErrorUnknown for
// numbers the library does not classify. 0 gives fileErrorNone.
TARNIO_API FileErrorCode MapFileErrorWin32(unsigned long error);
// A C runtime errno value as a FileErrorCode; fileErrorUnknown for values the
// library does not classify, 0 and negative values included.
TARNIO_API FileErrorCode MapFileErrorErrno(int error);

// The FileErrorCode of a failure; renders as "fileErrorNotFound (4)".
struct ErrorInfo_FileErrorCode {
    typedef FileErrorCode value_type;
    static constexpr const char* name = "FileErrorCode";
};
// The path whose attributes could not be read; renders as its escaped text.
struct ErrorInfo_path {
    typedef Path value_type;
    static constexpr const char* name = "path";
};
// The name of the file that could not be opened, as narrow text: the narrow
// name as given, or the wide name escaped with TarnError::UnicodeEscape.
struct ErrorInfo_filePath {
    typedef std::string value_type;
    static constexpr const char* name = "filePath";
};

}  // namespace TarnIO

namespace TarnError {

template <>
TARNIO_API void RenderValue<TarnIO::ErrorInfo_FileErrorCode>(std::ostream& out,
                                                             const TarnIO::FileErrorCode& value);
template <>
TARNIO_API void RenderValue<TarnIO::ErrorInfo_path>(std::ostream& out, const TarnIO::Path& value);

// The DLL instantiates these wrappers. GCC exports none of the inline members
// of a class-level explicit instantiation, so each member that a program may
// call directly is declared again on its own; a program built without
// inlining (-O0) then links to the DLL's copies.
extern template class TARNIO_API ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>;
extern template TARNIO_INLINE_API
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::ErrorInfoWrapper(const TarnIO::FileErrorCode&);
extern template TARNIO_INLINE_API
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::~ErrorInfoWrapper();
extern template TARNIO_INLINE_API void
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::Render(std::ostream&) const;
extern template TARNIO_INLINE_API const std::type_info&
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::GetType() const;
extern template TARNIO_INLINE_API const char*
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::GetName() const;
extern template TARNIO_INLINE_API const TarnIO::FileErrorCode&
ErrorInfoWrapper<TarnIO::ErrorInfo_FileErrorCode>::GetValue() const;
// Only GetValue of the path's wrapper: what GetInfo<ErrorInfo_path> calls.
extern template TARNIO_INLINE_API const TarnIO::Path&
ErrorInfoWrapper<TarnIO::ErrorInfo_path>::GetValue() const;

}  // namespace TarnError
