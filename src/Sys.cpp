#include "Sys.h"

#include "Bindings.h"

// GetVersionExA is deprecated for applications; the library still asks it
// whether it runs on an NT-family system.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace TarnIO {
namespace sys {

// The bound entries, in the order of TARNIO_BOUND_CALLS (each has a type of
// its own, so a slip does not compile), forward to the one-time bindings,
// which bind nothing before the library first needs them.
#define TARNIO_SYSTEM_CALL_REAL(name) &::name,
const Table realTable = {
    TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_REAL)
    // TARNIO_FIRST_CALLS, in order (their types differ, so a slip does not compile).
    &bind::CallCreateFileW, &bind::CallGetFileAttributesW, &bind::CallFindFirstFileW,
    &bind::CallFindNextFileW, &bind::CallGetBinaryTypeW, &bind::CallMoveFileW,
    &bind::CallGetCurrentDirectoryW, &bind::CallGetEnvironmentVariableW, &bind::CallFopenS,
    &bind::CallCreateDirectoryW, &bind::CallRemoveDirectoryW, &bind::CallDeleteFileW,
    &bind::CallSetFileAttributesW, &bind::CallMoveFileExW, &bind::CallGetFullPathNameW,
    &bind::CallGetFileSizeEx, &bind::CallSetFilePointerEx, &bind::CallNtQueryInformationFile,
    &bind::CallWsopen, &bind::CallWfopen, &bind::CallWfsopen,
};
#undef TARNIO_SYSTEM_CALL_REAL
Table table = realTable;

}  // namespace sys
}  // namespace TarnIO
