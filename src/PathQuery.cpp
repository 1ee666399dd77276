// Path: the questions a path puts to the file system. The wide text goes to
// the system as it stands; nothing here normalizes it or makes it absolute.
#include "TarnIO/Path.h"

#include "TarnIO/PathStats.h"

#include "AttributeData.h"
#include "ScopedFind.h"
#include "Sys.h"
#include "Throw.h"

namespace TarnIO {

namespace {

const char* const sourceFile = ".\\Path";

// The modes of _waccess: 0 existence, 2 write, 4 read, 6 both.
static_assert(Path::accessExists == 0 && Path::accessWrite == 2 && Path::accessRead == 4,
              "AccessMask bits are the modes _waccess takes");

}  // namespace

bool Path::Exists() const { return sys::_waccess(path.c_str(), 0) != -1; }

bool Path::IsReadable() const { return sys::_waccess(path.c_str(), 4) != -1; }

bool Path::IsWritable() const { return sys::_waccess(path.c_str(), 2) != -1; }

bool Path::Access(AccessMask mask) const {
    // Only the read and write bits reach _waccess: the C runtime rejects a
    // mode with any other bit (EINVAL), and 0x1 (execute) is not a mode it
    // knows on Windows.
    const int mode = (mask & accessRead ? 4 : 0) + (mask & accessWrite ? 2 : 0);
    return sys::_waccess(path.c_str(), mode) != -1;
}

bool Path::GetAttribs(WIN32_FILE_ATTRIBUTE_DATA& data, unsigned long* reparseTag) const {
    // GetFileAttributesW tells whether the path names anything at all (a
    // pattern such as "dir\*" does not); the data then comes from a search
    // for the path, the one call that also reports the reparse tag.
    if (sys::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
        return false;
    WIN32_FIND_DATAW found;
    detail::ScopedFind find(sys::FindFirstFileW(path.c_str(), &found));
    if (!find.IsValid())
        return false;
    detail::CopyAttributeData(data, found);
    // dwReserved0 holds the tag only for a reparse point; otherwise it is junk.
    if (reparseTag)
        *reparseTag =
            (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? found.dwReserved0 : 0;
    return true;
}

bool Path::GetAttribs(unsigned long& attributes) const {
    const DWORD value = sys::GetFileAttributesW(path.c_str());
    if (value == INVALID_FILE_ATTRIBUTES)
        return false;
    attributes = value;
    return true;
}

unsigned long Path::GetAttribsThrow() const {
    unsigned long attributes = 0;
    if (GetAttribs(attributes))
        return attributes;
    const DWORD error = ::GetLastError();  // GetAttribs returns straight after the failed call
    detail::Throw<PathError>("unable to query path attributes",
                             TARNIO_HERE("TarnIO::Path::GetAttribsThrow"),
                             detail::MakeErrorInfo<ErrorInfo_path>(*this),
                             detail::MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(error));
}

bool Path::Query(PathStats& stats) const {
    // A failed query writes neither the data nor the tag: GetAttribs fills
    // them only once both calls have succeeded.
    if (!GetAttribs(stats.attributeData, &stats.reparseTag)) {
        // GetAttribs returns straight after the failing call, so the last
        // error is still that call's.
        stats.lastError = ::GetLastError();
        stats.exists = false;
        return false;
    }
    stats.lastError = 0;
    stats.exists = true;
    return true;
}

bool Path::IsDirectory() const { return (GetAttribsThrow() & FILE_ATTRIBUTE_DIRECTORY) != 0; }

bool Path::IsFile() const {
    return (GetAttribsThrow() & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

bool Path::IsExecutable() const {
    DWORD type = 0;
    return sys::GetBinaryTypeW(path.c_str(), &type) != 0;
}

// The snapshot's own accessor reports a failed query, with its own name.
unsigned long long Path::GetFileSize() const {
    PathStats stats;
    Query(stats);
    return stats.GetFileSize();
}

TarnUtil::Time Path::GetCreateTime() const {
    PathStats stats;
    Query(stats);
    return stats.GetCreateTime();
}

TarnUtil::Time Path::GetAccessTime() const {
    PathStats stats;
    Query(stats);
    return stats.GetAccessTime();
}

TarnUtil::Time Path::GetModifyTime() const {
    PathStats stats;
    Query(stats);
    return stats.GetModifyTime();
}

void Path::Rename(const Path& from, const Path& to) {
    if (sys::MoveFileW(from.path.c_str(), to.path.c_str()))
        return;
    const DWORD error = ::GetLastError();
    detail::Throw<Error>("unable to rename file", TARNIO_HERE("TarnIO::Path::Rename"),
                         detail::MakeErrorInfo<TarnError::ErrorInfo_Win32Error>(error));
}

}  // namespace TarnIO
