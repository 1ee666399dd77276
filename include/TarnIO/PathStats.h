// PathStats: a snapshot of one file-system object's attributes, size and
// times, taken by a Query operation (Path, PathIterator, FileHandle,
// FileDescriptor, StdFile). It never asks the system anything itself.
//
// A snapshot is in one of three states: not queried, query failed (holding
// the Win32 error), or valid. Every accessor but Exists, GetQueryError and the
// state changes checks first and throws when there is no data:
// TarnError::LogicError "path attributes not queried" when it was never
// filled, PathError "unable to query path attributes" with the Win32 error
// when the query failed. The error names the accessor that was called.
#pragma once

#include "TarnIO/Export.h"

#include <TarnError/Error.h>
#include <TarnUtil/Time.h>

#include <windows.h>

#include <cstdint>

namespace TarnIO {

class Path;
class PathIterator;
class FileHandle;

class TARNIO_API PathStats {
public:
    // Not queried.
    PathStats();
    // A valid snapshot of the given data, as a query would have filled it; for
    // callers that hold attribute data of their own. reparseTag counts only
    // when the attributes have FILE_ATTRIBUTE_REPARSE_POINT.
    static PathStats FromAttributeData(const WIN32_FILE_ATTRIBUTE_DATA& data,
                                       unsigned long reparseTag);

    // Back to the not-queried state.
    void Reset();
    // Whether the last query succeeded. Never throws.
    bool Exists() const { return exists; }
    // The Win32 error of the last failed query; 0 when valid or not queried.
    // Never throws.
    unsigned long GetQueryError() const { return lastError; }

    std::uint64_t GetFileSize() const;
    bool IsDirectory() const;
    // Neither a directory, nor a device, nor a reparse point.
    bool IsFile() const;
    bool IsReadOnly() const;
    bool IsHidden() const;
    bool IsSystem() const;
    bool IsArchive() const;
    bool IsDevice() const;
    bool IsReparsePoint() const;
    bool IsCompressed() const;
    bool IsEncrypted() const;
    // A reparse point with the symbolic-link tag (IO_REPARSE_TAG_SYMLINK).
    bool IsSymlink() const;
    // The raw FILE_ATTRIBUTE_* bits and reparse tag (0 when unknown).
    unsigned long GetAttributes() const;
    unsigned long GetReparseTag() const;
    TarnUtil::Time GetCreateTime() const;
    TarnUtil::Time GetAccessTime() const;
    TarnUtil::Time GetModifyTime() const;

private:
    friend class Path;
    friend class PathIterator;
    friend class FileHandle;

    void Verify(const TarnError::Context& context) const;

    unsigned long lastError;
    WIN32_FILE_ATTRIBUTE_DATA attributeData;
    unsigned long reparseTag;
    bool exists;
};

}  // namespace TarnIO
