// tarn mv: renames a file or directory with TarnIO::Path::Rename.
#include "Commands.h"

#include <TarnIO/Path.h>

namespace tarn {

int MvCommand(const Args& args) {
    if (args.size() != 2)
        throw UsageError{"give the old name and the new name"};
    // MoveFileW without flags: an existing target is never replaced, and the
    // failure (with its Win32 error) is reported by main.
    TarnIO::Path::Rename(TarnIO::Path(args[0]), TarnIO::Path(args[1]));
    Out(L"renamed " + args[0] + L" -> " + args[1] + L"\n");
    return 0;
}

}  // namespace tarn
