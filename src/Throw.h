// The one way TarnIO builds and throws an error: message, the Context of the
// throw statement, and details attached in order, in a single statement:
//
//     DWORD error = ::GetLastError();
//     ThrowWin32<FileReadError>("unable to read file", TARNIO_HERE("TarnIO::FileHandle::Read"), error);
//
// Capture errno or GetLastError() into a local right after the failing call,
// before anything else can disturb it, and pass that local here.
#pragma once

#include "TarnIO/Error.h"
#include "TarnIO/FileError.h"

#include <TarnError/Error.h>

#include <memory>
#include <string>

// The Context of the statement where it stands. Each source file defines
// sourceFile as the name its errors report, such as ".\\FileHandle".
#define TARNIO_HERE(function) (::TarnError::Context{sourceFile, function, __LINE__})

namespace TarnIO {
namespace detail {

struct AttachTag {};
typedef TarnError::ErrorInfoAttacher<AttachTag> Attacher;

// A new detail of Record holding a copy of value.
template <class Record>
TarnError::ErrorInfoPtr MakeErrorInfo(const typename Record::value_type& value) {
    return std::make_shared<const TarnError::ErrorInfoWrapper<Record>>(value);
}

// The narrow, displayable text of a path for a detail (TarnError::UnicodeEscape).
std::string EscapeWide(const std::wstring& text);

template <class E, class... Infos>
[[noreturn]] void Throw(const char* message, const TarnError::Context& context,
                        const Infos&... infos) {
    E error(message, context);
    (Attacher::Attach(error, infos), ...);
    throw error;
}

// A failed Win32 call: FileErrorCode, then the Win32 error.
template <class E>
[[noreturn]] void ThrowWin32(const char* message, const TarnError::Context& context,
                             unsigned long error) {
    Throw<E>(message, context, MakeErrorInfo<ErrorInfo_FileErrorCode>(MapFileErrorWin32(error)),
             MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(error));
}

// The same for an opening constructor, with the file name last.
template <class E>
[[noreturn]] void ThrowWin32(const char* message, const TarnError::Context& context,
                             unsigned long error, const std::string& filePath) {
    Throw<E>(message, context, MakeErrorInfo<ErrorInfo_FileErrorCode>(MapFileErrorWin32(error)),
             MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(error),
             MakeErrorInfo<ErrorInfo_filePath>(filePath));
}

// A failed Win32 call on a path (making, removing, replacing): FileErrorCode,
// the Win32 error, then the path concerned.
template <class E>
[[noreturn]] void ThrowWin32Path(const char* message, const TarnError::Context& context,
                                 unsigned long error, const Path& path) {
    Throw<E>(message, context, MakeErrorInfo<ErrorInfo_FileErrorCode>(MapFileErrorWin32(error)),
             MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(error),
             MakeErrorInfo<ErrorInfo_path>(path));
}

// A failed C runtime call: FileErrorCode, then errno.
template <class E>
[[noreturn]] void ThrowErrno(const char* message, const TarnError::Context& context, int error) {
    Throw<E>(message, context, MakeErrorInfo<ErrorInfo_FileErrorCode>(MapFileErrorErrno(error)),
             MakeErrorInfo<TarnError::ErrorInfo_errno>(error));
}

// The same for an opening constructor, with the file name last.
template <class E>
[[noreturn]] void ThrowErrno(const char* message, const TarnError::Context& context, int error,
                             const std::string& filePath) {
    Throw<E>(message, context, MakeErrorInfo<ErrorInfo_FileErrorCode>(MapFileErrorErrno(error)),
             MakeErrorInfo<TarnError::ErrorInfo_errno>(error),
             MakeErrorInfo<ErrorInfo_filePath>(filePath));
}

// TarnError::InvalidArgument "invalid argument" naming the argument.
[[noreturn]] void ThrowInvalidArgument(const TarnError::Context& context, const char* name);
[[noreturn]] void ThrowInvalidArgument(const TarnError::Context& context, const char* name,
                                       const std::string& filePath);

// TarnError::LogicError "file not open" with fileErrorNotOpen: the body of
// every backend's VerifyOpen.
[[noreturn]] void ThrowNotOpen(const TarnError::Context& context);

}  // namespace detail
}  // namespace TarnIO
