// tarn rm: removes files with TarnIO::Path::RemoveFile, or directories with
// everything below them (-r, Path::RemoveTree, which removes a junction or
// symbolic link as a link and never what it points to).
#include "Commands.h"

#include <TarnIO/Path.h>

#include <stdexcept>

namespace tarn {

int RmCommand(const Args& args) {
    bool tree = false;
    Args paths;
    for (const std::wstring& arg : args)
        arg == L"-r" ? void(tree = true) : paths.push_back(arg);
    if (paths.empty())
        throw UsageError{"nothing to remove given"};
    for (const std::wstring& name : paths) {
        const TarnIO::Path path(name);
        if (!tree && path.Exists() && path.IsDirectory())
            throw std::runtime_error("a directory (rm -r removes it and all it holds): " +
                                     path.AsNarrowString());
        if (!(tree ? path.RemoveTree() : path.RemoveFile()))
            throw std::runtime_error("no such file or directory: " + path.AsNarrowString());
        Out(L"removed " + name + L"\n");
    }
    return 0;
}

}  // namespace tarn
