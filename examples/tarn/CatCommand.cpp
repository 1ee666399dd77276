// tarn cat: writes files to standard output through the backend chosen with
// --backend handle|fd|stdio, each in chunks of 1 MiB, so a file of any size
// passes without being held in memory whole.
#include "Backend.h"
#include "Commands.h"

#include <TarnIO/FileHandle.h>

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

namespace tarn {

namespace {

const std::size_t chunkSize = 1 << 20;

// Standard output as a FileHandle that borrows the process's handle: it is
// released, never closed, however the command ends.
class StandardOutput {
public:
    StandardOutput() : file(::GetStdHandle(STD_OUTPUT_HANDLE)) {}
    ~StandardOutput() { file.Release(); }

    // Write may take less than asked (a pipe, a console): go on until all is out.
    void WriteAll(const char* data, std::uint64_t size) {
        std::uint64_t done = 0;
        while (done < size) {
            std::uint64_t written = file.Write(data + done, size - done);
            if (written == 0)
                break;
            done += written;
        }
    }

private:
    TarnIO::FileHandle file;
};

}  // namespace

int CatCommand(const Args& args) {
    Args files = args;
    std::wstring backend = TakeBackendOption(files);
    if (files.empty())
        throw UsageError{"no file given"};

    StandardOutput out;
    std::vector<char> buffer(chunkSize);
    for (const std::wstring& path : files) {
        std::unique_ptr<TarnIO::File> file = OpenForReading(backend, path);
        while (std::uint64_t got = file->Read(buffer.data(), buffer.size()))
            out.WriteAll(buffer.data(), got);
    }
    return 0;
}

}  // namespace tarn
