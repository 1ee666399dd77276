#include "Backend.h"

#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/StdFile.h>

#include <windows.h>

namespace tarn {

std::wstring TakeBackendOption(Args& args) {
    std::wstring backend = L"handle";
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] != L"--backend")
            continue;
        if (i + 1 == args.size())
            throw UsageError{"--backend needs a name (handle, fd or stdio)"};
        backend = args[i + 1];
        args.erase(args.begin() + static_cast<std::ptrdiff_t>(i),
                   args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        --i;
    }
    if (backend != L"handle" && backend != L"fd" && backend != L"stdio")
        throw UsageError{"unknown backend (known: handle, fd, stdio)"};
    return backend;
}

std::unique_ptr<TarnIO::File> OpenForReading(const std::wstring& backend,
                                             const std::wstring& path) {
    TarnIO::Path name(path);
    if (backend == L"fd")
        return std::make_unique<TarnIO::FileDescriptor>(name, _O_RDONLY | _O_BINARY, _SH_DENYWR);
    if (backend == L"stdio")
        return std::make_unique<TarnIO::StdFile>(name, L"rb", _SH_DENYWR);
    return std::make_unique<TarnIO::FileHandle>(name, GENERIC_READ, FILE_SHARE_READ);
}

std::unique_ptr<TarnIO::File> CreateForWriting(const std::wstring& backend,
                                               const std::wstring& path) {
    TarnIO::Path name(path);
    if (backend == L"fd")
        return std::make_unique<TarnIO::FileDescriptor>(
            name, _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
    if (backend == L"stdio")
        return std::make_unique<TarnIO::StdFile>(name, L"wb", _SH_DENYRW);
    return std::make_unique<TarnIO::FileHandle>(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS);
}

}  // namespace tarn
