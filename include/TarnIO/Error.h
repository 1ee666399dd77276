// The exception classes of TarnIO.
//
// Every failure of the system or the C runtime underneath a file or path
// operation is thrown as one of these, all rooted in TarnError::RuntimeError:
//
//     TarnIO::Error                 failures with no narrower class (renaming)
//       FileError                   size, position, seek, stat
//         FileOpenError             opening a file
//         FileReadError             reading
//         FileWriteError            writing, flushing
//       PathError                   querying the attributes of a path
//
// Misuse (a bad argument, a file that is not open, a snapshot never filled)
// is thrown as TarnError::InvalidArgument or TarnError::LogicError instead,
// which a handler for TarnIO::Error does not catch.
//
// The classes hold no data of their own: message, throw site and details live
// in TarnError::RuntimeError, so copying by any base copies everything.
// Clone and Rethrow keep the dynamic class.
#pragma once

#include "TarnIO/Export.h"

#include <TarnError/Error.h>

#include <string>

namespace TarnIO {

// Failures with no narrower class; thrown directly by Path::Rename.
class TARNIO_API Error : public TarnError::RuntimeError {
public:
    Error(const std::string& message, const TarnError::Context& context);
    Error(const Error& other);
    Error& operator=(const Error& other);
    ~Error() override;
    Error* Clone() const override;
    void Rethrow() const override;
};

// File operations other than open, read and write: size, position, seek, stat.
class TARNIO_API FileError : public Error {
public:
    FileError(const std::string& message, const TarnError::Context& context);
    FileError(const FileError& other);
    FileError& operator=(const FileError& other);
    ~FileError() override;
    FileError* Clone() const override;
    void Rethrow() const override;
};

// Opening a file.
class TARNIO_API FileOpenError : public FileError {
public:
    FileOpenError(const std::string& message, const TarnError::Context& context);
    FileOpenError(const FileOpenError& other);
    FileOpenError& operator=(const FileOpenError& other);
    ~FileOpenError() override;
    FileOpenError* Clone() const override;
    void Rethrow() const override;
};

// Reading a file.
class TARNIO_API FileReadError : public FileError {
public:
    FileReadError(const std::string& message, const TarnError::Context& context);
    FileReadError(const FileReadError& other);
    FileReadError& operator=(const FileReadError& other);
    ~FileReadError() override;
    FileReadError* Clone() const override;
    void Rethrow() const override;
};

// Writing a file and flushing its buffers.
class TARNIO_API FileWriteError : public FileError {
public:
    FileWriteError(const std::string& message, const TarnError::Context& context);
    FileWriteError(const FileWriteError& other);
    FileWriteError& operator=(const FileWriteError& other);
    ~FileWriteError() override;
    FileWriteError* Clone() const override;
    void Rethrow() const override;
};

// Querying the attributes of a path.
class TARNIO_API PathError : public Error {
public:
    PathError(const std::string& message, const TarnError::Context& context);
    PathError(const PathError& other);
    PathError& operator=(const PathError& other);
    ~PathError() override;
    PathError* Clone() const override;
    void Rethrow() const override;
};

}  // namespace TarnIO
