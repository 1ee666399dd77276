// The system's full path name of a path (GetFullPathNameW), shared by
// Path::Extended and the root check of Path::RemoveTree.
#pragma once

#include <string>

namespace TarnIO {
namespace detail {

// GetFullPathNameW, sized again with what the system asks for while the
// buffer is too small. NO_ERROR with the name in full, or the Win32 error
// (full is then left unspecified).
unsigned long FullPathName(const std::wstring& path, std::wstring& full);

}  // namespace detail
}  // namespace TarnIO
