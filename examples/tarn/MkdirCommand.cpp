// tarn mkdir: makes directories with TarnIO::Path::CreateDir, or with every
// missing parent (-p, Path::CreateDirs, which accepts one that exists).
#include "Commands.h"

#include <TarnIO/Path.h>

#include <stdexcept>

namespace tarn {

int MkdirCommand(const Args& args) {
    bool parents = false;
    Args directories;
    for (const std::wstring& arg : args)
        arg == L"-p" ? void(parents = true) : directories.push_back(arg);
    if (directories.empty())
        throw UsageError{"no directory given"};
    for (const std::wstring& directory : directories) {
        const TarnIO::Path path(directory);
        if (parents ? path.CreateDirs() : path.CreateDir())
            Out(L"made " + directory + L"\n");
        else if (!parents)
            throw std::runtime_error("already exists: " + path.AsNarrowString());
    }
    return 0;
}

}  // namespace tarn
