// tarn cat: writes files to standard output, each read whole with
// Stream::ReadAll through the backend chosen with --backend handle|fd|stdio.
#include "Backend.h"
#include "Commands.h"

#include <TarnIO/FileHandle.h>

#include <windows.h>

#include <memory>
#include <string>

namespace tarn {

namespace {

// Standard output as a FileHandle that borrows the process's handle: it is
// released, never closed, however the command ends.
class StandardOutput {
public:
    StandardOutput() : file(::GetStdHandle(STD_OUTPUT_HANDLE)) {}
    ~StandardOutput() { file.Release(); }

    // Write may take less than asked (a pipe, a console): go on until all is out.
    void WriteAll(const std::string& data) {
        std::uint64_t done = 0;
        while (done < data.size()) {
            std::uint64_t written = file.Write(data.data() + done, data.size() - done);
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
    for (const std::wstring& path : files) {
        std::unique_ptr<TarnIO::File> file = OpenForReading(backend, path);
        std::string data;
        file->ReadAll(data);
        out.WriteAll(data);
    }
    return 0;
}

}  // namespace tarn
