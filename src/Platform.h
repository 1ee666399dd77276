// Platform facts shared by the backends that open files by wide name.
#pragma once

namespace TarnUtil {
class Module;
}

namespace TarnIO {
namespace detail {

// The C runtime this library is linked against. Its wide open functions are
// bound from this very module: a descriptor or FILE* made by another C
// runtime DLL would mean nothing to our own _read or fread.
#if defined(_UCRT)
constexpr const char* runtimeModuleName = "ucrtbase";
#elif defined(__MSVCRT_VERSION__) && __MSVCRT_VERSION__ == 0x800
constexpr const char* runtimeModuleName = "msvcr80";
#else
constexpr const char* runtimeModuleName = "msvcrt";
#endif

// GetVersionExA reports an NT-family platform (not Win32s, not 95/98/Me);
// false when the call fails.
bool IsWindowsNT();

// The process-wide module object of the C runtime above, loaded at first use
// and released when the library is unloaded.
TarnUtil::Module& GetRuntimeModule();

}  // namespace detail
}  // namespace TarnIO
