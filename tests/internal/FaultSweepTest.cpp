// The fault sweep: every scenario runs once to count its system calls, then
// once per call with that call failing (access denied, sharing violation,
// disk full, broken pipe), and once more with the run-time bound functions
// absent, swept the same way. Every run must end in the documented result or
// the documented exception, with nothing left open and the object still
// closable and destroyable.
//
// Each failure prints the scenario, the call index and the function; the
// summary line tells how many faults were injected and survived.
#include "../TestSupport.h"

#if defined(_WIN64)

#include "FaultInjection.h"

#include "Bindings.h"
#include "Sys.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <windows.h>

#include <fcntl.h>
#include <share.h>

#include <chrono>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <typeinfo>
#include <vector>

namespace {

namespace fi = FaultInjection;
namespace sys = TarnIO::sys;
using fi::Call;
using TarnIO::FileDescriptor;
using TarnIO::FileHandle;
using TarnIO::Path;
using TarnIO::PathStats;
using TarnIO::StdFile;
namespace calls = fi::calls;

const fi::Error errors[] = {
    {"access denied", ERROR_ACCESS_DENIED, EACCES, static_cast<LONG>(0xC0000022)},
    {"sharing violation", ERROR_SHARING_VIOLATION, EACCES, static_cast<LONG>(0xC0000043)},
    {"disk full", ERROR_DISK_FULL, ENOSPC, static_cast<LONG>(0xC000007F)},
    {"broken pipe", ERROR_BROKEN_PIPE, EPIPE, static_cast<LONG>(0xC000014B)},
};

const unsigned long symlinkTag = 0xA000000C;  // IO_REPARSE_TAG_SYMLINK
const std::string content = "fault sweep: thirty bytes long";

// ---------------------------------------------------------------------------
// A backend whose primitive operations announce themselves, so that a fault
// inside ReadAll or ReadAt is told apart by the primitive it hit.

template <class T>
struct Prefix;
template <>
struct Prefix<FileHandle> {
    static constexpr const char* text = "TarnIO::FileHandle::";
};
template <>
struct Prefix<FileDescriptor> {
    static constexpr const char* text = "TarnIO::FileDescriptor::";
};
template <>
struct Prefix<StdFile> {
    static constexpr const char* text = "TarnIO::StdFile::";
};

template <class T>
class Traced : public T {
public:
    using T::T;

    std::uint64_t GetSize() const override {
        fi::Operation op(Label("GetSize"));
        return T::GetSize();
    }
    std::uint64_t GetPosition() const override {
        fi::Operation op(Label("GetPosition"));
        return T::GetPosition();
    }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        fi::Operation op(Label("Read"));
        return T::Read(buffer, count);
    }
    std::uint64_t Write(const void* buffer, std::uint64_t count) override {
        fi::Operation op(Label("Write"));
        return T::Write(buffer, count);
    }
    void Close() override {
        fi::Operation op(Label("Close"));
        T::Close();
    }
    void Flush() override {
        fi::Operation op(Label("Flush"));
        T::Flush();
    }
    std::uint64_t Seek(std::int64_t offset, TarnIO::SeekOrigin origin) override {
        fi::Operation op(Label("Seek"));
        return T::Seek(offset, origin);
    }

    static std::string Label(const char* operation) { return std::string(Prefix<T>::text) + operation; }
};

// ---------------------------------------------------------------------------
// One run of a scenario: its steps' results, or where it stopped and what
// was thrown.

struct Caught {
    const std::type_info* type = nullptr;
    std::string message;
    std::string function;
    std::string file;
    int line = 0;
    std::vector<std::string> detailNames;
    std::optional<TarnIO::FileErrorCode> code;
    std::optional<unsigned long> win32;
    std::optional<int> errnoValue;
    std::optional<std::string> filePath;
    std::optional<std::wstring> path;
};

class ScenarioRun {
public:
    explicit ScenarioRun(std::wstring dir) : dir(std::move(dir)) {}

    std::wstring In(const std::wstring& name) const { return dir + L"\\" + name; }

    // One public operation of the library: its result is recorded, and the
    // system calls it makes belong to it.
    template <class F>
    void Step(const std::string& label, F&& f) {
        fi::Current().step = static_cast<int>(steps.size());
        fi::Operation op(label);
        stepLabels.push_back(label);
        steps.push_back(std::string());
        steps.back() = f();
    }

    void Problem(const std::string& what) { problems.push_back(what); }

    const std::wstring dir;
    std::vector<std::string> stepLabels;
    std::vector<std::string> steps;
    std::string openName;   // the file-path detail an opening constructor attaches
    std::wstring queried;   // the path detail of Path's queries
    std::optional<Caught> caught;
    std::string unexpected;  // anything thrown that is not a library error
    std::vector<std::string> problems;
};

ScenarioRun* currentRun = nullptr;

// A scenario's object: when the run ends, whichever way, it is closed again
// and destroyed; neither may throw.
template <class T>
class Held {
public:
    Held() = default;
    Held(const Held&) = delete;
    Held& operator=(const Held&) = delete;
    ~Held() {
        if (!object)
            return;
        try {
            if constexpr (!std::is_same_v<T, TarnIO::PathIterator>)
                object->Close();
        } catch (...) {
            currentRun->Problem("Close threw after the run");
        }
        object.reset();
    }

    template <class... A>
    void Make(A&&... args) {
        object.reset(new T(std::forward<A>(args)...));
    }
    T* operator->() const { return object.get(); }
    T& operator*() const { return *object; }

private:
    std::unique_ptr<T> object;
};

std::string Describe(bool ok, const PathStats& stats) {
    std::ostringstream out;
    out << "ok=" << ok << " exists=" << stats.Exists() << " lastError=" << stats.GetQueryError();
    if (stats.Exists())
        out << std::hex << " attributes=0x" << stats.GetAttributes() << " size=0x"
            << stats.GetFileSize() << " tag=0x" << stats.GetReparseTag();
    return out.str();
}

std::string Number(std::uint64_t value) { return std::to_string(value); }
std::string Bool(bool value) { return value ? "true" : "false"; }

// ---------------------------------------------------------------------------
// The scenarios. prepare runs with the real table; body is swept.

void PrepareData(ScenarioRun& r) {
    HANDLE h = ::CreateFileW(r.In(L"data.bin").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             0, nullptr);
    DWORD done = 0;
    ::WriteFile(h, content.data(), static_cast<DWORD>(content.size()), &done, nullptr);
    ::CloseHandle(h);
}

void PrepareLink(ScenarioRun& r) {
    HANDLE h = ::CreateFileW(r.In(L"link").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                             nullptr);
    DWORD done = 0;
    ::WriteFile(h, "target", 6, &done, nullptr);
    ::CloseHandle(h);
}

void PrepareTree(ScenarioRun& r) {
    PrepareData(r);
    ::CreateDirectoryW(r.In(L"tree").c_str(), nullptr);
    for (const wchar_t* d : {L"tree\\sub", L"tree\\sub\\deep", L"tree\\empty"})
        ::CreateDirectoryW(r.In(d).c_str(), nullptr);
    for (const wchar_t* f : {L"tree\\a.txt", L"tree\\sub\\b.txt", L"tree\\sub\\deep\\c.txt",
                             L"tree\\sub\\d.txt", L"tree\\z.txt"}) {
        HANDLE h = ::CreateFileW(r.In(f).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0,
                                 nullptr);
        ::CloseHandle(h);
    }
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

template <class T>
std::string ReadAllStep(Held<Traced<T>>& file) {
    std::string out;
    file->ReadAll(out);
    return out;
}

// The file's content with plain calls outside the sweep.
std::string Content(const std::wstring& path) {
    HANDLE h = sys::realTable.CreateFileW(path.c_str(), GENERIC_READ,
                                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                          OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return "(cannot open)";
    char buffer[256];
    DWORD done = 0;
    sys::realTable.ReadFile(h, buffer, sizeof buffer, &done, nullptr);
    sys::realTable.CloseHandle(h);
    return std::string(buffer, done);
}

void HandleReadAll(ScenarioRun& r) {
    Held<Traced<FileHandle>> file;
    const Path path(r.In(L"data.bin"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileHandle::FileHandle", [&] { file.Make(path); return ""; });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAllStep(file); });
    r.Step("TarnIO::FileHandle::Close", [&] { file->Close(); return ""; });
}

void DescriptorReadAll(ScenarioRun& r) {
    Held<Traced<FileDescriptor>> file;
    const Path path(r.In(L"data.bin"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] { file.Make(path); return ""; });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAllStep(file); });
    r.Step("TarnIO::FileDescriptor::Close", [&] { file->Close(); return ""; });
}

void StreamReadAll(ScenarioRun& r) {
    Held<Traced<StdFile>> file;
    const Path path(r.In(L"data.bin"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::StdFile::StdFile", [&] { file.Make(path, L"rb"); return ""; });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAllStep(file); });
    r.Step("TarnIO::StdFile::Close", [&] { file->Close(); return ""; });
}

void HandleWrite(ScenarioRun& r) {
    Held<Traced<FileHandle>> file;
    const std::string name = Narrow(r.In(L"out.bin"));
    r.openName = name;
    r.Step("TarnIO::FileHandle::FileHandle", [&] {
        file.Make(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                  nullptr);
        return "";
    });
    r.Step("TarnIO::FileHandle::Write",
           [&] { return Number(file->Write(content.data(), content.size())); });
    r.Step("TarnIO::FileHandle::Flush", [&] { file->Flush(); return ""; });
    r.Step("TarnIO::FileHandle::Close", [&] { file->Close(); return Content(r.In(L"out.bin")); });
}

void DescriptorWrite(ScenarioRun& r) {
    Held<Traced<FileDescriptor>> file;
    const std::string name = Narrow(r.In(L"out.bin"));
    r.openName = name;
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] {
        file.Make(name.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYWR,
                  _S_IREAD | _S_IWRITE);
        return "";
    });
    r.Step("TarnIO::FileDescriptor::Write",
           [&] { return Number(file->Write(content.data(), content.size())); });
    r.Step("TarnIO::FileDescriptor::Flush", [&] { file->Flush(); return ""; });
    r.Step("TarnIO::FileDescriptor::Close",
           [&] { file->Close(); return Content(r.In(L"out.bin")); });
}

void StreamWrite(ScenarioRun& r) {
    Held<Traced<StdFile>> file;
    const std::string name = Narrow(r.In(L"out.bin"));
    r.openName = name;
    r.Step("TarnIO::StdFile::StdFile", [&] { file.Make(name.c_str(), "wb", _SH_DENYWR); return ""; });
    r.Step("TarnIO::StdFile::Write",
           [&] { return Number(file->Write(content.data(), content.size())); });
    r.Step("TarnIO::StdFile::Flush", [&] { file->Flush(); return ""; });
    r.Step("TarnIO::StdFile::Close", [&] { file->Close(); return Content(r.In(L"out.bin")); });
}

// GetSize, Seek from every origin, GetPosition, and ReadAt (which saves,
// seeks, reads and seeks back).
template <class T>
void SeekSteps(ScenarioRun& r, Held<Traced<T>>& file) {
    const std::string prefix = Prefix<T>::text;
    r.Step(prefix + "GetSize", [&] {
        const std::string size = Number(file->GetSize());
        return size + " then at " + Number(file->GetPosition());
    });
    r.Step(prefix + "Seek", [&] { return Number(file->Seek(4, TarnIO::seekBegin)); });
    r.Step(prefix + "Seek", [&] { return Number(file->Seek(-2, TarnIO::seekCurrent)); });
    r.Step(prefix + "GetPosition", [&] { return Number(file->GetPosition()); });
    r.Step(prefix + "Seek", [&] { return Number(file->Seek(-3, TarnIO::seekEnd)); });
    r.Step("TarnIO::File::ReadAt", [&] {
        char buffer[5] = {};
        std::uint64_t done = file->ReadAt(6, buffer, sizeof buffer);
        return std::string(buffer, static_cast<std::size_t>(done)) + " then at " +
               Number(file->GetPosition());
    });
}

void HandleSeek(ScenarioRun& r) {
    Held<Traced<FileHandle>> file;
    const std::wstring name = r.In(L"data.bin");
    r.openName = TarnError::UnicodeEscape(name.c_str(), 0xFFFFFFFF);
    r.Step("TarnIO::FileHandle::FileHandle", [&] { file.Make(name.c_str()); return ""; });
    SeekSteps(r, file);
}

void DescriptorSeek(ScenarioRun& r) {
    Held<Traced<FileDescriptor>> file;
    const std::wstring name = r.In(L"data.bin");
    r.openName = TarnError::UnicodeEscape(name.c_str(), 0xFFFFFFFF);
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] { file.Make(name.c_str()); return ""; });
    SeekSteps(r, file);
}

void StreamSeek(ScenarioRun& r) {
    Held<Traced<StdFile>> file;
    const std::wstring name = r.In(L"data.bin");
    r.openName = TarnError::UnicodeEscape(name.c_str(), 0xFFFFFFFF);
    r.Step("TarnIO::StdFile::StdFile", [&] { file.Make(name.c_str(), L"rb", _SH_DENYNO); return ""; });
    SeekSteps(r, file);
}

void HandleQuery(ScenarioRun& r) {
    Held<Traced<FileHandle>> file;
    const Path path(r.In(L"link"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileHandle::FileHandle", [&] {
        file.Make(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                  FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        return "";
    });
    r.Step("TarnIO::FileHandle::Query", [&] {
        PathStats stats;
        bool ok = file->Query(stats);
        return Describe(ok, stats);
    });
}

void DescriptorQuery(ScenarioRun& r) {
    Held<Traced<FileDescriptor>> file;
    const Path path(r.In(L"link"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] { file.Make(path); return ""; });
    r.Step("TarnIO::FileDescriptor::Query", [&] {
        PathStats stats;
        bool ok = file->Query(stats);
        return Describe(ok, stats);
    });
}

void StreamQuery(ScenarioRun& r) {
    Held<Traced<StdFile>> file;
    const Path path(r.In(L"link"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::StdFile::StdFile", [&] { file.Make(path, L"rb", _SH_DENYNO); return ""; });
    r.Step("TarnIO::StdFile::Query", [&] {
        PathStats stats;
        bool ok = file->Query(stats);
        return Describe(ok, stats);
    });
}

// A stream made over a descriptor that the caller opened and hands over.
void StreamOverDescriptor(ScenarioRun& r) {
    Held<Traced<FileDescriptor>> descriptor;
    Held<Traced<StdFile>> file;
    const Path path(r.In(L"data.bin"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] { descriptor.Make(path); return ""; });
    r.Step("TarnIO::StdFile::StdFile", [&] {
        file.Make(descriptor->Raw(), "rb");
        descriptor->Release();  // the stream owns it now
        return "";
    });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAllStep(file); });
    r.Step("TarnIO::StdFile::Query", [&] {
        PathStats stats;
        bool ok = file->Query(stats);
        return Describe(ok, stats);
    });
    r.Step("TarnIO::StdFile::Close", [&] { file->Close(); return ""; });
}

// A descriptor made over a Win32 handle that the caller opened and hands over.
void DescriptorOverHandle(ScenarioRun& r) {
    Held<Traced<FileHandle>> handle;
    Held<Traced<FileDescriptor>> file;
    const Path path(r.In(L"data.bin"));
    r.openName = TarnError::UnicodeEscape(path.AsCStr(), 0xFFFFFFFF);
    r.Step("TarnIO::FileHandle::FileHandle", [&] { handle.Make(path); return ""; });
    r.Step("TarnIO::FileDescriptor::FileDescriptor", [&] {
        file.Make(handle->Raw(), _O_RDONLY | _O_BINARY);
        handle->Release();  // the descriptor owns it now
        return "";
    });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAllStep(file); });
    r.Step("TarnIO::FileDescriptor::Close", [&] { file->Close(); return ""; });
}

std::wstring ModulePath() {
    wchar_t name[MAX_PATH];
    DWORD length = ::GetModuleFileNameW(nullptr, name, MAX_PATH);
    return std::wstring(name, length);
}

void PathQueries(ScenarioRun& r) {
    const Path file(r.In(L"data.bin"));
    const Path dir(r.dir);
    const Path program(ModulePath());
    r.Step("TarnIO::Path::Exists", [&] { return Bool(file.Exists()); });
    r.Step("TarnIO::Path::IsReadable", [&] { return Bool(file.IsReadable()); });
    r.Step("TarnIO::Path::IsWritable", [&] { return Bool(file.IsWritable()); });
    r.Step("TarnIO::Path::Access", [&] { return Bool(file.Access(Path::AccessMask(6))); });
    r.Step("TarnIO::Path::Query", [&] {
        PathStats stats;
        bool ok = file.Query(stats);
        return Describe(ok, stats);
    });
    r.Step("TarnIO::Path::IsExecutable", [&] { return Bool(program.IsExecutable()); });
    r.queried = dir.AsString();
    r.Step("TarnIO::Path::IsDirectory", [&] { return Bool(dir.IsDirectory()); });
    r.queried = file.AsString();
    r.Step("TarnIO::Path::IsFile", [&] { return Bool(file.IsFile()); });
    r.Step("TarnIO::Path::GetFileSize", [&] { return Number(file.GetFileSize()); });
    r.Step("TarnIO::Path::GetModifyTime", [&] {
        file.GetModifyTime();
        return "";
    });
    const Path moved(r.In(L"moved.bin"));
    r.Step("TarnIO::Path::Rename", [&] { Path::Rename(file, moved); return Content(moved.AsString()); });
    r.Step("TarnIO::Path::Rename", [&] { Path::Rename(moved, file); return Content(file.AsString()); });
}

// The walk's entries, relative to the run's directory, in the order found.
void Walk(ScenarioRun& r) {
    Held<TarnIO::PathIterator> it;
    r.Step("TarnIO::PathIterator::walk", [&] {
        std::string entries;
        int reported = 0;
        fi::Current().progress = 0;
        it.Make(Path(r.In(L"tree\\*")), TarnIO::PathIterator::recursive);
        for (; !it->IsDone(); it->Next()) {
            std::wstring name = it->GetPath().AsString().substr(r.dir.size() + 1);
            entries += Narrow(name) + (it->IsDirectory() ? "\\|" : "|");
            fi::Current().progress = ++reported;
        }
        return entries;
    });
}

// ---------------------------------------------------------------------------
// What each failing call must lead to, by the operation it failed in.

enum class Kind { same, result, throws };
enum class Details {
    win32,        // FileErrorCode, Win32Error
    win32Path,    // FileErrorCode, Win32Error, filePath
    errnoValue,   // FileErrorCode, errno
    errnoPath,    // FileErrorCode, errno, filePath
    notOpen,      // FileErrorCode fileErrorNotOpen
    pathWin32,    // path, Win32Error
    win32Only,    // Win32Error
};

struct Fault {
    const fi::Error* error;
    std::wstring runDir;
    std::wstring searchPattern;
    int progress;
};

typedef std::string (*Expected)(const std::string& baseline, const Fault& fault);

struct Expect {
    Kind kind;
    const std::type_info* type;
    const char* message;
    Details details;
    const char* function;  // the Context function; null: the operation's own
    Expected result;
};

Expect Same() { return {Kind::same, nullptr, nullptr, Details::win32, nullptr, nullptr}; }
Expect Result(Expected result) {
    return {Kind::result, nullptr, nullptr, Details::win32, nullptr, result};
}
template <class E>
Expect Throws(const char* message, Details details, const char* function = nullptr) {
    return {Kind::throws, &typeid(E), message, details, function, nullptr};
}

std::string False(const std::string&, const Fault&) { return "false"; }

std::string QueryFailed(const std::string&, const Fault& fault) {
    return "ok=0 exists=0 lastError=" + std::to_string(fault.error->win32);
}

// The attribute query answered but could not learn the reparse tag.
std::string TagLost(const std::string& baseline, const Fault&) {
    std::string result = baseline;
    const std::string tag = "tag=0x";
    std::size_t at = result.find(tag);
    if (at != std::string::npos)
        result.replace(at + tag.size(), std::string::npos, "0");
    return result;
}

// The borrowed descriptor or handle was refused: false, the snapshot untouched.
std::string QueryRefused(const std::string&, const Fault&) { return "ok=0 exists=0 lastError=0"; }

// A search that failed ends its own directory's part of the walk: what was
// reported before stays, the rest of that directory and everything below it
// is missing, the other directories are walked as before.
std::string TruncatedWalk(const std::string& baseline, const Fault& fault) {
    std::wstring directory = fault.searchPattern.substr(0, fault.searchPattern.rfind(L'\\'));
    std::string inside = Narrow(directory.substr(fault.runDir.size() + 1)) + "\\";
    std::string result;
    std::size_t start = 0;
    for (int index = 0; start < baseline.size(); ++index) {
        std::size_t end = baseline.find('|', start);
        std::string entry = baseline.substr(start, end - start);
        if (index < fault.progress || entry.compare(0, inside.size(), inside) != 0)
            result += entry + "|";
        start = end + 1;
    }
    return result;
}

// The seek back inside StdFile::GetSize failed: the size is still returned,
// and the stream stands at its end, so ReadAll then finds nothing to read.
std::string AtEnd(const std::string& baseline, const Fault&) {
    const std::size_t at = baseline.find(" then at ");
    return at == std::string::npos ? "" : baseline.substr(0, at) + " then at " + baseline.substr(0, at);
}

struct Rule {
    const char* operation;  // null: any
    Call call;
    int ordinal;            // which call of the function within the operation; 0: any
    Expect expect;
};

using TarnIO::FileError;
using TarnIO::FileOpenError;
using TarnIO::FileReadError;
using TarnIO::FileWriteError;
using TarnIO::PathError;

const std::vector<Rule>& Rules() {
    static const std::vector<Rule> rules = {
        // Closing never reports anything; the object is closed all the same.
        {nullptr, calls::CloseHandle, 0, Same()},
        {nullptr, calls::_close, 0, Same()},
        {nullptr, calls::fclose, 0, Same()},
        {nullptr, calls::FindClose, 0, Same()},

        {"TarnIO::FileHandle::FileHandle", calls::CreateFileA, 0,
         Throws<FileOpenError>("unable to open file", Details::win32Path)},
        {"TarnIO::FileHandle::FileHandle", calls::CreateFileW, 0,
         Throws<FileOpenError>("unable to open file", Details::win32Path)},
        {"TarnIO::FileHandle::GetSize", calls::GetFileSizeEx, 0,
         Throws<FileError>("unable to query file size", Details::win32)},
        {"TarnIO::FileHandle::GetSize", calls::GetFileSize, 0,
         Throws<FileError>("unable to query file size", Details::win32)},
        {"TarnIO::FileHandle::Seek", calls::SetFilePointerEx, 0,
         Throws<FileError>("unable to seek in file", Details::win32)},
        {"TarnIO::FileHandle::Seek", calls::SetFilePointer, 0,
         Throws<FileError>("unable to seek in file", Details::win32)},
        {"TarnIO::FileHandle::Read", calls::ReadFile, 0,
         Throws<FileReadError>("unable to read file", Details::win32)},
        {"TarnIO::FileHandle::Write", calls::WriteFile, 0,
         Throws<FileWriteError>("unable to write file", Details::win32)},
        {"TarnIO::FileHandle::Flush", calls::FlushFileBuffers, 0,
         Throws<FileWriteError>("unable flush file buffers", Details::win32)},

        {"TarnIO::FileDescriptor::FileDescriptor", calls::_wsopen, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::FileDescriptor::FileDescriptor", calls::_sopen_s, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::FileDescriptor::FileDescriptor", calls::_open_osfhandle, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoValue)},
        {"TarnIO::FileDescriptor::GetSize", calls::_filelengthi64, 0,
         Throws<FileError>("unable to query file size", Details::errnoValue)},
        {"TarnIO::FileDescriptor::GetPosition", calls::_telli64, 0,
         Throws<FileError>("unable to query file position", Details::errnoValue)},
        {"TarnIO::FileDescriptor::Seek", calls::_lseeki64, 0,
         Throws<FileError>("unable to seek in file", Details::errnoValue)},
        {"TarnIO::FileDescriptor::Read", calls::_read, 0,
         Throws<FileReadError>("unable to read file", Details::errnoValue)},
        {"TarnIO::FileDescriptor::Write", calls::_write, 0,
         Throws<FileWriteError>("unable to write file", Details::errnoValue)},
        {"TarnIO::FileDescriptor::Flush", calls::_commit, 0,
         Throws<FileWriteError>("unable flush file buffers", Details::errnoValue)},

        {"TarnIO::StdFile::StdFile", calls::_wfopen, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::StdFile::StdFile", calls::_wfsopen, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::StdFile::StdFile", calls::fopen_s, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::StdFile::StdFile", calls::_fsopen, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoPath)},
        {"TarnIO::StdFile::StdFile", calls::_fdopen, 0,
         Throws<FileOpenError>("unable to open file", Details::errnoValue)},
        {"TarnIO::StdFile::GetSize", calls::_ftelli64, 0,
         Throws<FileError>("unable to query file size", Details::errnoValue)},
        // The seek to the end fails GetSize; the seek back's outcome is ignored.
        {"TarnIO::StdFile::GetSize", calls::_fseeki64, 1,
         Throws<FileError>("unable to query file size", Details::errnoValue)},
        {"TarnIO::StdFile::GetSize", calls::_fseeki64, 2, Result(AtEnd)},
        {"TarnIO::StdFile::GetPosition", calls::_ftelli64, 0,
         Throws<FileError>("unable to query file position", Details::errnoValue)},
        {"TarnIO::StdFile::Seek", calls::_fseeki64, 0,
         Throws<FileError>("unable to seek in file", Details::errnoValue)},
        {"TarnIO::StdFile::Seek", calls::_ftelli64, 0,
         Throws<FileError>("unable to seek in file", Details::errnoValue)},
        {"TarnIO::StdFile::Read", calls::fread, 0,
         Throws<FileReadError>("unable to read file", Details::errnoValue)},
        {"TarnIO::StdFile::Write", calls::fwrite, 0,
         Throws<FileWriteError>("unable to write file", Details::errnoValue)},
        {"TarnIO::StdFile::Flush", calls::fflush, 0,
         Throws<FileWriteError>("unable to flush file buffers", Details::errnoValue)},

        // The attribute queries of the three backends, all ending in
        // FileHandle::Query. Not learning the reparse tag is no failure.
        {"TarnIO::FileHandle::Query", calls::GetFileInformationByHandle, 0, Result(QueryFailed)},
        {"TarnIO::FileHandle::Query", calls::NtQueryInformationFile, 0, Result(TagLost)},
        {"TarnIO::FileHandle::Query", calls::malloc, 0, Result(TagLost)},
        {"TarnIO::FileHandle::Query", calls::FindFirstFileW, 0, Result(TagLost)},
        {"TarnIO::FileDescriptor::Query", calls::_get_osfhandle, 0,
         Throws<TarnError::LogicError>("file not open", Details::notOpen,
                                       "TarnIO::FileHandle::Query")},
        {"TarnIO::FileDescriptor::Query", calls::GetFileInformationByHandle, 0,
         Result(QueryFailed)},
        {"TarnIO::FileDescriptor::Query", calls::NtQueryInformationFile, 0, Result(TagLost)},
        {"TarnIO::FileDescriptor::Query", calls::malloc, 0, Result(TagLost)},
        {"TarnIO::FileDescriptor::Query", calls::FindFirstFileW, 0, Result(TagLost)},
        {"TarnIO::StdFile::Query", calls::_fileno, 0, Result(QueryRefused)},
        {"TarnIO::StdFile::Query", calls::_get_osfhandle, 0, Result(QueryRefused)},
        {"TarnIO::StdFile::Query", calls::GetFileInformationByHandle, 0, Result(QueryFailed)},
        {"TarnIO::StdFile::Query", calls::NtQueryInformationFile, 0, Result(TagLost)},
        {"TarnIO::StdFile::Query", calls::malloc, 0, Result(TagLost)},
        {"TarnIO::StdFile::Query", calls::FindFirstFileW, 0, Result(TagLost)},

        {"TarnIO::Path::Exists", calls::_waccess, 0, Result(False)},
        {"TarnIO::Path::IsReadable", calls::_waccess, 0, Result(False)},
        {"TarnIO::Path::IsWritable", calls::_waccess, 0, Result(False)},
        {"TarnIO::Path::Access", calls::_waccess, 0, Result(False)},
        {"TarnIO::Path::IsExecutable", calls::GetBinaryTypeW, 0, Result(False)},
        {"TarnIO::Path::Query", calls::GetFileAttributesW, 0, Result(QueryFailed)},
        {"TarnIO::Path::Query", calls::FindFirstFileW, 0, Result(QueryFailed)},
        {"TarnIO::Path::IsDirectory", calls::GetFileAttributesW, 0,
         Throws<PathError>("unable to query path attributes", Details::pathWin32,
                           "TarnIO::Path::GetAttribsThrow")},
        {"TarnIO::Path::IsFile", calls::GetFileAttributesW, 0,
         Throws<PathError>("unable to query path attributes", Details::pathWin32,
                           "TarnIO::Path::GetAttribsThrow")},
        {"TarnIO::Path::GetFileSize", calls::GetFileAttributesW, 0,
         Throws<PathError>("unable to query path attributes", Details::win32Only,
                           "TarnIO::PathStats::GetFileSize")},
        {"TarnIO::Path::GetFileSize", calls::FindFirstFileW, 0,
         Throws<PathError>("unable to query path attributes", Details::win32Only,
                           "TarnIO::PathStats::GetFileSize")},
        {"TarnIO::Path::GetModifyTime", calls::GetFileAttributesW, 0,
         Throws<PathError>("unable to query path attributes", Details::win32Only,
                           "TarnIO::PathStats::GetModifyTime")},
        {"TarnIO::Path::GetModifyTime", calls::FindFirstFileW, 0,
         Throws<PathError>("unable to query path attributes", Details::win32Only,
                           "TarnIO::PathStats::GetModifyTime")},
        {"TarnIO::Path::Rename", calls::MoveFileW, 0,
         Throws<TarnIO::Error>("unable to rename file", Details::win32Only)},

        {"TarnIO::PathIterator::walk", calls::FindFirstFileW, 0, Result(TruncatedWalk)},
        {"TarnIO::PathIterator::walk", calls::FindNextFileW, 0, Result(TruncatedWalk)},
    };
    return rules;
}

const Rule* FindRule(const std::string& operation, int call, int ordinal) {
    for (const Rule& rule : Rules()) {
        if (rule.call == call && (!rule.operation || operation == rule.operation) &&
            (rule.ordinal == 0 || rule.ordinal == ordinal))
            return &rule;
    }
    return nullptr;
}

// ".\FileHandle" for "TarnIO::FileHandle::Read".
std::string SourceOf(const std::string& function) {
    std::size_t begin = function.find("::") + 2;
    return ".\\" + function.substr(begin, function.find("::", begin) - begin);
}

// ---------------------------------------------------------------------------
// Running and judging.

struct Scenario {
    const char* name;
    void (*prepare)(ScenarioRun&);
    void (*body)(ScenarioRun&);
    bool reparse;  // the file is reported as a symbolic link (Wine cannot make one)
};

const Scenario scenarios[] = {
    {"FileHandle: open + read all + close", PrepareData, HandleReadAll, false},
    {"FileDescriptor: open + read all + close", PrepareData, DescriptorReadAll, false},
    {"StdFile: open + read all + close", PrepareData, StreamReadAll, false},
    {"FileHandle: open + write + flush + close", PrepareData, HandleWrite, false},
    {"FileDescriptor: open + write + flush + close", PrepareData, DescriptorWrite, false},
    {"StdFile: open + write + flush + close", PrepareData, StreamWrite, false},
    {"FileHandle: seek and size", PrepareData, HandleSeek, false},
    {"FileDescriptor: seek and size", PrepareData, DescriptorSeek, false},
    {"StdFile: seek and size", PrepareData, StreamSeek, false},
    {"FileHandle: Query on a reparse point", PrepareLink, HandleQuery, true},
    {"FileDescriptor: Query on a reparse point", PrepareLink, DescriptorQuery, true},
    {"StdFile: Query on a reparse point", PrepareLink, StreamQuery, true},
    {"StdFile over a descriptor", PrepareData, StreamOverDescriptor, false},
    {"FileDescriptor over a handle", PrepareData, DescriptorOverHandle, false},
    {"Path queries", PrepareData, PathQueries, false},
    {"PathIterator: descending walk", PrepareTree, Walk, false},
};

// The reparse-point fakes beneath the wrappers: the open file reports the
// reparse attribute, and a search for it reports the symbolic-link tag.
BOOL WINAPI ReparseInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    BOOL ok = sys::realTable.GetFileInformationByHandle(file, info);
    if (ok)
        info->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
    return ok;
}

HANDLE WINAPI ReparseSearch(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE find = sys::realTable.FindFirstFileW(name, data);
    if (find != INVALID_HANDLE_VALUE && std::wstring(data->cFileName) == L"link") {
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT;
        data->dwReserved0 = symlinkTag;
    }
    return find;
}

// What a crash, or an exception escaping a destructor, leaves as its last word.
std::string running = "(nothing)";

LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "fault sweep: crash 0x%08lx in %s\n",
                 info->ExceptionRecord->ExceptionCode, running.c_str());
    std::fflush(stderr);
    return EXCEPTION_CONTINUE_SEARCH;
}

void ReportTerminate() {
    std::fprintf(stderr, "fault sweep: std::terminate in %s\n", running.c_str());
    std::fflush(stderr);
    std::abort();
}

class FaultSweepTest : public TarnTest::TempDirTest {
protected:
    static void SetUpTestSuite() {
        // Bind the optional functions now, with the real table: the binding
        // happens once per process and must not be what a fault hits.
        TarnIO::bind::BindGetFileSizeEx();
        TarnIO::bind::BindSetFilePointerEx();
        TarnIO::bind::BindNtQueryInformationFile();
        TarnIO::bind::BindWsopen();
        TarnIO::bind::BindWfopen();
        TarnIO::bind::BindWfsopen();
    }

    void TearDown() override {
        sys::table = sys::realTable;
        ::SetCurrentDirectoryW(savedDirectory.c_str());
        TempDirTest::TearDown();
    }

    // One run in a fresh directory: the body swept under the wrapped table,
    // the object closed and destroyed, the balance of opens and closes, and
    // the directory removable afterwards.
    ScenarioRun Execute(const Scenario& scenario, bool absent, int failAt, const fi::Error* error) {
        std::wstring runDir = In(L"run" + std::to_wstring(++runs));
        ::CreateDirectoryW(runDir.c_str(), nullptr);
        ScenarioRun run(runDir);
        currentRun = &run;
        scenario.prepare(run);

        fi::Current().below = sys::realTable;
        if (scenario.reparse) {
            fi::Current().below.GetFileInformationByHandle = ReparseInformation;
            fi::Current().below.FindFirstFileW = ReparseSearch;
            // The name the system gives for an open file is volume-relative;
            // it is looked up on the current drive.
            ::SetCurrentDirectoryW(runDir.c_str());
        }
        fi::Begin(failAt, error);
        sys::table = fi::Wrapped();
        if (absent) {
            sys::table.GetFileSizeEx = nullptr;
            sys::table.SetFilePointerEx = nullptr;
            sys::table.NtQueryInformationFile = nullptr;
            sys::table._wsopen = nullptr;
            sys::table._wfopen = nullptr;
            sys::table._wfsopen = nullptr;
        }
        try {
            scenario.body(run);
        } catch (const TarnError::Error& e) {
            Caught c;
            c.type = &typeid(e);
            c.message = e.GetMessageText();
            c.function = e.GetContext().function ? e.GetContext().function : "";
            c.file = e.GetContext().file ? e.GetContext().file : "";
            c.line = e.GetContext().line;
            c.detailNames = TarnTest::DetailNames(e);
            if (auto v = e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>())
                c.code = *v;
            if (auto v = e.GetInfo<TarnError::ErrorInfo_Win32Error>())
                c.win32 = *v;
            if (auto v = e.GetInfo<TarnError::ErrorInfo_errno>())
                c.errnoValue = *v;
            if (auto v = e.GetInfo<TarnIO::ErrorInfo_filePath>())
                c.filePath = *v;
            if (auto v = e.GetInfo<TarnIO::ErrorInfo_path>())
                c.path = v->AsString();
            run.caught = c;
        } catch (const std::exception& e) {
            run.unexpected = std::string(typeid(e).name()) + ": " + e.what();
        } catch (...) {
            run.unexpected = "an exception of unknown type";
        }
        sys::table = sys::realTable;
        ::SetCurrentDirectoryW(savedDirectory.c_str());

        const fi::State& s = fi::Current();
        for (const std::string& problem : s.problems)
            run.Problem(problem);
        for (const auto& left : s.open)
            run.Problem(std::string("left open: a ") + fi::ResourceName(left.first));
        if (!TarnTest::RemoveTree(runDir))
            run.Problem("the run's directory cannot be removed: something is still open");
        currentRun = nullptr;
        return run;
    }

    // The judgement of one faulted run against the baseline; empty when it
    // did what the failing call implies.
    std::string Judge(const ScenarioRun& baseline, const ScenarioRun& run, const fi::Error& error) {
        const fi::State& s = fi::Current();
        std::ostringstream why;
        for (const std::string& problem : run.problems)
            why << problem << "; ";
        if (!run.unexpected.empty())
            why << "unexpected exception " << run.unexpected << "; ";
        if (!s.injected)
            return why.str() + "the call was never reached";
        const Rule* rule = FindRule(s.label, s.failedCall, s.ordinal);
        if (!rule)
            return why.str() + "no documented outcome for " + fi::CallName(s.failedCall) +
                   " #" + std::to_string(s.ordinal) + " in " + s.label;
        const Expect& expect = rule->expect;

        if (expect.kind != Kind::throws) {
            if (run.caught)
                why << "threw " << run.caught->type->name() << " \"" << run.caught->message
                    << "\" from " << run.caught->function << "; ";
            std::vector<std::string> expected = baseline.steps;
            if (expect.kind == Kind::result) {
                const int step = s.stepAtFault;
                Fault fault{&error, run.dir, s.searchPattern, s.progressAtFault};
                expected[step] = expect.result(baseline.steps[step], fault);
            }
            if (run.steps != expected) {
                for (std::size_t i = 0; i < std::max(run.steps.size(), expected.size()); ++i) {
                    std::string got = i < run.steps.size() ? run.steps[i] : "(not run)";
                    std::string want = i < expected.size() ? expected[i] : "(none)";
                    if (got != want)
                        why << "step " << i << " (" << baseline.stepLabels[i] << ") gave \""
                            << got << "\", expected \"" << want << "\"; ";
                }
            }
            return why.str();
        }

        if (!run.caught)
            return why.str() + "nothing was thrown";
        const Caught& c = *run.caught;
        const std::string function = expect.function ? expect.function : s.label;
        if (*c.type != *expect.type)
            why << "class " << c.type->name() << ", expected " << expect.type->name() << "; ";
        if (c.message != expect.message)
            why << "message \"" << c.message << "\", expected \"" << expect.message << "\"; ";
        if (c.function != function)
            why << "Context function " << c.function << ", expected " << function << "; ";
        if (c.file != SourceOf(function))
            why << "Context file " << c.file << ", expected " << SourceOf(function) << "; ";
        if (c.line <= 0)
            why << "Context line " << c.line << "; ";
        // The steps before the throwing one went as in the baseline.
        for (std::size_t i = 0; i + 1 < run.steps.size(); ++i)
            if (run.steps[i] != baseline.steps[i])
                why << "step " << i << " gave \"" << run.steps[i] << "\"; ";

        typedef std::vector<std::string> Names;
        const int errnoValue = error.errnoValue;
        switch (expect.details) {
        case Details::win32:
        case Details::win32Path:
            if (c.detailNames != (expect.details == Details::win32
                                      ? Names{"FileErrorCode", "Win32Error"}
                                      : Names{"FileErrorCode", "Win32Error", "filePath"}))
                why << "details " << Join(c.detailNames) << "; ";
            if (c.code != TarnIO::MapFileErrorWin32(error.win32))
                why << "FileErrorCode " << (c.code ? int(*c.code) : -1) << "; ";
            if (c.win32 != error.win32)
                why << "Win32Error " << (c.win32 ? long(*c.win32) : -1) << "; ";
            break;
        case Details::errnoValue:
        case Details::errnoPath:
            if (c.detailNames != (expect.details == Details::errnoValue
                                      ? Names{"FileErrorCode", "errno"}
                                      : Names{"FileErrorCode", "errno", "filePath"}))
                why << "details " << Join(c.detailNames) << "; ";
            if (c.code != TarnIO::MapFileErrorErrno(errnoValue))
                why << "FileErrorCode " << (c.code ? int(*c.code) : -1) << "; ";
            if (c.errnoValue != errnoValue)
                why << "errno " << (c.errnoValue ? *c.errnoValue : -1) << "; ";
            break;
        case Details::notOpen:
            if (c.detailNames != Names{"FileErrorCode"} || c.code != TarnIO::fileErrorNotOpen)
                why << "details " << Join(c.detailNames) << "; ";
            break;
        case Details::pathWin32:
            if (c.detailNames != Names{"path", "Win32Error"})
                why << "details " << Join(c.detailNames) << "; ";
            if (c.path != run.queried)
                why << "path " << Narrow(c.path.value_or(L"(none)")) << "; ";
            if (c.win32 != error.win32)
                why << "Win32Error " << (c.win32 ? long(*c.win32) : -1) << "; ";
            break;
        case Details::win32Only:
            if (c.detailNames != Names{"Win32Error"})
                why << "details " << Join(c.detailNames) << "; ";
            if (c.win32 != error.win32)
                why << "Win32Error " << (c.win32 ? long(*c.win32) : -1) << "; ";
            break;
        }
        if ((expect.details == Details::win32Path || expect.details == Details::errnoPath) &&
            c.filePath != run.openName)
            why << "filePath " << c.filePath.value_or("(none)") << ", expected " << run.openName
                << "; ";
        return why.str();
    }

    static std::string Join(const std::vector<std::string>& names) {
        std::string text = "{";
        for (const std::string& name : names)
            text += (text.size() > 1 ? ", " : "") + name;
        return text + "}";
    }

    std::wstring savedDirectory = CurrentDirectory();
    static std::wstring CurrentDirectory() {
        wchar_t text[MAX_PATH];
        DWORD length = ::GetCurrentDirectoryW(MAX_PATH, text);
        return std::wstring(text, length);
    }

    int runs = 0;
};

TEST_F(FaultSweepTest, EveryCallFailsInTurn) {
    ::SetUnhandledExceptionFilter(ReportCrash);
    std::set_terminate(ReportTerminate);
    const auto started = std::chrono::steady_clock::now();
    int injected = 0;
    int survived = 0;
    int configurations = 0;

    for (const Scenario& scenario : scenarios) {
        bool usesBindings = true;
        for (bool absent : {false, true}) {
            // The run-time bound functions absent, as on a system without
            // them: the fallbacks run, and they are swept in turn.
            if (absent && !usesBindings)
                continue;
            const std::string name =
                std::string(scenario.name) + (absent ? " [bound functions absent]" : "");
            running = name + ", counting run";
            ScenarioRun baseline = Execute(scenario, absent, -1, nullptr);
            const int count = fi::Current().calls;
            usesBindings = false;
            for (Call bound : {calls::GetFileSizeEx, calls::SetFilePointerEx,
                               calls::NtQueryInformationFile, calls::_wsopen, calls::_wfopen,
                               calls::_wfsopen})
                usesBindings = usesBindings || fi::Current().totals[bound] > 0;
            ++configurations;
            std::printf("  %-66s %3d calls\n", name.c_str(), count);
            if (std::getenv("FAULT_SWEEP_SHOW"))
                for (std::size_t i = 0; i < baseline.steps.size(); ++i)
                    std::printf("    %s = %s\n", baseline.stepLabels[i].c_str(), baseline.steps[i].c_str());
            if (baseline.caught || !baseline.unexpected.empty() || !baseline.problems.empty()) {
                ADD_FAILURE() << name << ": the run without faults failed: "
                              << (baseline.caught ? baseline.caught->message : baseline.unexpected)
                              << (baseline.problems.empty() ? "" : baseline.problems[0]);
                continue;
            }
            for (int index = 0; index < count; ++index) {
                for (const fi::Error& error : errors) {
                    running = name + ", call #" + std::to_string(index) + ", " + error.name;
                    ScenarioRun run = Execute(scenario, absent, index, &error);
                    const fi::State& s = fi::Current();
                    ++injected;
                    std::string why = Judge(baseline, run, error);
                    if (why.empty()) {
                        ++survived;
                    } else {
                        ADD_FAILURE() << name << ": call #" << index << " "
                                      << fi::CallName(s.failedCall) << " (" << error.name
                                      << ", in " << s.label << "): " << why;
                    }
                    // malloc fails only one way.
                    if (s.failedCall == calls::malloc)
                        break;
                }
            }
        }
    }
    running = "(done)";
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("fault sweep: %d faults injected over %d scenario runs, %d survived, %d failed "
                "(%.1f s)\n",
                injected, configurations, survived, injected - survived, seconds);
    EXPECT_GT(injected, 0);
}

}  // namespace

#else  // !_WIN64

// The sweep wraps every table entry with one template, which needs the single
// calling convention of x86_64; 32-bit builds do not run it.
TEST(FaultSweepTest, EveryCallFailsInTurn) {
    GTEST_SKIP() << "the fault sweep is built for x86_64 only";
}

#endif
