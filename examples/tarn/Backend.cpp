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
    // Sharing reads, writes and deletion, so that a file another program
    // holds open (a log being written) can be read. The C runtime's opens
    // cannot share deletion: its backends take over a handle opened so.
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    auto handle = std::make_unique<TarnIO::FileHandle>(TarnIO::Path(path), GENERIC_READ, shareAll);
    if (backend == L"handle")
        return handle;
    auto descriptor =
        std::make_unique<TarnIO::FileDescriptor>(handle->Raw(), _O_RDONLY | _O_BINARY);
    handle->Release();
    if (backend == L"fd")
        return descriptor;
    auto stream = std::make_unique<TarnIO::StdFile>(descriptor->Raw(), "rb");
    descriptor->Release();
    return stream;
}

}  // namespace tarn
