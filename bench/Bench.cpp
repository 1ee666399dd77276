// tarnbench: TarnIO against the raw system calls and the standard library.
//
// Each row times the library and its reference side by side: rounds
// alternate the order (library first, then reference first) so that a change
// of load on the machine falls on both, and the row's figure is the median of
// the per-round ratios (or differences). Absolute times under Wine on a
// shared machine mean little; ratios taken together do. Both sides of a row
// work on the same data: the same file read from the file cache, the same
// file overwritten in place, the same tree, the same texts. Files are
// created and read once before any timing; opening, creating and filling
// happen outside the timed regions unless the row says otherwise.
//
// Every row ends in "pass" or "FAIL" against its target ("info" rows are
// shown and never judged), and the run ends with a summary; the exit status
// is 1 when a row fails. TARNBENCH_ONLY=text runs only the rows whose name
// starts with text; `tarnbench --write-study [TRIALS]` runs instead the
// experiment that tells where a gap between the sides of a write row comes
// from (WriteStudy).
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
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

// --- Allocation counting ------------------------------------------------------
// Allocations are counted only inside a CountingWindow, in a run of its own,
// never while a row is timed. This program's operator new counts what its own
// code allocates: std::filesystem where the C++ runtime is linked in
// statically (x86_64), and the inline parts of TarnIO's headers. Code in a
// DLL never calls this operator new: TarnIO.dll on x86_64 carries its own C++
// runtime, and on i686 the DLLs and std::filesystem's compiled parts share
// the runtime DLL libstdc++-6.dll. Both end in the C runtime's malloc, called
// through the import table of the DLL that allocates; the window points
// those imports at counting functions while it lasts.

namespace {
bool counting = false;  // set only by a CountingWindow, while one thread runs
std::uint64_t allocationCount = 0;
volatile std::uint64_t sink;  // results that the optimizer must not drop
}  // namespace

void* operator new(std::size_t size) {
    if (counting)
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

typedef void*(__cdecl* MallocFunction)(std::size_t);
typedef void*(__cdecl* CallocFunction)(std::size_t, std::size_t);
typedef void*(__cdecl* ReallocFunction)(void*, std::size_t);
MallocFunction realMalloc = nullptr;
CallocFunction realCalloc = nullptr;
ReallocFunction realRealloc = nullptr;

void* __cdecl CountingMalloc(std::size_t size) {
    ++allocationCount;
    return realMalloc(size);
}
void* __cdecl CountingCalloc(std::size_t count, std::size_t size) {
    ++allocationCount;
    return realCalloc(count, size);
}
void* __cdecl CountingRealloc(void* block, std::size_t size) {
    ++allocationCount;
    return realRealloc(block, size);
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
        if (_stricmp(reinterpret_cast<const char*>(base + imp->Name), dllName) != 0 ||
            imp->OriginalFirstThunk == 0)
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

// Counts allocations while it lives: this program's operator new, and the
// C runtime allocation functions as the project's DLLs and the compiler's
// runtime DLLs import them (those of the modules that are loaded).
class CountingWindow {
public:
    CountingWindow() {
        static const wchar_t* const modules[] = {L"TarnIO.dll", L"TarnUtil.dll",
                                                 L"TarnError.dll", L"libstdc++-6.dll",
                                                 L"libgcc_s_dw2-1.dll", L"libwinpthread-1.dll"};
        for (const wchar_t* name : modules)
            if (HMODULE module = GetModuleHandleW(name)) {
                Hook(module, "malloc", reinterpret_cast<void*>(&CountingMalloc), realMalloc);
                Hook(module, "calloc", reinterpret_cast<void*>(&CountingCalloc), realCalloc);
                Hook(module, "realloc", reinterpret_cast<void*>(&CountingRealloc), realRealloc);
            }
        counting = true;
    }
    ~CountingWindow() {
        counting = false;
        for (const Patched& p : patched)
            PatchImport(p.module, "msvcrt.dll", p.function, p.previous);
    }
    CountingWindow(const CountingWindow&) = delete;
    CountingWindow& operator=(const CountingWindow&) = delete;

private:
    struct Patched {
        HMODULE module;
        const char* function;
        void* previous;
    };
    template <class F>
    void Hook(HMODULE module, const char* function, void* counter, F& real) {
        if (void* previous = PatchImport(module, "msvcrt.dll", function, counter)) {
            real = reinterpret_cast<F>(previous);
            patched.push_back({module, function, previous});
        }
    }
    std::vector<Patched> patched;
};

// Allocations per call of body (which makes calls calls), counted in one
// untimed run.
double AllocationsPerCall(const std::function<void()>& body, double calls) {
    CountingWindow window;
    const std::uint64_t before = allocationCount;
    body();
    return double(allocationCount - before) / calls;
}

// Whether the counter sees the allocations of each side: each probe below
// allocates for certain (a result longer than any small-string buffer). A
// side whose probe counts nothing has its figures shown as n/a, never as 0.
struct CounterReach {
    bool library;
    bool standard;
};

CounterReach ProbeCounter() {
    const std::wstring text = L"C:\\" + std::wstring(300, L'a') + L"\\.\\b";
    const TarnIO::Path path(text);
    const fs::path stdPath(text);
    std::size_t check = 0;
    CounterReach reach;
    reach.library = AllocationsPerCall([&] { check += path.Normalize().GetLength(); }, 1) >= 1;
    reach.standard =
        AllocationsPerCall([&] { check += stdPath.lexically_normal().native().size(); }, 1) >= 1;
    sink = check;
    return reach;
}

std::string FormatAllocations(bool reached, double perCall) {
    char text[32];
    if (!reached)
        return "n/a";
    std::snprintf(text, sizeof text, "%.2f", perCall);
    return text;
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
    throughputAtLeast,     // reference time / library time >= target
    timeAtMost,            // library time / reference time <= target
    addedNsPerCallAtMost,  // (library - reference) / calls, in ns, <= target
    growthAtMost,          // time per call on the larger input / on the smaller <= target
    sameWithin,            // one call against itself: |reference / first - 1| <= target
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
    bool judged = true;        // false: the figure is shown, never judged ("info")
    double rawCalls = 0;       // calls of the reference per timed run, when not calls
};

int passed = 0;
int informational = 0;
std::vector<std::string> failures;

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
    std::printf("%-44s %-24s %10s %10s %17s %9s  %s\n", "row", "against", "TarnIO",
                "reference", "figure +-spread", "target", "result");
}

// Prints one row of the table and tallies its verdict.
void Report(const std::string& name, const std::string& reference, const std::string& library,
            const std::string& raw, const std::string& figure, const std::string& target,
            bool judged, bool ok) {
    const char* result = !judged ? "info" : ok ? "pass" : "FAIL";
    if (!judged)
        ++informational;
    else if (ok)
        ++passed;
    else
        failures.push_back(name + " (" + reference + ")");
    std::printf("%-44s %-24s %10s %10s %17s %9s  %s\n", name.c_str(), reference.c_str(),
                library.c_str(), raw.c_str(), figure.c_str(), target.c_str(), result);
    std::fflush(stdout);
}

// TARNBENCH_ONLY=text runs only the rows whose name starts with text.
bool Selected(const std::string& name) {
    const char* only = std::getenv("TARNBENCH_ONLY");
    return !only || name.compare(0, std::strlen(only), only) == 0;
}

struct Sampled {
    double figure;
    double spread;  // half the interquartile range of the per-round figures
    double libraryTime;
    double rawTime;
};

double RawCalls(const Row& row) {
    return row.rawCalls != 0 ? row.rawCalls : row.calls;
}

// Times both sides of row in rounds and forms its figure.
Sampled Sample(const Row& row) {
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
        case throughputAtLeast:
        case sameWithin: figures.push_back(raw / lib); break;
        case timeAtMost: figures.push_back(lib / raw); break;
        case growthAtMost: figures.push_back(lib / row.calls / (raw / RawCalls(row))); break;
        case addedNsPerCallAtMost: figures.push_back((lib - raw) / row.calls * 1e9); break;
        }
    }
    return {Median(figures), (Quantile(figures, 0.75) - Quantile(figures, 0.25)) / 2,
            Median(libraryTimes), Median(rawTimes)};
}

void Run(const Row& row) {
    if (!Selected(row.name))
        return;
    const Sampled sampled = Sample(row);
    const double figure = sampled.figure, spread = sampled.spread;
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
    case growthAtMost:
        ok = figure <= row.target;
        std::snprintf(target, sizeof target, "<= %.0f", row.target);
        std::snprintf(shown, sizeof shown, "%.2f +-%.2f", figure, spread);
        break;
    case sameWithin:
        ok = std::fabs(figure - 1) <= row.target;
        std::snprintf(target, sizeof target, "1 +-%.2f", row.target);
        std::snprintf(shown, sizeof shown, "%.3f +-%.3f", figure, spread);
        break;
    }
    Report(row.name, row.reference,
           FormatTime(sampled.libraryTime / (row.showPerCall ? row.calls : 1)),
           FormatTime(sampled.rawTime / (row.showPerCall ? RawCalls(row) : 1)), shown, target,
           row.judged, ok);
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

// The write rows. Both sides of a row overwrite the same file, which holds
// 64 MiB already, from its start: what writing into a file's cached pages
// costs depends on the file (how its pages lie in memory), so a side with a
// file of its own would measure its file as much as its calls. The two
// control rows show it: the same WriteFile loop against itself, first on one
// file (judged: the harness must be fair), then with each side on a file of
// its own, as the rows once were (shown only).
void WriteRows(const std::wstring& outFile, const std::wstring& otherFile) {
    const std::uint64_t n = 64 << 10;
    const double calls = double(fileSize / n);
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
    auto openRaw = [&](const std::wstring& name) {
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        Check(h != INVALID_HANDLE_VALUE, "opening an output file");
        return h;
    };
    auto writeLoop = [n](HANDLE h) {
        return [h, n] {
            for (std::uint64_t done = 0; done < fileSize; done += n) {
                DWORD put;
                WriteFile(h, buffer.data(), DWORD(n), &put, nullptr);
                done += put - n;
            }
        };
    };
    auto rewind = [](HANDLE a, HANDLE b) {
        return [a, b] {
            SetFilePointer(a, 0, nullptr, FILE_BEGIN);
            SetFilePointer(b, 0, nullptr, FILE_BEGIN);
        };
    };
    {
        TarnIO::FileHandle handle(outFile.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING);
        HANDLE raw = openRaw(outFile);
        Run({"Write 64 KiB chunks, FileHandle", "WriteFile", throughputAtLeast, 0.97, calls,
             [&] {
                 for (std::uint64_t done = 0; done < fileSize; done += n)
                     done += handle.Write(buffer.data(), n) - n;
             },
             writeLoop(raw),
             [&] {
                 handle.Seek(0, TarnIO::seekBegin);
                 SetFilePointer(raw, 0, nullptr, FILE_BEGIN);
             },
             25});
        CloseHandle(raw);
    }
    {
        TarnIO::FileDescriptor descriptor(outFile.c_str(), _O_WRONLY | _O_BINARY);
        int raw = _wsopen(outFile.c_str(), _O_WRONLY | _O_BINARY, _SH_DENYNO);
        Check(raw != -1, "opening the output file");
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
        TarnIO::StdFile stream(outFile.c_str(), L"r+b", _SH_DENYNO);
        FILE* raw = _wfsopen(outFile.c_str(), L"r+b", _SH_DENYNO);
        Check(raw != nullptr, "opening the output file");
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
    HANDLE first = openRaw(outFile), second = openRaw(outFile), other = openRaw(otherFile);
    Run({"Write control: WriteFile, one file", "WriteFile, same file", sameWithin, 0.03, calls,
         writeLoop(second), writeLoop(first), rewind(first, second), 25});
    Run({"Write control: WriteFile, a file per side", "WriteFile, other file", sameWithin, 0.03,
         calls, writeLoop(other), writeLoop(first), rewind(first, other), 25, false, false});
    CloseHandle(first);
    CloseHandle(second);
    CloseHandle(other);
}

// tarnbench --write-study [trials]: where a gap between the two sides of a
// write row comes from. Each trial fills two files anew, A then B, as the
// rows once had them (the library's file filled first), and times five
// pairs; each figure is the second side's time over the first side's (above
// 1: the first side is faster), the median of 15 rounds:
//   one file   WriteFile on A against WriteFile on A through a second handle
//   two files  WriteFile on A against WriteFile on B
//   old rows   FileHandle on A against WriteFile on B
//   swapped    FileHandle on B against WriteFile on A
//   new rows   FileHandle on A against WriteFile on A
// A cost that belongs to the file shows as "old rows" moving with "two
// files" and "swapped" against it, while "new rows" stays with "one file".
// The geometric mean of "old rows" and "swapped" cancels the files and
// leaves what the library adds.
void WriteStudy(const std::wstring& dir, int trials) {
    const std::wstring fileA = dir + L"\\study-a.bin", fileB = dir + L"\\study-b.bin";
    const std::uint64_t n = 64 << 10;
    const DWORD shareAll = FILE_SHARE_READ | FILE_SHARE_WRITE;
    const char* const labels[] = {"one file", "two files", "old rows", "swapped", "new rows"};
    const int pairs = 5;
    std::vector<std::vector<double>> figures(pairs + 1);
    std::printf("%-6s", "trial");
    for (const char* label : labels)
        std::printf(" %10s", label);
    std::printf(" %10s\n", "library");
    for (int trial = 0; trial < trials; ++trial) {
        FillFile(fileA);
        FillFile(fileB);
        auto open = [&](const std::wstring& name) {
            HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
            Check(h != INVALID_HANDLE_VALUE, "opening a study file");
            return h;
        };
        HANDLE rawA = open(fileA), rawA2 = open(fileA), rawB = open(fileB);
        TarnIO::FileHandle libA(fileA.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING);
        TarnIO::FileHandle libB(fileB.c_str(), GENERIC_WRITE, shareAll, nullptr, OPEN_EXISTING);
        auto raw = [n](HANDLE h) -> std::function<void()> {
            return [h, n] {
                for (std::uint64_t done = 0; done < fileSize; done += n) {
                    DWORD put;
                    WriteFile(h, buffer.data(), DWORD(n), &put, nullptr);
                    done += put - n;
                }
            };
        };
        auto lib = [n](TarnIO::FileHandle& file) -> std::function<void()> {
            return [&file, n] {
                for (std::uint64_t done = 0; done < fileSize; done += n)
                    done += file.Write(buffer.data(), n) - n;
            };
        };
        auto rewind = [&] {
            for (HANDLE h : {rawA, rawA2, rawB})
                SetFilePointer(h, 0, nullptr, FILE_BEGIN);
            libA.Seek(0, TarnIO::seekBegin);
            libB.Seek(0, TarnIO::seekBegin);
        };
        const std::function<void()> sides[pairs][2] = {
            {raw(rawA2), raw(rawA)}, {raw(rawA), raw(rawB)}, {lib(libA), raw(rawB)},
            {lib(libB), raw(rawA)},  {lib(libA), raw(rawA)}};
        std::printf("%-6d", trial + 1);
        for (int k = 0; k < pairs; ++k) {
            const Sampled s =
                Sample({"", "", throughputAtLeast, 0, 0, sides[k][0], sides[k][1], rewind, 15});
            figures[k].push_back(s.figure);
            std::printf(" %10.3f", s.figure);
            std::fflush(stdout);
        }
        figures[pairs].push_back(std::sqrt(figures[2].back() * figures[3].back()));
        std::printf(" %10.3f\n", figures[pairs].back());
        for (HANDLE h : {rawA, rawA2, rawB})
            CloseHandle(h);
    }
    for (const char* what : {"median", "lowest", "highest"}) {
        std::printf("%-6s", what);
        for (const std::vector<double>& column : figures)
            std::printf(" %10.3f", what[0] == 'm'   ? Median(column)
                                   : what[0] == 'l' ? Quantile(column, 0)
                                                    : Quantile(column, 1));
        std::printf("\n");
    }
    DeleteFileW(fileA.c_str());
    DeleteFileW(fileB.c_str());
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
         rawLoop, nullptr, 9});
    Run({"ReadAll 64 MiB, FileDescriptor", "ReadFile loop", throughputAtLeast, 0.95, 1,
         descriptorAll, rawLoop, nullptr, 9});
    Run({"ReadAll 64 MiB, StdFile", "ReadFile loop", throughputAtLeast, 0.95, 1, streamAll,
         rawLoop, nullptr, 9});
    Run({"ReadAll 64 MiB, FileHandle", "std::ifstream", throughputAtLeast, 1.0, 1, handleAll,
         ifstreamRead, nullptr, 9});
    Run({"ReadAll 64 MiB, FileDescriptor", "std::ifstream", throughputAtLeast, 1.0, 1,
         descriptorAll, ifstreamRead, nullptr, 9});
    Run({"ReadAll 64 MiB, StdFile", "std::ifstream", throughputAtLeast, 1.0, 1, streamAll,
         ifstreamRead, nullptr, 9});
}

// --- Directory trees ------------------------------------------------------------

struct TreeFile {
    std::wstring path;
    std::uint64_t size;
};

// sections directories below root, each holding 90 files and 9
// subdirectories of 100 files: 1,000 entries per section. The files are
// small (0 to 199 bytes) and listed in files.
int MakeTree(const std::wstring& root, int sections, std::vector<TreeFile>& files) {
    int entries = 0;
    auto makeFile = [&](const std::wstring& name) {
        HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        Check(h != INVALID_HANDLE_VALUE, "creating a tree file");
        DWORD put;
        const DWORD size = DWORD(name.size() % 200);
        WriteFile(h, name.c_str(), size, &put, nullptr);
        CloseHandle(h);
        files.push_back({name, size});
        ++entries;
    };
    auto makeDir = [&](const std::wstring& name) {
        Check(CreateDirectoryW(name.c_str(), nullptr), "creating a tree directory");
        ++entries;
    };
    Check(CreateDirectoryW(root.c_str(), nullptr), "creating the tree root");
    for (int i = 0; i < sections; ++i) {
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

// The library's walk of a whole tree: every entry queried, file sizes summed.
WalkTotals LibraryWalk(const std::wstring& root) {
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
    return totals;
}

struct Tree {
    std::wstring root;
    int entries;
};

void IteratorRows(const Tree& large, const Tree& small) {
    auto expect = [&](const WalkTotals& totals, const Tree& tree) {
        Check(totals.entries == std::uint64_t(tree.entries), "walking the whole tree");
        sink = totals.bytes + totals.pathChars;
    };
    auto library = [&] { expect(LibraryWalk(large.root), large); };
    auto raw = [&] {
        WalkTotals totals;
        RawWalk(large.root, totals);
        expect(totals, large);
    };
    auto standard = [&] {
        WalkTotals totals;
        for (fs::recursive_directory_iterator it{fs::path(large.root)}, end; it != end; ++it) {
            fs::file_status status = it->status();
            ++totals.entries;
            totals.pathChars += it->path().native().size();
            if (!fs::is_directory(status))
                totals.bytes += it->file_size();
        }
        expect(totals, large);
    };
    Run({"PathIterator recursive + Query, 10,000", "FindFirstFileW walk", timeAtMost, 1.10, 1,
         library, raw, nullptr, 9});
    Run({"PathIterator recursive + Query, 10,000", "recursive_dir_iterator", timeAtMost,
         1.0, 1, library, standard, nullptr, 3});
    // Growth: ten times the entries should cost ten times the time. The
    // small tree is walked ten times per run, so both sides run as long.
    Run({"Growth: PathIterator walk, 10,000", "the same, 1,000 entries", growthAtMost, 15, 1,
         library,
         [&] {
             for (int i = 0; i < 10; ++i)
                 expect(LibraryWalk(small.root), small);
         },
         nullptr, 7, true, true, 10});
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

const char* const unseenAllocations =
    "    (n/a: a call that must allocate counted nothing here, so this build's "
    "counter cannot see that side)\n";

void PathRows(const CounterReach& reach) {
    const std::vector<std::wstring> texts = TypicalPaths();
    std::vector<TarnIO::Path> paths(texts.begin(), texts.end());
    std::vector<fs::path> stdPaths(texts.begin(), texts.end());
    const TarnIO::Path child(L"reports\\2024\\summary.txt");
    const fs::path stdChild(L"reports\\2024\\summary.txt");
    std::size_t totalLength = 0;
    for (const std::wstring& t : texts)
        totalLength += t.size();
    bool described = false;

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
        if (!described)
            std::printf("(paths: %zu texts of 60-120 characters, %.0f on average)\n",
                        texts.size(), double(totalLength) / double(texts.size()));
        described = true;
        Run({name, op.reference, timeAtMost, 1.0, calls,
             repeated(op.library), repeated(op.standard), nullptr, 9, true});
        const double n = double(paths.size());
        std::printf("    allocations per call: TarnIO %s, std::filesystem %s\n",
                    FormatAllocations(reach.library, AllocationsPerCall(op.library, n)).c_str(),
                    FormatAllocations(reach.standard, AllocationsPerCall(op.standard, n)).c_str());
        if (!reach.library || !reach.standard)
            std::printf("%s", unseenAllocations);
    }
    sink = check;
}

// A text of exactly length characters: head, then unit repeated, the last
// repetition cut short.
std::wstring Repeated(const wchar_t* head, const wchar_t* unit, std::size_t length) {
    std::wstring text = head;
    while (text.size() < length)
        text += unit;
    text.resize(length);
    return text;
}

// How the cost of a text operation grows with its text: the same operation
// on 10,000 characters against 1,000, per call. Linear growth gives 10; the
// target, 15, leaves room for noise and for a text that outgrows the first
// processor caches (the 10,000 characters and their result take 40 KB), and
// growth with the square of the text would give 100.
void GrowthRows(const CounterReach& reach) {
    SetEnvironmentVariableW(L"TARNBENCH_DIR", L"expanded");
    struct Op {
        const char* name;
        const wchar_t* head;
        const wchar_t* unit;
        std::size_t (*call)(const TarnIO::Path&);
        int calls;  // on the 10,000 characters per timed run; ten times as many on 1,000
    };
    const Op ops[] = {
        {"Normalize", L"C:\\", L"projects\\.\\build\\..\\src\\\\module\\",
         [](const TarnIO::Path& p) { return std::size_t(p.Normalize().GetLength()); }, 200},
        {"ExpandEnvironmentVariables", L"C:\\",
         L"%TARNBENCH_DIR%\\${TARNBENCH_DIR}\\$(TARNBENCH_DIR)\\plain\\",
         [](const TarnIO::Path& p) {
             return std::size_t(p.ExpandEnvironmentVariables().GetLength());
         },
         10},
        {"MakeAbsolute", L"", L"reports\\..\\data\\.\\2024\\",
         [](const TarnIO::Path& p) {
             TarnIO::Path copy(p);
             return std::size_t(copy.MakeAbsolute().GetLength());
         },
         200},
    };
    for (const Op& op : ops) {
        const std::string name = std::string("Growth: ") + op.name + ", 10,000";
        if (!Selected(name))
            continue;
        const TarnIO::Path small(Repeated(op.head, op.unit, 1000));
        const TarnIO::Path large(Repeated(op.head, op.unit, 10000));
        std::uint64_t check = 0;
        auto repeated = [&](const TarnIO::Path& p, int times) {
            return [&check, &p, &op, times] {
                for (int i = 0; i < times; ++i)
                    check += op.call(p);
            };
        };
        // Ten times the calls on the short text: both sides run as long.
        Run({name, "the same, 1,000 chars", growthAtMost, 15, double(op.calls),
             repeated(large, op.calls), repeated(small, 10 * op.calls), nullptr, 9, true, true,
             10.0 * op.calls});
        std::printf("    allocations per call: 1,000 chars %s, 10,000 chars %s\n",
                    FormatAllocations(reach.library, AllocationsPerCall(repeated(small, 1), 1)).c_str(),
                    FormatAllocations(reach.library, AllocationsPerCall(repeated(large, 1), 1)).c_str());
        if (!reach.library)
            std::printf("%s", unseenAllocations);
        sink = check;
    }
}

// --- Load -------------------------------------------------------------------------

// The handles this process holds. The system's handle table
// (NtQuerySystemInformation, SystemExtendedHandleInformation) lists them with
// Wine as on Windows, and each one's type tells the open files and
// directories (type "File") from the rest. The runtime makes some objects
// once, when threads first contend for one of its locks (an event, the
// semaphores of a condition variable): the load row judges the files and
// shows the rest. Where the table does not answer, GetProcessHandleCount
// gives the total (it answers 0 under Wine); failing that, the entries of
// Z:\proc\self\fd, which under Wine are the Wine server's descriptors (it
// opens that directory), the files open in every process of the prefix.
struct HandleCensus {
    const char* source = nullptr;     // null when no way answers
    std::vector<std::wstring> types;  // one per handle, when the table answers
    unsigned long total = 0;

    unsigned long Files() const {
        return types.empty() ? total : (unsigned long)std::count(types.begin(), types.end(), L"File");
    }
};

struct HandleTableEntry {  // SYSTEM_HANDLE_TABLE_ENTRY_INFO_EX
    void* object;
    ULONG_PTR process;
    ULONG_PTR handle;
    ULONG access;
    USHORT creatorBackTrace;
    USHORT objectType;
    ULONG attributes;
    ULONG reserved;
};
struct HandleTable {  // SYSTEM_HANDLE_INFORMATION_EX
    ULONG_PTR count;
    ULONG_PTR reserved;
    HandleTableEntry entries[1];
};
struct CountedString {  // UNICODE_STRING, which opens OBJECT_TYPE_INFORMATION
    USHORT length;
    USHORT capacity;
    const wchar_t* text;
};
typedef LONG(NTAPI* QuerySystemInformationFn)(ULONG informationClass, void* information,
                                              ULONG length, ULONG* returned);
typedef LONG(NTAPI* QueryObjectFn)(HANDLE handle, int informationClass, void* information,
                                   ULONG length, ULONG* returned);
const ULONG systemExtendedHandleInformation = 64;
const int objectTypeInformation = 2;
const LONG statusInfoLengthMismatch = LONG(0xC0000004);

bool TakeHandleTable(HandleCensus& census) {
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    auto querySystem = reinterpret_cast<QuerySystemInformationFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQuerySystemInformation")));
    auto queryObject = reinterpret_cast<QueryObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "NtQueryObject")));
    if (!querySystem || !queryObject)
        return false;
    std::vector<ULONG_PTR> table(1 << 14);  // grown until the table fits
    LONG status;
    while ((status = querySystem(systemExtendedHandleInformation, table.data(),
                                 ULONG(table.size() * sizeof(ULONG_PTR)), nullptr)) ==
           statusInfoLengthMismatch)
        table.resize(table.size() * 2);
    if (status < 0)
        return false;
    const auto* info = reinterpret_cast<const HandleTable*>(table.data());
    std::vector<ULONG_PTR> type(512);
    for (ULONG_PTR i = 0; i < info->count; ++i) {
        if (info->entries[i].process != GetCurrentProcessId())
            continue;
        const auto* name = reinterpret_cast<const CountedString*>(type.data());
        if (queryObject(reinterpret_cast<HANDLE>(info->entries[i].handle), objectTypeInformation,
                        type.data(), ULONG(type.size() * sizeof(ULONG_PTR)), nullptr) >= 0)
            census.types.emplace_back(name->text, name->length / sizeof(wchar_t));
        else
            census.types.emplace_back(L"?");
    }
    census.total = (unsigned long)census.types.size();
    census.source = "the system handle table, this process's entries";
    return census.total != 0;
}

HandleCensus TakeHandleCensus() {
    HandleCensus census;
    if (TakeHandleTable(census))
        return census;
    census = HandleCensus();
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count != 0) {
        census.total = count;
        census.source = "GetProcessHandleCount";
        return census;
    }
    WIN32_FIND_DATAW data;
    HANDLE h = FindFirstFileW(L"Z:\\proc\\self\\fd\\*", &data);
    if (h == INVALID_HANDLE_VALUE)
        return census;
    do {
        const wchar_t* name = data.cFileName;
        if (!(name[0] == L'.' && (name[1] == 0 || (name[1] == L'.' && name[2] == 0))))
            ++census.total;
    } while (FindNextFileW(h, &data));
    FindClose(h);
    census.source = "the entries of Z:\\proc\\self\\fd (under Wine: the Wine server's)";
    return census;
}

// What after holds more or less than before, by type: "+2 Semaphore, +1 Event".
std::string TypeDifference(const HandleCensus& before, const HandleCensus& after) {
    std::vector<std::wstring> types = before.types;
    types.insert(types.end(), after.types.begin(), after.types.end());
    std::sort(types.begin(), types.end());
    types.erase(std::unique(types.begin(), types.end()), types.end());
    std::string text;
    for (const std::wstring& type : types) {
        const long change = long(std::count(after.types.begin(), after.types.end(), type)) -
                            long(std::count(before.types.begin(), before.types.end(), type));
        if (change != 0)
            text += (text.empty() ? "" : ", ") + std::string(change > 0 ? "+" : "") +
                    std::to_string(change) + " " + std::string(type.begin(), type.end());
    }
    return text;
}

// 8 threads at once, each opening, reading whole and closing 10,000 of the
// tree's small files with the three backends in turn, then walking the tree
// with a PathIterator of its own. The row runs before any other touches the
// library, so the threads also race for its one-time bindings. It passes
// when every file reads whole, every walk sees the whole tree, nothing
// throws, and the process holds as many handles after as before.
void LoadRow(const Tree& tree, const std::vector<TreeFile>& files) {
    const std::string name = "Load: 8 threads, files and walks";
    if (!Selected(name))
        return;
    const int threads = 8, filesPerThread = 10000;
    std::atomic<bool> go(false);
    std::atomic<int> ready(0);
    std::atomic<std::uint64_t> walked(0), errors(0);
    std::mutex firstErrorLock;
    std::string firstError;
    auto fail = [&](const std::string& what) {
        if (errors++ == 0) {
            std::lock_guard<std::mutex> hold(firstErrorLock);
            firstError = what;
        }
    };
    auto work = [&](int thread) {
        ++ready;
        while (!go)
            std::this_thread::yield();
        std::string content;
        for (int i = 0; i < filesPerThread; ++i) {
            const TreeFile& file = files[(std::size_t(thread) * 1237 + std::size_t(i)) % files.size()];
            try {
                content.clear();
                std::uint64_t got;
                switch (i % 3) {
                case 0: got = TarnIO::FileHandle(file.path.c_str()).ReadAll(content); break;
                case 1: got = TarnIO::FileDescriptor(file.path.c_str()).ReadAll(content); break;
                default:
                    got = TarnIO::StdFile(file.path.c_str(), L"rb", _SH_DENYNO).ReadAll(content);
                    break;
                }
                if (got != file.size || content.size() != file.size)
                    fail("a file did not read whole");
            } catch (const std::exception& e) {
                fail(e.what());
            }
        }
        std::uint64_t entries = 0;
        try {
            TarnIO::PathStats stats;
            for (TarnIO::PathIterator it(tree.root + L"\\*", TarnIO::PathIterator::recursive);
                 it != TarnIO::PathIterator::end; ++it) {
                it.Query(stats);
                ++entries;
            }
        } catch (const std::exception& e) {
            fail(e.what());
        }
        if (entries != std::uint64_t(tree.entries))
            fail("a walk did not see the whole tree");
        walked += entries;
    };

    const HandleCensus before = TakeHandleCensus();
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t)
        pool.emplace_back(work, t);
    while (ready < threads)
        std::this_thread::yield();
    const double start = Now();
    go = true;
    for (std::thread& t : pool)
        t.join();
    const double elapsed = Now() - start;
    const HandleCensus after = TakeHandleCensus();

    const std::uint64_t fileOps = std::uint64_t(threads) * filesPerThread;
    const double operations = double(fileOps + walked);
    char rate[32], counts[32];
    std::snprintf(rate, sizeof rate, "%.0f/s", operations / elapsed);
    std::snprintf(counts, sizeof counts, "%lu -> %lu", before.Files(), after.Files());
    const bool ok = errors == 0 && before.source && after.Files() == before.Files();
    Report(name, before.types.empty() ? "handles before -> after" : "open files before -> after",
           rate, "", before.source ? counts : "n/a", "equal", true, ok);
    std::printf("    %.0f operations in %.2f s: %llu files opened, read whole and closed, "
                "%llu entries walked; %llu errors%s%s\n",
                operations, elapsed, (unsigned long long)fileOps,
                (unsigned long long)walked.load(), (unsigned long long)errors.load(),
                firstError.empty() ? "" : ", first: ", firstError.c_str());
    if (!before.source) {
        std::printf("    handles cannot be counted here\n");
        return;
    }
    std::printf("    handles from %s", before.source);
    if (!before.types.empty()) {
        const std::string difference = TypeDifference(before, after);
        std::printf(": all %lu -> %lu%s%s%s", before.total, after.total,
                    difference.empty() ? "" : " (", difference.c_str(),
                    difference.empty() ? "" : "; files only are judged)");
    }
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    const bool study = argc > 1 && std::strcmp(argv[1], "--write-study") == 0;
    const int trials = study && argc > 2 ? std::atoi(argv[2]) : 8;
    if ((argc > 1 && !study) || argc > 3 || trials < 1) {
        std::printf("usage: tarnbench            every row, judged against its target\n"
                    "       tarnbench --write-study [TRIALS]   where a write gap comes from "
                    "(8 trials)\n"
                    "TARNBENCH_ONLY=<text> runs only the rows whose name starts with <text>.\n");
        return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 4096);
    wchar_t temp[MAX_PATH];
    Check(GetTempPathW(MAX_PATH, temp) != 0, "GetTempPathW");
    std::wstring dir = std::wstring(temp) + L"tarnbench-" + std::to_wstring(GetCurrentProcessId());
    TarnIO::Path(dir).RemoveTree();  // a run killed earlier
    Check(TarnIO::Path(dir).CreateDir(), "creating the work directory");
    if (study) {
        std::printf("tarnbench --write-study, %s build, %d trials\n",
                    sizeof(void*) == 8 ? "x86_64" : "i686", trials);
        WriteStudy(dir, trials);
        TarnIO::Path(dir).RemoveTree();
        return 0;
    }
    const std::wstring dataFile = dir + L"\\data.bin";
    const std::wstring outFile = dir + L"\\out.bin";
    const std::wstring otherFile = dir + L"\\out-other.bin";

    std::printf("tarnbench, %s build\n", sizeof(void*) == 8 ? "x86_64" : "i686");
    std::printf("setting up: three 64 MiB files, trees of 10,000 and 1,000 entries\n");
    const double setupStart = Now();
    FillFile(dataFile);
    FillFile(outFile);
    FillFile(otherFile);
    WarmFile(dataFile);
    std::vector<TreeFile> treeFiles, smallTreeFiles;
    const Tree tree{dir + L"\\tree", MakeTree(dir + L"\\tree", 10, treeFiles)};
    const Tree smallTree{dir + L"\\small", MakeTree(dir + L"\\small", 1, smallTreeFiles)};
    {
        WalkTotals warm;  // the trees' directory entries into the cache
        RawWalk(tree.root, warm);
        RawWalk(smallTree.root, warm);
    }

    std::printf("set up in %.1f s\n", Now() - setupStart);
    PrintHeader();
    const double timedStart = Now();
    LoadRow(tree, treeFiles);  // first: the library's first use is part of it
    const CounterReach reach = ProbeCounter();
    ReadRows(dataFile);
    WriteRows(outFile, otherFile);
    ReadAllRows(dataFile);
    IteratorRows(tree, smallTree);
    PathRows(reach);
    GrowthRows(reach);

    TarnIO::Path(dir).RemoveTree();
    std::printf("timed rows took %.1f s\n", Now() - timedStart);
    std::printf("summary: %d rows judged, %d passed, %zu failed", passed + int(failures.size()),
                passed, failures.size());
    if (informational)
        std::printf(" (%d shown for information only)", informational);
    std::printf("\n");
    for (const std::string& failure : failures)
        std::printf("  FAIL: %s\n", failure.c_str());
    return failures.empty() ? 0 : 1;
}
