// tarn cp: copies a file in chunks, reading through the backend chosen with
// --backend handle|fd|stdio and writing through a TarnIO::AtomicFile, through
// the File interface only. Large copies show their progress on standard
// error. The destination is replaced only by a complete copy: one that fails
// or is interrupted (Ctrl-C) leaves it as it was.
#include "Backend.h"
#include "Commands.h"

#include <TarnIO/AtomicFile.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>

#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tarn {

namespace {

const std::size_t chunkSize = 1 << 20;

// Set by Ctrl-C or Ctrl-Break: the copy stops after its chunk and throws, so
// the destination's temporary is removed on the way out.
volatile LONG interrupted = 0;
BOOL WINAPI Interrupt(DWORD) { return ::InterlockedExchange(&interrupted, 1), TRUE; }
struct InterruptHandler {
    InterruptHandler() { ::SetConsoleCtrlHandler(Interrupt, TRUE); }
    ~InterruptHandler() { ::SetConsoleCtrlHandler(Interrupt, FALSE); }
};
// Smaller files are done before a progress line would be worth reading.
const std::uint64_t progressThreshold = 8ull << 20;

// Whether a and b name the same existing file (same volume, same file
// index), however they are spelt: copying a file onto itself would empty it
// before reading it.
bool SameFile(const std::wstring& a, const std::wstring& b) {
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    TarnIO::FileHandle first;
    TarnIO::FileHandle second;
    if (!first.Open(a.c_str(), 0, shareAll) || !second.Open(b.c_str(), 0, shareAll))
        return false;
    BY_HANDLE_FILE_INFORMATION x;
    BY_HANDLE_FILE_INFORMATION y;
    first.Stat(x);
    second.Stat(y);
    return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

std::wstring Mebibytes(double bytes) {
    wchar_t text[32];
    swprintf(text, 32, L"%.1f MiB", bytes / (1024.0 * 1024.0));
    return text;
}

// "\r  12.0 MiB of 80.0 MiB (15%), 35.2 MiB/s", rewritten in place at most a
// few times a second; the last call ends the line.
class Progress {
public:
    explicit Progress(std::uint64_t total)
        : total(total), shown(total >= progressThreshold), start(::GetTickCount64()),
          lastShown(start) {}

    void Update(std::uint64_t done, bool last) {
        if (!shown)
            return;
        ULONGLONG now = ::GetTickCount64();
        if (!last && now - lastShown < 250)
            return;
        lastShown = now;
        double seconds = static_cast<double>(now - start) / 1000.0;
        unsigned percent = total ? static_cast<unsigned>(done * 100 / total) : 100;
        std::wstring line = L"\r  " + Mebibytes(static_cast<double>(done)) + L" of " +
                            Mebibytes(static_cast<double>(total)) + L" (" +
                            std::to_wstring(percent) + L"%)";
        if (seconds > 0)
            line += L", " + Mebibytes(static_cast<double>(done) / seconds) + L"/s";
        Err(line + (last ? L"\n" : L""));
        drawn = !last;
    }

    // A failure ends the line so the error message starts on its own.
    void Abandon() {
        if (drawn)
            Err(L"\n");
    }

private:
    std::uint64_t total;
    bool shown;
    ULONGLONG start;
    ULONGLONG lastShown;
    bool drawn = false;  // a line is on screen, not yet ended
};

// Write may take less than asked: go on until the chunk is out.
void WriteAll(TarnIO::File& file, const char* data, std::uint64_t size) {
    while (size > 0) {
        std::uint64_t written = file.Write(data, size);
        if (written == 0)
            throw std::runtime_error("the destination took no more bytes");
        data += written;
        size -= written;
    }
}

std::uint64_t Copy(TarnIO::File& source, TarnIO::File& destination, Progress& progress) {
    std::vector<char> buffer(chunkSize);
    std::uint64_t done = 0;
    for (;;) {
        std::uint64_t got = source.Read(buffer.data(), buffer.size());
        if (got == 0)
            break;
        WriteAll(destination, buffer.data(), got);
        done += got;
        progress.Update(done, false);
        if (interrupted)
            throw std::runtime_error("interrupted: the destination was left as it was");
    }
    // Writes still buffered (stdio) fail here rather than unseen in Close.
    destination.Flush();
    return done;
}

}  // namespace

int CpCommand(const Args& args) {
    Args names = args;
    std::wstring backend = TakeBackendOption(names);
    if (names.size() != 2)
        throw UsageError{names.size() < 2 ? "source and destination needed"
                                          : "only one source and one destination"};
    std::wstring source = names[0];
    std::wstring destination = names[1];
    // A directory, "DIR" or "DIR\", receives the file under its own name.
    TarnIO::Path destinationPath(destination);
    if (destinationPath.Exists() && destinationPath.IsDirectory())
        destination = destinationPath.Child(TarnIO::Path(source).GetBase()).AsString();
    if (SameFile(source, destination))
        throw UsageError{"source and destination are the same file"};

    std::unique_ptr<TarnIO::File> in = OpenForReading(backend, source);
    Progress progress(in->GetSize());
    InterruptHandler handler;
    TarnIO::AtomicFile out{TarnIO::Path(destination)};  // destroyed uncommitted: removed
    try {
        std::uint64_t done = Copy(*in, out, progress);
        progress.Update(done, true);
        out.Commit();
    } catch (...) {
        progress.Abandon();
        throw;
    }
    return 0;
}

}  // namespace tarn
