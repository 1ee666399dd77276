// Copies the six fields of a WIN32_FILE_ATTRIBUTE_DATA from any system
// structure that carries them under the same names (WIN32_FIND_DATAW,
// BY_HANDLE_FILE_INFORMATION): the one way every Query fills a snapshot.
#pragma once

#include <windows.h>

namespace TarnIO {
namespace detail {

template <class Source>
void CopyAttributeData(WIN32_FILE_ATTRIBUTE_DATA& data, const Source& source) {
    data.dwFileAttributes = source.dwFileAttributes;
    data.ftCreationTime = source.ftCreationTime;
    data.ftLastAccessTime = source.ftLastAccessTime;
    data.ftLastWriteTime = source.ftLastWriteTime;
    data.nFileSizeHigh = source.nFileSizeHigh;
    data.nFileSizeLow = source.nFileSizeLow;
}

}  // namespace detail
}  // namespace TarnIO
