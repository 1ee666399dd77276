#include "Sys.h"

// GetVersionExA is deprecated for applications; the library still asks it
// whether it runs on an NT-family system.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace TarnIO {
namespace sys {

#define TARNIO_SYSTEM_CALL_REAL(name) &::name,
const Table realTable = {TARNIO_SYSTEM_CALLS(TARNIO_SYSTEM_CALL_REAL)};
Table table = realTable;
#undef TARNIO_SYSTEM_CALL_REAL

}  // namespace sys
}  // namespace TarnIO
