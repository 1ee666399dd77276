// tarnbench: TarnIO against the raw system calls and the standard library.
//
// Each row times the library and its reference side by side: rounds
// alternate the order (library first, then reference first) so that a change
// of load on the machine falls on both, and the row's figure is the median of
// the per-round ratios (or differences). Absolute times under Wine on a
// shared machine mean little; ratios taken together do. Files are created
// and read once before any timing, so every read comes from the file cache;
// opening, creating and filling happen outside the timed regions unless the
// row says otherwise.
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace fs = std::filesystem;

// --- Allocation counting ------------------------------------------------------
// This program's operator new counts its own allocations (those of
// std::filesystem and of the inline parts of TarnIO's headers). TarnIO.dll
// carries its own copy of the C++ runtime, whose operator new calls the C
// runtime's malloc through the DLL's import table; that entry is redirected
// to a counting malloc, so the library's allocations are counted too.

namespace {
std::uint64_t allocationCount = 0;
}  // namespace

void* operator new(std::size_t size) {
    ++allocationCount;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return operator new(size);
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

typedef void* (*MallocFunction)(std::size_t);
MallocFunction realMalloc = nullptr;

void* CountingMalloc(std::size_t size) {
    ++allocationCount;
    return realMalloc(size);
}

// Points the import of function from dllName in module at replacement;
// returns the function it pointed at, or null when module has no such import.
void* PatchImport(HMODULE module, const char* dllName, const char* function,
                  void* replacement) {
    auto base = reinterpret_cast<BYTE*>(module);
    auto dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    auto nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (dir.VirtualAddress == 0)
        return nullptr;
    for (auto imp = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress);
         imp->Name != 0; ++imp) {
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dllName) != 0)
            continue;
        auto names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->OriginalFirstThunk);
        auto slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + imp->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
                continue;
            auto byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
            if (std::strcmp(reinterpret_cast<const char*>(byName->Name), function) != 0)
                continue;
            DWORD oldProtect;
            VirtualProtect(&slots->u1.Function, sizeof(void*), PAGE_READWRITE, &oldProtect);
            void* previous = reinterpret_cast<void*>(slots->u1.Function);
            slots->u1.Function = reinterpret_cast<ULONG_PTR>(replacement);
            VirtualProtect(&slots->u1.Function, sizeof(void*), oldProtect, &oldProtect);
            return previous;
        }
    }
    return nullptr;
}

bool CountLibraryAllocations() {
    HMODULE module = GetModuleHandleW(L"TarnIO.dll");
    if (!module)
        return false;
    void* previous = PatchImport(module, "msvcrt.dll", "malloc",
                                 reinterpret_cast<void*>(&CountingMalloc));
    realMalloc = reinterpret_cast<MallocFunction>(previous);
    return previous != nullptr;
}

// --- Timing -------------------------------------------------------------------

double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return double(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return double(t.QuadPart) / frequency;
}

double Time(const std::function<void()>& body) {
    double start = Now();
    body();
    return Now() - start;
}

// The value below which fraction of the values lie, interpolated.
double Quantile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    double at = fraction * double(values.size() - 1);
    std::size_t low = std::size_t(at);
    if (low + 1 >= values.size())
        return values.back();
    return values[low] + (values[low + 1] - values[low]) * (at - double(low));
}

double Median(const std::vector<double>& values) {
    return Quantile(values, 0.5);
}

// How a row's figure is formed and judged.
enum Measure {
    throughputAtLeast,  // reference time / library time >= target
    timeAtMost,         // library time / reference time <= target
    addedNsPerCallAtMost,  // (library - reference) / calls, in ns, <= target
};

struct Row {
    std::string name;
    std::string reference;
    Measure measure;
    double target;
    double calls;  // per timed run, for the per-call figures
    std::function<void()> library;
    std::function<void()> raw;
    std::function<void()> setup;  // before each timed run of either side
    int rounds;
    bool showPerCall = false;  // times shown per call rather than per run
};

int passed = 0;
int missed = 0;

std::string FormatTime(double seconds) {
    char text[32];
    if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.2f ms", seconds * 1e3);
    else if (seconds >= 1e-6)
        std::snprintf(text, sizeof text, "%.2f us", seconds * 1e6);
    else
        std::snprintf(text, sizeof text, "%.0f ns", seconds * 1e9);
    return text;
}

void PrintHeader() {
    std::printf("%-40s %-28s %10s %10s %17s %9s  %s\n", "row", "against", "TarnIO",
                "reference", "figure +-spread", "target", "result");
}

// TARNBENCH_ONLY=text runs only the rows whose name starts with text.
bool Selected(const std::string& name) {
    const char* only = std::getenv("TARNBENCH_ONLY");
    return !only || name.compare(0, std::strlen(only), only) == 0;
}

void Run(const Row& row) {
    if (!Selected(row.name))
        return;
    auto timed = [&](const std::function<void()>& body) {
        if (row.setup)
            row.setup();
        return Time(body);
    };
    // Warm-up: caches, lazy bindings, first-touch page faults.
    timed(row.library);
    timed(row.raw);
    // Each round runs library, reference, reference, library (or the mirror
    // image), so a load that rises or falls steadily during the round weighs
    // on both sides alike.
    std::vector<double> libraryTimes, rawTimes, figures;
    for (int round = 0; round < row.rounds; ++round) {
        double lib, raw;
        if (round % 2 == 0) {
            lib = timed(row.library);
            raw = timed(row.raw);
            raw += timed(row.raw);
            lib += timed(row.library);
        } else {
            raw = timed(row.raw);
            lib = timed(row.library);
            lib += timed(row.library);
            raw += timed(row.raw);
        }
        lib /= 2;
        raw /= 2;
        libraryTimes.push_back(lib);
        rawTimes.push_back(raw);
        switch (row.measure) {
        case throughputAtLeast: figures.push_back(raw / lib); break;
        case timeAtMost: figures.push_back(lib / raw); break;
        case addedNsPerCallAtMost: figures.push_back((lib - raw) / row.calls * 1e9); break;
        }
    }
    double figure = Median(figures);
    // Half the interquartile range of the per-round figures: how far the
    // machine's noise moves them.
    double spread = (Quantile(figures, 0.75) - Quantile(figures, 0.25)) / 2;
    bool ok = false;
    char target[32], shown[48];
    switch (row.measure) {
    case throughputAtLeast:
        ok = figure >= row.target;
        std::snprintf(target, sizeof target, ">= %.2f", row.target);
        std::snprintf(shown, sizeof shown, "%.3f +-%.3f", figure, spread);
        break;
    case timeAtMost:
        ok = figure <= row.target;
        std::snprintf(target, sizeof target, "<= %.2f", row.target);
        std::snprintf(shown, sizeof shown, "%.3f +-%.3f", figure, spread);
        break;
    case addedNsPerCallAtMost:
        ok = figure <= row.target;
        std::snprintf(target, sizeof target, "<= %.0f ns", row.target);
        std::snprintf(shown, sizeof shown, "%+.1f +-%.1f ns", figure, spread);
        break;
    }
    (ok ? passed : missed) += 1;
    std::printf("%-40s %-28s %10s %10s %17s %9s  %s\n", row.name.c_str(), row.reference.c_str(),
                FormatTime(Median(libraryTimes) / (row.showPerCall ? row.calls : 1)).c_str(),
                FormatTime(Median(rawTimes) / (row.showPerCall ? row.calls : 1)).c_str(),
                shown, target, ok ? "ok" : "MISSED");
    std::fflush(stdout);
}

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "tarnbench: %s failed (error %lu, errno %d)\n", what,
                     GetLastError(), errno);
        std::exit(2);
    }
}

// --- Files --------------------------------------------------------------------

const std::uint64_t fileSize = 64ull << 20;
std::vector<char> buffer(1 << 20);
volatile std::uint64_t sink;

void FillFile(const std::wstring& name) {
    HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(h != INVALID_HANDLE_VALUE, "creating a data file");
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = char(i * 7 + 3);
    for (std::uint64_t done = 0; done < fileSize; done += block.size()) {
        DWORD written;
        Check(WriteFile(h, block.data(), DWORD(block.size()), &written, nullptr) &&
                  written == block.size(),
              "filling a data file");
    }
    CloseHandle(h);
}

// Reads the whole file once: afterwards it is in the file cache.
void WarmFile(const std::wstring& name) {
    HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    Check(h != INVALID_HANDLE_VALUE, "opening a data file");
    DWORD got;
    while (ReadFile(h, buffer.data(), DWORD(buffer.size()), &got, nullptr) && got)
        ;
    CloseHandle(h);
}

void ExpectWhole(std::uint64_t total) {
    Check(total == fileSize, "reading the whole file");
    sink = total;
}

void ReadRows(const std::wstring& dataFile) {
    TarnIO::FileHandle handle(dataFile.c_str());
    TarnIO::FileDescriptor descriptor(dataFile.c_str());
    TarnIO::StdFile stream(dataFile.c_str(), L"rb", _SH_DENYNO);
    HANDLE rawHandle = CreateFileW(dataFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    int rawDescriptor = _wopen(dataFile.c_str(), _O_RDONLY | _O_BINARY);
    FILE* rawStream = _wfsopen(dataFile.c_str(), L"rb", _SH_DENYNO);
    Check(rawHandle != INVALID_HANDLE_VALUE && rawDescriptor != -1 && rawStream,
          "opening the data file");

    struct Chunk {
        std::uint64_t size;
        const char* label;
        int rounds;
    };
    for (const Chunk& chunk : {Chunk{1 << 20, "1 MiB", 25}, Chunk{64 << 10, "64 KiB", 25},
                               Chunk{4 << 10, "4 KiB", 31}}) {
        const std::uint64_t n = chunk.size;
        const bool perCall = n == (4 << 10);
        Measure measure = perCall ? addedNsPerCallAtMost : throughputAtLeast;
        double target = perCall ? 50 : 0.97;
        double calls = double(fileSize / n);
        std::string name = std::string("Read ") + chunk.label + " chunks, ";

        Run({name + "FileHandle", "ReadFile", measure, target, calls,
             [&] {
                 std::uint64_t total = 0, got;
                 while ((got = handle.Read(buffer.data(), n)) != 0)
                     total += got;
                 ExpectWhole(total);
             },
             [&] {
                 std::uint64_t total = 0;
                 DWORD got;
                 while (ReadFile(rawHandle, buffer.data(), DWORD(n), &got, nullptr) && got)
                     total += got;
                 ExpectWhole(total);
             },
             [&] {
                 handle.Seek(0, TarnIO::seekBegin);
                 SetFilePointer(rawHandle, 0, nullptr, FILE_BEGIN);
             },
             chunk.rounds});
        Run({name + "FileDescriptor", "_read", measure, target, calls,
             [&] {
                 std::uint64_t total = 0, got;
                 while ((got = descriptor.Read(buffer.data(), n)) != 0)
                     total += got;
                 ExpectWhole(total);
             },
             [&] {
                 std::uint64_t total = 0;
                 int got;
                 while ((got = _read(rawDescriptor, buffer.data(), unsigned(n))) > 0)
                     total += unsigned(got);
                 ExpectWhole(total);
             },
             [&] {
                 descriptor.Seek(0, TarnIO::seekBegin);
                 _lseeki64(rawDescriptor, 0, SEEK_SET);
             },
             chunk.rounds});
        Run({name + "StdFile", "fread", measure, target, calls,
             [&] {
                 std::uint64_t total = 0, got;
                 while ((got = stream.Read(buffer.data(), n)) != 0)
                     total += got;
                 ExpectWhole(total);
             },
             [&] {
                 std::uint64_t total = 0;
                 std::size_t got;
                 while ((got = std::fread(buffer.data(), 1, n, rawStream)) != 0)
                     total += got;
                 ExpectWhole(total);
             },
             [&] {
                 stream.Seek(0, TarnIO::seekBegin);
                 _fseeki64(rawStream, 0, SEEK_SET);
             },
             chunk.rounds});
    }
    CloseHandle(rawHandle);
    _close(rawDescriptor);
    std::fclose(rawStream);
}

void WriteRows(const std::wstring& libraryFile, const std::wstring& rawFile) {
    const std::uint64_t n = 64 << 10;
    const double calls = double(fileSize / n);
    // Both files already hold 64 MiB: every run overwrites in place.
    {
        TarnIO::FileHandle handle(libraryFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING);
        HANDLE raw = CreateFileW(rawFile.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
        Check(raw != INVALID_HANDLE_VALUE, "opening the raw output file");
        Run({"Write 64 KiB chunks, FileHandle", "WriteFile", throughputAtLeast, 0.97, calls,
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += handle.Write(buffer.data(), n) - n;
             },
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n) {
                     DWORD put;
                     WriteFile(raw, buffer.data(), DWORD(n), &put, nullptr);
                     done += put - n;
                 }
             },
             [&] {
                 handle.Seek(0, TarnIO::seekBegin);
                 SetFilePointer(raw, 0, nullptr, FILE_BEGIN);
             },
             25});
        CloseHandle(raw);
    }
    {
        TarnIO::FileDescriptor descriptor(libraryFile.c_str(), _O_WRONLY | _O_BINARY);
        int raw = _wopen(rawFile.c_str(), _O_WRONLY | _O_BINARY);
        Check(raw != -1, "opening the raw output file");
        Run({"Write 64 KiB chunks, FileDescriptor", "_write", throughputAtLeast, 0.97, calls,
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += descriptor.Write(buffer.data(), n) - n;
             },
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += unsigned(_write(raw, buffer.data(), unsigned(n))) - n;
             },
             [&] {
                 descriptor.Seek(0, TarnIO::seekBegin);
                 _lseeki64(raw, 0, SEEK_SET);
             },
             25});
        _close(raw);
    }
    {
        TarnIO::StdFile stream(libraryFile.c_str(), L"r+b", _SH_DENYNO);
        FILE* raw = _wfsopen(rawFile.c_str(), L"r+b", _SH_DENYNO);
        Check(raw != nullptr, "opening the raw output file");
        Run({"Write 64 KiB chunks, StdFile", "fwrite", throughputAtLeast, 0.97, calls,
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += stream.Write(buffer.data(), n) - n;
                 stream.Flush();
             },
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += std::fwrite(buffer.data(), 1, n, raw) - n;
                 std::fflush(raw);
             },
             [&] {
                 stream.Seek(0, TarnIO::seekBegin);
                 _fseeki64(raw, 0, SEEK_SET);
             },
             25});
        std::fclose(raw);
    }
}

// ReadAll rows time the whole job a user writes: open, size, read into a
// string, close.
void ReadAllRows(const std::wstring& dataFile) {
    auto rawLoop = [&] {
        HANDLE h = CreateFileW(dataFile.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        LARGE_INTEGER size;
        GetFileSizeEx(h, &size);
        std::string out;
        out.resize(std::size_t(size.QuadPart));
        std::uint64_t total = 0;
        DWORD got;
        while (total < out.size() &&
               ReadFile(h, &out[total], DWORD(out.size() - total), &got, nullptr) && got)
            total += got;
        CloseHandle(h);
        ExpectWhole(total);
    };
    auto ifstreamRead = [&] {
        std::ifstream in(dataFile.c_str(), std::ios::binary);
        in.seekg(0, std::ios::end);
        std::string out(std::size_t(in.tellg()), '\0');
        in.seekg(0, std::ios::beg);
        in.read(&out[0], std::streamsize(out.size()));
        ExpectWhole(std::uint64_t(in.gcount()));
    };
    auto handleAll = [&] {
        TarnIO::FileHandle file(dataFile.c_str());
        std::string out;
        ExpectWhole(file.ReadAll(out));
    };
    auto descriptorAll = [&] {
        TarnIO::FileDescriptor file(dataFile.c_str());
        std::string out;
        ExpectWhole(file.ReadAll(out));
    };
    auto streamAll = [&] {
        TarnIO::StdFile file(dataFile.c_str(), L"rb", _SH_DENYNO);
        std::string out;
        ExpectWhole(file.ReadAll(out));
    };
    Run({"ReadAll 64 MiB, FileHandle", "ReadFile loop", throughputAtLeast, 0.95, 1, handleAll,
         rawLoop, nullptr, 5});
    Run({"ReadAll 64 MiB, FileDescriptor", "ReadFile loop", throughputAtLeast, 0.95, 1,
         descriptorAll, rawLoop, nullptr, 5});
    Run({"ReadAll 64 MiB, StdFile", "ReadFile loop", throughputAtLeast, 0.95, 1, streamAll,
         rawLoop, nullptr, 5});
    Run({"ReadAll 64 MiB, FileHandle", "std::ifstream", throughputAtLeast, 1.0, 1, handleAll,
         ifstreamRead, nullptr, 5});
    Run({"ReadAll 64 MiB, FileDescriptor", "std::ifstream", throughputAtLeast, 1.0, 1,
         descriptorAll, ifstreamRead, nullptr, 5});
    Run({"ReadAll 64 MiB, StdFile", "std::ifstream", throughputAtLeast, 1.0, 1, streamAll,
         ifstreamRead, nullptr, 5});
}

// --- Directory trees ------------------------------------------------------------

// 10 directories, each holding 9 subdirectories and 90 files; each
// subdirectory holds 100 files: 10,000 entries below the root.
int MakeTree(const std::wstring& root) {
    int entries = 0;
    auto makeFile = [&](const std::wstring& name) {
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        Check(h != INVALID_HANDLE_VALUE, "creating a tree file");
        DWORD put;
        WriteFile(h, name.c_str(), DWORD(name.size() % 200), &put, nullptr);
        CloseHandle(h);
        ++entries;
    };
    auto makeDir = [&](const std::wstring& name) {
        Check(CreateDirectoryW(name.c_str(), nullptr), "creating a tree directory");
        ++entries;
    };
    Check(CreateDirectoryW(root.c_str(), nullptr), "creating the tree root");
    for (int i = 0; i < 10; ++i) {
        std::wstring top = root + L"\\section" + std::to_wstring(i);
        makeDir(top);
        for (int f = 0; f < 90; ++f)
            makeFile(top + L"\\notes-" + std::to_wstring(f) + L".txt");
        for (int j = 0; j < 9; ++j) {
            std::wstring sub = top + L"\\chapter" + std::to_wstring(j);
            makeDir(sub);
            for (int f = 0; f < 100; ++f)
                makeFile(sub + L"\\page-" + std::to_wstring(f) + L".dat");
        }
    }
    return entries;
}

struct WalkTotals {
    std::uint64_t entries = 0;
    std::uint64_t bytes = 0;
    std::uint64_t pathChars = 0;
};

void RawWalk(const std::wstring& dir, WalkTotals& totals) {
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &data);
    if (h == INVALID_HANDLE_VALUE)
        return;
    do {
        const wchar_t* name = data.cFileName;
        if (name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0)))
            continue;
        std::wstring full = dir + L"\\" + name;
        ++totals.entries;
        totals.pathChars += full.size();
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            RawWalk(full, totals);
        else
            totals.bytes += (std::uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    } while (FindNextFileW(h, &data));
    FindClose(h);
}

void IteratorRows(const std::wstring& root, int expectedEntries) {
    auto expect = [&](const WalkTotals& totals) {
        Check(totals.entries == std::uint64_t(expectedEntries), "walking the whole tree");
        sink = totals.bytes + totals.pathChars;
    };
    auto library = [&] {
        WalkTotals totals;
        TarnIO::PathStats stats;
        for (TarnIO::PathIterator it(root + L"\\*", TarnIO::PathIterator::recursive);
             it != TarnIO::PathIterator::end; ++it) {
            it.Query(stats);
            ++totals.entries;
            totals.pathChars += it.GetPath().GetLength();
            if (!stats.IsDirectory())
                totals.bytes += stats.GetFileSize();
        }
        expect(totals);
    };
    auto raw = [&] {
        WalkTotals totals;
        RawWalk(root, totals);
        expect(totals);
    };
    auto standard = [&] {
        WalkTotals totals;
        for (fs::recursive_directory_iterator it{fs::path(root)}, end; it != end; ++it) {
            fs::file_status status = it->status();
            ++totals.entries;
            totals.pathChars += it->path().native().size();
            if (!fs::is_directory(status))
                totals.bytes += it->file_size();
        }
        expect(totals);
    };
    Run({"PathIterator recursive + Query, 10,000", "FindFirstFileW walk", timeAtMost, 1.10, 1,
         library, raw, nullptr, 9});
    Run({"PathIterator recursive + Query, 10,000", "recursive_dir_iterator", timeAtMost,
         1.0, 1, library, standard, nullptr, 3});
}

// --- Path text ------------------------------------------------------------------

// Typical paths of 60 to 120 characters: absolute, UNC, relative, some with
// "." and "..", doubled separators or a trailing backslash to normalize.
std::vector<std::wstring> TypicalPaths() {
    const wchar_t* roots[] = {L"C:\\Users\\jsmith\\", L"D:\\Projects\\", L"\\\\fileserver\\shared\\",
                              L"C:\\Program Files\\Contoso\\", L"..\\..\\", L"E:\\"};
    const wchar_t* middles[] = {L"Documents\\Reports\\2023\\Quarterly",
                                L"src\\engine\\..\\include\\render",
                                L"build\\x64\\Release\\.\\obj\\intermediate",
                                L"AppData\\Local\\Temp\\\\cache\\images",
                                L"teams\\finance\\archive\\..\\..\\budget\\drafts",
                                L"vendor\\library-1.2.3\\docs\\api\\reference"};
    const wchar_t* leaves[] = {L"\\summary-final-v2.docx", L"\\main_window_controller.cpp",
                               L"\\thumbnail_0001.png", L"\\", L"\\data.csv",
                               L"\\configuration.settings.json"};
    std::vector<std::wstring> paths;
    for (const wchar_t* root : roots)
        for (const wchar_t* middle : middles)
            for (const wchar_t* leaf : leaves) {
                std::wstring p = std::wstring(root) + middle + leaf;
                if (p.size() < 60)
                    p.insert(p.find_last_of(L'\\') + (p.back() == L'\\' ? 0 : 1),
                             L"subfolder\\nested\\");
                if (p.size() >= 60 && p.size() <= 120)
                    paths.push_back(p);
            }
    return paths;
}

void PathRows() {
    const std::vector<std::wstring> texts = TypicalPaths();
    std::vector<TarnIO::Path> paths(texts.begin(), texts.end());
    std::vector<fs::path> stdPaths(texts.begin(), texts.end());
    const TarnIO::Path child(L"reports\\2024\\summary.txt");
    const fs::path stdChild(L"reports\\2024\\summary.txt");
    std::size_t totalLength = 0;
    for (const std::wstring& t : texts)
        totalLength += t.size();
    std::printf("(paths: %zu texts of 60-120 characters, %.0f on average)\n", texts.size(),
                double(totalLength) / double(texts.size()));

    const int repeat = 40;
    const double calls = double(repeat * texts.size());
    struct Op {
        const char* name;
        const char* reference;
        std::function<void()> library;
        std::function<void()> standard;
    };
    std::uint64_t check = 0;
    Op ops[] = {
        {"Normalize", "lexically_normal",
         [&] {
             for (const TarnIO::Path& p : paths) {
                 TarnIO::Path n = p.Normalize();
                 check += n.GetLength();
             }
         },
         [&] {
             for (const fs::path& p : stdPaths) {
                 fs::path n = p.lexically_normal();
                 check += n.native().size();
             }
         }},
        {"Split", "parent_path + filename",
         [&] {
             for (const TarnIO::Path& p : paths) {
                 TarnIO::Path directory, base;
                 p.Split(&directory, &base);
                 check += directory.GetLength() + base.GetLength();
             }
         },
         [&] {
             for (const fs::path& p : stdPaths) {
                 fs::path directory = p.parent_path();
                 fs::path base = p.filename();
                 check += directory.native().size() + base.native().size();
             }
         }},
        {"MakeChild", "operator/=",
         [&] {
             for (const TarnIO::Path& p : paths) {
                 TarnIO::Path joined(p);
                 joined.MakeChild(child);
                 check += joined.GetLength();
             }
         },
         [&] {
             for (const fs::path& p : stdPaths) {
                 fs::path joined(p);
                 joined /= stdChild;
                 check += joined.native().size();
             }
         }},
    };
    const bool counting = CountLibraryAllocations();
    for (const Op& op : ops) {
        auto repeated = [&](const std::function<void()>& body) {
            return [&body] {
                for (int i = 0; i < repeat; ++i)
                    body();
            };
        };
        std::string name = std::string(op.name) + " (time per call)";
        if (!Selected(name))
            continue;
        Run({name, op.reference, timeAtMost, 1.0, calls,
             repeated(op.library), repeated(op.standard), nullptr, 9, true});
        std::uint64_t before = allocationCount;
        op.library();
        double libraryAllocations = double(allocationCount - before) / double(paths.size());
        before = allocationCount;
        op.standard();
        double standardAllocations = double(allocationCount - before) / double(paths.size());
        std::printf("    allocations per call: TarnIO %.2f%s, std::filesystem %.2f\n",
                    libraryAllocations, counting ? "" : " (inline code only)",
                    standardAllocations);
    }
    sink = check;
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    wchar_t temp[MAX_PATH];
    Check(GetTempPathW(MAX_PATH, temp) != 0, "GetTempPathW");
    std::wstring dir = std::wstring(temp) + L"tarnbench-" + std::to_wstring(GetCurrentProcessId());
    TarnIO::Path(dir).RemoveTree();  // a run killed earlier
    Check(TarnIO::Path(dir).CreateDir(), "creating the work directory");
    const std::wstring dataFile = dir + L"\\data.bin";
    const std::wstring outLibrary = dir + L"\\out-library.bin";
    const std::wstring outRaw = dir + L"\\out-raw.bin";

    std::printf("setting up: three 64 MiB files and a tree of 10,000 entries\n");
    const double setupStart = Now();
    FillFile(dataFile);
    FillFile(outLibrary);
    FillFile(outRaw);
    WarmFile(dataFile);
    const int entries = MakeTree(dir + L"\\tree");
    {
        WalkTotals warm;  // the tree's directory entries into the cache
        RawWalk(dir + L"\\tree", warm);
    }

    std::printf("set up in %.1f s\n", Now() - setupStart);
    PrintHeader();
    const double timedStart = Now();
    ReadRows(dataFile);
    WriteRows(outLibrary, outRaw);
    ReadAllRows(dataFile);
    IteratorRows(dir + L"\\tree", entries);
    PathRows();

    TarnIO::Path(dir).RemoveTree();
    std::printf("timed rows took %.1f s\n", Now() - timedStart);
    std::printf("%d passed, %d missed\n", passed, missed);
    return missed == 0 ? 0 : 1;
}
