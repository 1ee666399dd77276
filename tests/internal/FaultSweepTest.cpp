// The fault sweep: each scenario runs once to count its system calls, then once per call with
// that call failing (access denied, sharing violation, disk full, broken pipe), and again with
// the run-time bound functions absent. Every run must end in the documented result or exception,
// with nothing left open, the object still closable and destroyable, no temporary of a save left
// behind and nothing removed that a link points to.
#include "../TestSupport.h"

#include "Bindings.h"
#include "FakeLinks.h"
#include "FaultInjection.h"

#include <TarnIO/AtomicFile.h>
#include <TarnIO/Error.h>
#include <TarnIO/FileDescriptor.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>
#include <TarnIO/StdFile.h>

#include <chrono>
#include <numeric>

namespace {

namespace fi = FaultInjection;
namespace sys = TarnIO::sys;
namespace calls = fi::calls;
using fi::Call;
using namespace TarnIO;
using TarnTest::Names;

const fi::Error errors[] = {
    {"access denied", ERROR_ACCESS_DENIED, EACCES, LONG(0xC0000022)},
    {"sharing violation", ERROR_SHARING_VIOLATION, EACCES, LONG(0xC0000043)},
    {"disk full", ERROR_DISK_FULL, ENOSPC, LONG(0xC000007F)},
    {"broken pipe", ERROR_BROKEN_PIPE, EPIPE, LONG(0xC000014B)},
};
const std::string content = "fault sweep: thirty bytes long";

std::string Text(const char* text) { return text ? text : ""; }
std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::string Number(std::uint64_t value) { return std::to_string(value); }
std::string Escaped(const std::wstring& p) { return TarnError::UnicodeEscape(p.c_str(), ~0u); }
struct FaultSweepTest : TarnTest::TempDirTest { using TempDirTest::ReadBack; };
const auto ReadBack = FaultSweepTest::ReadBack;

template <class T> const std::string nameOf = "FileHandle";
template <> const std::string nameOf<FileDescriptor> = "FileDescriptor";
template <> const std::string nameOf<StdFile> = "StdFile";
template <class T> std::string Op(std::string o) { return "TarnIO::" + nameOf<T> + "::" + o; }

// A backend whose primitives announce themselves, so a fault inside ReadAll or ReadAt is told
// apart by the primitive it hit.
template <class T>
struct Traced : T {
    using T::T;
#define FAULT_TRACED(name, params, args)                                                   \
    auto name params->decltype(std::declval<T&>().name args) override {                    \
        return fi::Operation(Op<T>(#name)), T::name args;                                  \
    }
    FAULT_TRACED(GetSize, () const, ()) FAULT_TRACED(GetPosition, () const, ())
    FAULT_TRACED(Read, (void* b, std::uint64_t n), (b, n))
    FAULT_TRACED(Write, (const void* b, std::uint64_t n), (b, n))
    FAULT_TRACED(Seek, (std::int64_t o, SeekOrigin w), (o, w))
    FAULT_TRACED(Flush, (), ()) FAULT_TRACED(Close, (), ())
#undef FAULT_TRACED
};

// One run of a scenario: its steps' results, or where it stopped and what was thrown.
struct ScenarioRun {
    std::wstring dir;
    std::wstring In(const std::wstring& name) const { return dir + L"\\" + name; }
    // One public operation: its result is recorded, and the system calls it makes are its own.
    template <class F> void Step(const std::string& label, F&& f) {
        fi::Current().step = int(steps.size());
        fi::Operation op(label);
        labels.push_back(label), steps.emplace_back(), steps.back() = f();
    }
    Names labels, steps, problems;
    std::string openName;  // the filePath detail an opening constructor attaches
    std::wstring queried;  // the path detail of Path's queries
    std::shared_ptr<std::exception> caught;  // a copy of the library error thrown
    std::string unexpected;                  // anything else thrown
    auto Caught() const { return dynamic_cast<const TarnError::Error*>(caught.get()); }
};
ScenarioRun* currentRun = nullptr;

// A scenario's object: when the run ends, whichever way, it is closed again without throwing
// and destroyed.
template <class T>
struct Held : std::unique_ptr<T> {
    ~Held() {
        if constexpr (!std::is_same_v<T, PathIterator>) try { *this ? (*this)->Close() : void(); }
            catch (...) { currentRun->problems.push_back("Close threw after the run"); }
    }
    template <class... A> void Make(A&&... a) { this->reset(new T(std::forward<A>(a)...)); }
};
template <class T> using Object = Held<Traced<T>>;

template <class S>
std::string Queried(S& object) {
    PathStats s;
    std::ostringstream out;
    out << "ok=" << object.Query(s);
    out << " exists=" << s.Exists() << " lastError=" << s.GetQueryError();
    if (s.Exists())
        out << std::hex << " attributes=0x" << s.GetAttributes() << " size=0x" << s.GetFileSize()
            << " tag=0x" << s.GetReparseTag();
    return out.str();
}
template <class T> std::string ReadAll(T& file) { std::string s; file->ReadAll(s); return s; }

// How each backend opens: kind 0 a Path to read, 1 a narrow name with every argument to
// write, 2 a wide name, 3 a reparse point itself.
void Open(Object<FileHandle>& f, int kind, const std::wstring& name) {
    if (kind == 1)
        return f.Make(Narrow(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (kind == 3)
        return f.Make(Path(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                      FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    kind == 0 ? f.Make(Path(name)) : f.Make(name.c_str());
}
void Open(Object<FileDescriptor>& f, int kind, const std::wstring& name) {
    if (kind == 1)
        return f.Make(Narrow(name).c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY,
                      _SH_DENYWR, _S_IREAD | _S_IWRITE);
    kind == 2 ? f.Make(name.c_str()) : f.Make(Path(name));
}
void Open(Object<StdFile>& f, int kind, const std::wstring& name) {
    if (kind < 2)
        return kind ? f.Make(Narrow(name).c_str(), "wb", _SH_DENYWR) : f.Make(Path(name), L"rb");
    kind == 2 ? f.Make(name.c_str(), L"rb", _SH_DENYNO) : f.Make(Path(name), L"rb", _SH_DENYNO);
}

// The backend scenarios by the same kinds: open + read all + close; open + write + flush +
// close; seek and size; Query on a reparse point.
template <class T, int kind>
void BackendScenario(ScenarioRun& r) {
    Object<T> file;
    const std::wstring name = r.In(kind == 1 ? L"out.bin" : kind == 3 ? L"link" : L"data.bin");
    r.openName = kind == 1 ? Narrow(name) : Escaped(name);
    r.Step(Op<T>(nameOf<T>), [&] { Open(file, kind, name); return ""; });
    if (kind == 0)
        r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAll(file); });
    if (kind == 1) {
        r.Step(Op<T>("Write"), [&] { return Number(file->Write(content.data(), content.size())); });
        r.Step(Op<T>("Flush"), [&] { file->Flush(); return ""; });
    }
    if (kind < 2)
        r.Step(Op<T>("Close"), [&] { file->Close(); return kind ? ReadBack(name) : ""; });
    if (kind == 3)
        r.Step(Op<T>("Query"), [&] { return Queried(*file); });
    if (kind != 2)
        return;
    r.Step(Op<T>("GetSize"), [&] {
        const std::string size = Number(file->GetSize());
        return size + " then at " + Number(file->GetPosition());
    });
    for (const auto& [offset, origin] : {std::pair(4, seekBegin), std::pair(-2, seekCurrent)})
        r.Step(Op<T>("Seek"), [&] { return Number(file->Seek(offset, origin)); });
    r.Step(Op<T>("GetPosition"), [&] { return Number(file->GetPosition()); });
    r.Step(Op<T>("Seek"), [&] { return Number(file->Seek(-3, seekEnd)); });
    r.Step("TarnIO::File::ReadAt", [&] {  // saves, seeks, reads and seeks back
        char buffer[5] = {};
        const std::size_t done = std::size_t(file->ReadAt(6, buffer, sizeof buffer));
        return std::string(buffer, done) + " then at " + Number(file->GetPosition());
    });
}

// An object made over a descriptor or handle that the caller hands over.
template <class T, class Owner>
void HandOverScenario(ScenarioRun& r) {
    Object<Owner> owner;
    Object<T> file;
    const Path path(r.In(L"data.bin"));
    r.openName = Escaped(path.AsString());
    r.Step(Op<Owner>(nameOf<Owner>), [&] { owner.Make(path); return ""; });
    r.Step(Op<T>(nameOf<T>), [&] {
        if constexpr (std::is_same_v<T, StdFile>)
            file.Make(owner->Raw(), "rb");
        else
            file.Make(owner->Raw(), _O_RDONLY | _O_BINARY);
        return owner->Release(), "";
    });
    r.Step("TarnIO::Stream::ReadAll", [&] { return ReadAll(file); });
    if constexpr (std::is_same_v<T, StdFile>)
        r.Step(Op<T>("Query"), [&] { return Queried(*file); });
    r.Step(Op<T>("Close"), [&] { file->Close(); return ""; });
}

void PathQueries(ScenarioRun& r) {
    const Path file(r.In(L"data.bin")), dir(r.dir), moved(r.In(L"moved.bin"));
    wchar_t program[MAX_PATH];
    const Path self(std::wstring(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH)));
    auto step = [&](const std::string& op, auto f) { r.Step("TarnIO::Path::" + op, f); };
    step("Exists", [&] { return Number(file.Exists()); });
    step("IsReadable", [&] { return Number(file.IsReadable()); });
    step("IsWritable", [&] { return Number(file.IsWritable()); });
    step("Access", [&] { return Number(file.Access(Path::AccessMask(6))); });
    step("Query", [&] { return Queried(file); });
    step("IsExecutable", [&] { return Number(self.IsExecutable()); });
    r.queried = dir.AsString();
    step("IsDirectory", [&] { return Number(dir.IsDirectory()); });
    r.queried = file.AsString();
    step("IsFile", [&] { return Number(file.IsFile()); });
    step("GetFileSize", [&] { return Number(file.GetFileSize()); });
    step("GetModifyTime", [&] { return file.GetModifyTime(), ""; });
    for (const auto& [from, to] : {std::pair(file, moved), std::pair(moved, file)})
        step("Rename", [&] { return Path::Rename(from, to), ReadBack(to.AsString()); });
}

// The walk's entries, relative to the run's directory, in the order found.
void Walk(ScenarioRun& r) {
    Held<PathIterator> it;
    r.Step("TarnIO::PathIterator::walk", [&] {
        std::string entries;
        it.Make(Path(r.In(L"tree\\*")), PathIterator::recursive);
        for (int reported = 0; !it->IsDone(); it->Next()) {
            entries += Narrow(it->GetPath().AsString().substr(r.dir.size() + 1));
            entries += it->IsDirectory() ? "\\|" : "|";
            fi::Current().progress = ++reported;
        }
        return entries;
    });
}

// Make and remove directories, files and a tree, and the extended form.
void PathDirectories(ScenarioRun& r) {
    auto step = [&](const std::string& op, auto f) { r.Step("TarnIO::Path::" + op, f); };
    step("CreateDir", [&] { return Number(Path(r.In(L"new")).CreateDir()); });
    step("CreateDirs", [&] { return Number(Path(r.In(L"a\\b\\c")).CreateDirs()); });
    step("RemoveDir", [&] { return Number(Path(r.In(L"new")).RemoveDir()); });
    step("RemoveFile", [&] { return Number(Path(r.In(L"data.bin")).RemoveFile()); });
    step("Extended", [&] {
        return Number(Path(r.In(L"x\\..\\y")).Extended().AsString() == L"\\\\?\\" + r.In(L"y"));
    });
    step("RemoveTree", [&] { return Number(Path(r.In(L"tree")).RemoveTree()); });
}

// A save over a hidden target, committed; one abandoned.
void AtomicSaves(ScenarioRun& r) {
    Held<AtomicFile> saved, abandoned;
    r.queried = r.In(L"saved.txt");
    auto step = [&](const std::string& op, auto f) { r.Step("TarnIO::AtomicFile::" + op, f); };
    step("AtomicFile", [&] { return saved.Make(Path(r.queried)), ""; });
    step("Write", [&] { return Number(saved->Write(content.data(), content.size())); });
    step("Commit", [&] {
        saved->Commit();
        const bool hidden = ::GetFileAttributesW(r.queried.c_str()) & FILE_ATTRIBUTE_HIDDEN;
        return ReadBack(r.queried) + (hidden ? " hidden" : "");
    });
    step("AtomicFile", [&] { return abandoned.Make(Path(r.In(L"data.bin"))), ""; });
    step("Write", [&] { return Number(abandoned->Write("x", 1)); });
    step("Close", [&] { return abandoned->Close(), ReadBack(r.In(L"data.bin")); });
}

// What the system call table reports beneath the wrappers: for FileHandle::Query, every open
// file has the reparse attribute and a search for "link" the symbolic-link tag (the system's
// name for an open file is looked up on the current drive); for RemoveTree, FakeLinks.h.
BOOL WINAPI ReparseInformation(HANDLE file, LPBY_HANDLE_FILE_INFORMATION info) {
    const BOOL ok = sys::realTable.GetFileInformationByHandle(file, info);
    info->dwFileAttributes |= ok ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
    return ok;
}
HANDLE WINAPI ReparseSearch(LPCWSTR name, LPWIN32_FIND_DATAW data) {
    HANDLE find = sys::realTable.FindFirstFileW(name, data);
    if (find != INVALID_HANDLE_VALUE && std::wstring(data->cFileName) == L"link")
        data->dwFileAttributes |= FILE_ATTRIBUTE_REPARSE_POINT, data->dwReserved0 = 0xA000000C;
    return find;
}
void DressQuery(sys::Table& below, const std::wstring& dir) {
    below.GetFileInformationByHandle = ReparseInformation, below.FindFirstFileW = ReparseSearch;
    ::SetCurrentDirectoryW(dir.c_str());
}
void DressLinks(sys::Table& below, const std::wstring& dir) {
    FakeLinks::Install(below, dir + L"\\out");
}

struct Scenario {
    std::string name;
    void (*body)(ScenarioRun&);
    decltype(&DressQuery) dress = nullptr;
};
template <class T>
void AddScenarios(std::vector<Scenario>& list) {
    const std::string n = nameOf<T>;
    list.insert(list.end(), {{n + ": open + read all + close", BackendScenario<T, 0>},
                             {n + ": open + write + flush + close", BackendScenario<T, 1>},
                             {n + ": seek and size", BackendScenario<T, 2>},
                             {n + ": Query on a reparse point", BackendScenario<T, 3>,
                              DressQuery}});
}
std::vector<Scenario> Scenarios() {
    std::vector<Scenario> list;
    AddScenarios<FileHandle>(list), AddScenarios<FileDescriptor>(list);
    AddScenarios<StdFile>(list);
    list.insert(list.end(),
                {{"StdFile over a descriptor", HandOverScenario<StdFile, FileDescriptor>},
                 {"FileDescriptor over a handle", HandOverScenario<FileDescriptor, FileHandle>},
                 {"Path queries", PathQueries}, {"PathIterator: descending walk", Walk},
                 {"Path: make and remove, links in the tree", PathDirectories, DressLinks},
                 {"AtomicFile: committed and abandoned", AtomicSaves}});
    return list;
}

// What a failing call must lead to, by the operation it failed in: the steps as without the
// fault, with the faulting step's result changed as documented, or the documented exception.
struct Fault { const std::string& baseline; const fi::State& f; const std::wstring& runDir; };
using Expected = std::string (*)(Fault);
struct Rule {
    std::string operation;       // empty: any
    Call call; int ordinal;      // which call of the function within the operation; 0: any
    Expected result;             // the faulting step's result; null: as without the fault
    const std::type_info* type;  // or this is thrown; null: nothing is
    std::string message, function;  // function: the Context function; empty: the operation's
    Names details;
    bool fromFault = false;  // the path or file name detail is the name the failed call was about
};
std::string False(Fault) { return "0"; }
std::string QueryRefused(Fault) { return "ok=0 exists=0 lastError=0"; }  // left untouched
std::string QueryFailed(Fault x) { return "ok=0 exists=0 lastError=" + Number(x.f.error->win32); }
std::string TagLost(Fault x) { return x.baseline.substr(0, x.baseline.find("tag=0x") + 6) + "0"; }
// The seek back in StdFile::GetSize failed: the size is returned, the stream left at its end
// (so ReadAll reads nothing).
std::string AtEnd(Fault x) {
    const std::string size = x.baseline.substr(0, x.baseline.find(" then at "));
    return size == x.baseline ? "" : size + " then at " + size;
}
// A failed search ends its own directory's part of the walk: what was reported stays, the rest
// of that directory and everything below it is missing, the other directories are walked.
std::string TruncatedWalk(Fault x) {
    const std::wstring& pattern = x.f.failedName;
    const std::wstring directory = pattern.substr(0, pattern.rfind(L'\\'));
    const std::string inside = Narrow(directory.substr(x.runDir.size() + 1)) + "\\";
    std::string result, entry;
    std::istringstream entries(x.baseline);
    for (int index = 0; std::getline(entries, entry, '|'); ++index)
        if (index < x.f.progressAtFault || entry.compare(0, inside.size(), inside) != 0)
            result += entry + "|";
    return result;
}

std::vector<Rule> MakeRules() {
    std::vector<Rule> rules;
    auto result = [&](const std::string& op, Call call, Expected e, int ordinal = 0) {
        rules.push_back({op, call, ordinal, e, nullptr, "", "", {}}); };
    auto throws = [&](const std::string& op, Call call, const std::type_info& type, const char* msg,
                      const Names& details, const std::string& function = "", int ordinal = 0) {
        rules.push_back({op, call, ordinal, nullptr, &type, msg, function, details}); };
    const Names errnoOnly{"FileErrorCode", "errno"};
    // Closing never reports anything; the object is closed all the same.
    for (Call call : {calls::CloseHandle, calls::_close, calls::fclose, calls::FindClose})
        result("", call, nullptr);
    const char* const sizeText = "unable to query file size";
    throws("TarnIO::StdFile::GetSize", calls::_fseeki64, typeid(FileError), sizeText, errnoOnly, "",
           1);
    result("TarnIO::StdFile::GetSize", calls::_fseeki64, AtEnd, 2);
    // Per operation (empty: the constructor), its class, message and the calls failing it in
    // FileHandle, FileDescriptor and StdFile. The details follow from the backend (Win32 error or
    // errno) and the file path is added when opened by name.
    auto op = [&](const std::string& name, const std::type_info& type, const char* text,
                  std::vector<std::vector<Call>> fails) {
        for (int b = 0; b < 3; ++b) {
            const std::string backend = b ? b == 1 ? "FileDescriptor" : "StdFile" : "FileHandle";
            Names details{"FileErrorCode", b ? "errno" : "Win32Error", "filePath"};
            details.resize(name.empty() ? 3 : 2);
            for (Call call : fails[b])
                throws("TarnIO::" + backend + "::" + (name.empty() ? backend : name), call, type,
                       text, details);
        }
    };
    op("", typeid(FileOpenError), "unable to open file",
       {{calls::CreateFileA, calls::CreateFileW}, {calls::_wsopen, calls::_sopen_s},
        {calls::_wfopen, calls::_wfsopen, calls::fopen_s, calls::_fsopen}});
    op("GetSize", typeid(FileError), sizeText,
       {{calls::GetFileSizeEx, calls::GetFileSize}, {calls::_filelengthi64}, {calls::_ftelli64}});
    op("GetPosition", typeid(FileError), "unable to query file position",
       {{}, {calls::_telli64}, {calls::_ftelli64}});
    op("Seek", typeid(FileError), "unable to seek in file",
       {{calls::SetFilePointerEx, calls::SetFilePointer}, {calls::_lseeki64},
        {calls::_fseeki64, calls::_ftelli64}});
    op("Read", typeid(FileReadError), "unable to read file",
       {{calls::ReadFile}, {calls::_read}, {calls::fread}});
    op("Write", typeid(FileWriteError), "unable to write file",
       {{calls::WriteFile}, {calls::_write}, {calls::fwrite}});
    op("Flush", typeid(FileWriteError), "unable flush file buffers",
       {{calls::FlushFileBuffers}, {calls::_commit}, {}});
    op("Flush", typeid(FileWriteError), "unable to flush file buffers", {{}, {}, {calls::fflush}});
    // Made over a descriptor or handle handed over: no file path.
    throws("TarnIO::FileDescriptor::FileDescriptor", calls::_open_osfhandle, typeid(FileOpenError),
           "unable to open file", errnoOnly);
    throws("TarnIO::StdFile::StdFile", calls::_fdopen, typeid(FileOpenError), "unable to open file",
           errnoOnly);
    // The backends' attribute queries all end in FileHandle::Query; a lost reparse tag is no
    // failure.
    for (const std::string backend : {"FileHandle", "FileDescriptor", "StdFile"}) {
        result("TarnIO::" + backend + "::Query", calls::GetFileInformationByHandle, QueryFailed);
        for (Call call : {calls::NtQueryInformationFile, calls::malloc, calls::FindFirstFileW})
            result("TarnIO::" + backend + "::Query", call, TagLost);
    }
    throws("TarnIO::FileDescriptor::Query", calls::_get_osfhandle, typeid(TarnError::LogicError),
           "file not open", {"FileErrorCode"}, "TarnIO::FileHandle::Query");
    result("TarnIO::StdFile::Query", calls::_fileno, QueryRefused);
    result("TarnIO::StdFile::Query", calls::_get_osfhandle, QueryRefused);
    for (const char* op : {"Exists", "IsReadable", "IsWritable", "Access"})
        result(std::string("TarnIO::Path::") + op, calls::_waccess, False);
    result("TarnIO::Path::IsExecutable", calls::GetBinaryTypeW, False);
    const char* const attributes = "unable to query path attributes";
    for (Call call : {calls::GetFileAttributesW, calls::FindFirstFileW}) {
        result("TarnIO::Path::Query", call, QueryFailed);
        for (const std::string op : {"GetFileSize", "GetModifyTime"})
            throws("TarnIO::Path::" + op, call, typeid(PathError), attributes, {"Win32Error"},
                   "TarnIO::PathStats::" + op);
    }
    for (const std::string op : {"IsDirectory", "IsFile"})
        throws("TarnIO::Path::" + op, calls::GetFileAttributesW, typeid(PathError), attributes,
               {"path", "Win32Error"}, "TarnIO::Path::GetAttribsThrow");
    throws("TarnIO::Path::Rename", calls::MoveFileW, typeid(TarnIO::Error), "unable to rename file",
           {"Win32Error"});
    for (Call call : {calls::FindFirstFileW, calls::FindNextFileW})
        result("TarnIO::PathIterator::walk", call, TruncatedWalk);
    // Making and removing name what the failed call was about; a tree's removal goes on past
    // it and then throws.
    const Names withPath{"FileErrorCode", "Win32Error", "path"};
    auto throwsAt = [&](const std::string& op, Call call, const std::type_info& type,
                        const char* text, const Names& details) {
        rules.push_back({op, call, 0, nullptr, &type, text, "", details, true});
    };
    const std::string path = "TarnIO::Path::";
    const std::type_info& error = typeid(TarnIO::Error);
    for (const char* op : {"CreateDir", "CreateDirs"})
        throwsAt(path + op, calls::CreateDirectoryW, error, "unable to create directory", withPath);
    result(path + "CreateDirs", calls::GetFileAttributesW, nullptr);  // only after a failure
    throwsAt(path + "RemoveDir", calls::RemoveDirectoryW, error, "unable to remove directory",
             withPath);
    throwsAt(path + "RemoveFile", calls::DeleteFileW, error, "unable to remove file", withPath);
    throwsAt(path + "Extended", calls::GetFullPathNameW, error, "unable to make extended path",
             withPath);
    for (Call call : {calls::GetFullPathNameW, calls::GetFileAttributesW, calls::CreateFileW,
                      calls::FindFirstFileW, calls::GetFileInformationByHandle,
                      calls::FindNextFileW, calls::SetFileAttributesW, calls::DeleteFileW,
                      calls::RemoveDirectoryW})
        throwsAt(path + "RemoveTree", call, error, "unable to remove directory tree", withPath);
    // A save: the temporary's name when it cannot be made, the target when it cannot replace
    // it. A temporary that cannot be removed stays, unreported (Close never throws).
    throwsAt("TarnIO::AtomicFile::AtomicFile", calls::CreateFileW, typeid(FileOpenError),
             "unable to open file", {"FileErrorCode", "Win32Error", "filePath"});
    throws("TarnIO::AtomicFile::Write", calls::WriteFile, typeid(FileWriteError),
           "unable to write file", {"FileErrorCode", "Win32Error"}, "TarnIO::FileHandle::Write");
    for (Call call : {calls::FlushFileBuffers, calls::GetFileAttributesW,
                      calls::SetFileAttributesW, calls::MoveFileExW})
        throws("TarnIO::AtomicFile::Commit", call, typeid(FileWriteError), "unable to replace file",
               withPath);
    result("TarnIO::AtomicFile::Close", calls::DeleteFileW, nullptr);
    return rules;
}

const Rule* FindRule(const std::string& operation, int call, int ordinal) {
    static const std::vector<Rule> rules = MakeRules();
    for (const Rule& rule : rules)
        if (rule.call == call && (rule.operation.empty() || operation == rule.operation) &&
            (rule.ordinal == 0 || rule.ordinal == ordinal))
            return &rule;
    return nullptr;
}

// What one faulted run did wrong against the baseline; empty when it did what it must.
std::string Judge(const ScenarioRun& baseline, const ScenarioRun& run, const fi::Error& error) {
    const fi::State& s = fi::Current();
    std::ostringstream why;
    for (const std::string& problem : run.problems)
        why << problem << "; ";
    if (!run.unexpected.empty())
        why << "unexpected exception " << run.unexpected << "; ";
    const Rule* rule = s.injected ? FindRule(s.label, s.failedCall, s.ordinal) : nullptr;
    if (!rule && !s.injected)
        return why.str() + "the call was never reached";
    if (!rule)
        return why.str() + "no documented outcome for " + fi::CallName(s.failedCall) + " #" +
               std::to_string(s.ordinal) + " in " + s.label;
    Names expected = baseline.steps;  // the steps before the faulting one go as without it
    if (rule->result)
        expected[s.stepAtFault] = rule->result({baseline.steps[s.stepAtFault], s, run.dir});
    if (rule->type)  // the throwing step is the last and records nothing
        expected.resize(s.stepAtFault + 1), expected.back().clear();
    auto joined = [](const Names& n) { std::string t; for (auto& x : n) t += x + "|"; return t; };
    if (run.steps != expected)
        why << "steps " << joined(run.steps) << ", expected " << joined(expected) << "; ";
    const TarnError::Error* e = run.Caught();
    if (!rule->type && e)
        why << "threw \"" << e->GetMessageText() << "\" from " << Text(e->GetContext().function);
    if (!rule->type || !e)
        return why.str() + (rule->type ? "nothing was thrown" : "");
    const std::string function = rule->function.empty() ? s.label : rule->function;
    const std::string file = ".\\" + function.substr(8, function.find("::", 8) - 8);
    const TarnError::Context& where = e->GetContext();  // class, message, Context file and function
    const std::string got = typeid(*e).name() + ("|" + e->GetMessageText()) + "|" +
                            Text(where.file) + "|" + Text(where.function);
    const std::string want =
        rule->type->name() + ("|" + rule->message) + "|" + file + "|" + function;
    if (got != want || where.line <= 0)
        why << got << " line " << where.line << ", expected " << want << "; ";
    // The details in order, each with the value the fault implies.
    const Names& names = rule->details;
    auto has = [&](const char* name) { return std::count(names.begin(), names.end(), name) > 0; };
    const FileErrorCode code = has("Win32Error") ? MapFileErrorWin32(error.win32)
                               : has("errno")    ? MapFileErrorErrno(error.errnoValue)
                                                 : fileErrorNotOpen;
    const auto* c = e->GetInfo<ErrorInfo_FileErrorCode>();
    const auto* w = e->GetInfo<TarnError::ErrorInfo_Win32Error>();
    const auto* n = e->GetInfo<TarnError::ErrorInfo_errno>();
    const auto* f = e->GetInfo<ErrorInfo_filePath>();
    const auto* p = e->GetInfo<ErrorInfo_path>();
    std::wstring faulted = s.failedName;  // a search's pattern names its directory
    if (faulted.size() > 2 && faulted.compare(faulted.size() - 2, 2, L"\\*") == 0)
        faulted.resize(faulted.size() - 2);
    if (TarnTest::DetailNames(*e) != names || (c && *c != code) || (w && *w != error.win32) ||
        (n && *n != error.errnoValue) ||
        (f && *f != (rule->fromFault ? Escaped(faulted) : run.openName)) ||
        (p && p->AsString() != (rule->fromFault ? faulted : run.queried)))
        why << "details " << e->what() << "; ";
    return why.str();
}

std::string running = "(nothing)";  // what a crash or an escaping exception names
LONG WINAPI ReportCrash(EXCEPTION_POINTERS* info) {
    std::fprintf(stderr, "fault sweep: crash 0x%08lx in %s\n", info->ExceptionRecord->ExceptionCode,
                 running.c_str());
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(FaultSweepTest, EveryCallFailsInTurn) {
    ::SetUnhandledExceptionFilter(ReportCrash);
    std::set_terminate([] {
        std::fprintf(stderr, "fault sweep: std::terminate in %s\n", running.c_str()), std::abort();
    });
    // The one-time binding happens now, with the real table: no fault may hit it.
    bind::BindGetFileSizeEx(), bind::BindSetFilePointerEx(), bind::BindNtQueryInformationFile(),
        bind::BindWsopen(), bind::BindWfopen(), bind::BindWfsopen();
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    int runs = 0;
    // One run in a fresh directory: the body under the wrapped table, the object closed and
    // destroyed, opens and closes balanced, the directory removable afterwards.
    auto execute = [&](const Scenario& scenario, bool absent, int failAt, const fi::Error* error) {
        ScenarioRun run;
        const std::wstring sub = L"run" + std::to_wstring(++runs);
        run.dir = MakeDir(sub);
        for (const wchar_t* d : {L"", L"\\sub", L"\\sub\\deep", L"\\empty", L"\\sub\\junction"})
            MakeDir(sub + L"\\tree" + d);
        for (const wchar_t* f : {L"a", L"sub\\b", L"sub\\deep\\c", L"sub\\d", L"z"})
            MakeFile(sub + L"\\tree\\" + f + L".txt");
        MakeFile(sub + L"\\data.bin", content), MakeFile(sub + L"\\link", "target");
        MakeFile(sub + L"\\tree\\sub\\junction\\kept", "kept"), MakeDir(sub + L"\\out");
        ::SetFileAttributesW(In(sub + L"\\tree\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
        ::SetFileAttributesW(MakeFile(sub + L"\\saved.txt", "old").c_str(), FILE_ATTRIBUTE_HIDDEN);
        currentRun = &run;
        sys::Table& below = fi::Current().below = sys::realTable;
        if (scenario.dress)
            scenario.dress(below, run.dir);
        fi::Begin(failAt, error);
        sys::Table& table = sys::table = fi::Wrapped();
        if (absent)  // as on a system without them: the fallbacks run
            table.GetFileSizeEx = nullptr, table.SetFilePointerEx = nullptr,
            table.NtQueryInformationFile = nullptr, table._wsopen = nullptr,
            table._wfopen = nullptr, table._wfsopen = nullptr;
        try { scenario.body(run); }
        catch (const TarnError::Error& e) { run.caught.reset(e.Clone()); }
        catch (std::exception& x) { run.unexpected = typeid(x).name() + Text(": ") + x.what(); }
        catch (...) { run.unexpected = "an exception of unknown type"; }
        sys::table = sys::realTable, ::SetCurrentDirectoryW(saved), currentRun = nullptr;
        Names& problems = run.problems;
        const fi::State& s = fi::Current();
        problems.insert(problems.end(), s.problems.begin(), s.problems.end());
        for (const auto& left : s.open)
            problems.push_back(std::string("left open: a ") + fi::resourceNames[left.first]);
        // Only a temporary whose own removal failed may stay; what a link points to always does.
        for (const std::string& name : TarnTest::Listing(run.dir))
            if (name.find(".~") != std::string::npos && s.failedCall != calls::DeleteFileW)
                problems.push_back("a temporary was left: " + name);
        auto exists = [&](const wchar_t* name) {
            return ::GetFileAttributesW(run.In(name).c_str()) != INVALID_FILE_ATTRIBUTES;
        };
        if (exists(L"tree\\sub\\junction\\kept") == exists(L"out\\1\\kept"))
            problems.push_back("what a link points to was removed");
        if (!TarnTest::RemoveTree(run.dir).empty())
            problems.push_back("the run directory cannot be removed: something is still open");
        return run;
    };
    const auto started = std::chrono::steady_clock::now();
    int injected = 0, survived = 0, configurations = 0;
    for (const Scenario& scenario : Scenarios()) {
        // Swept again with the run-time bound functions absent when it used one.
        for (bool absent : {false, true}) {
            const std::string name = scenario.name + (absent ? " [bound functions absent]" : "");
            running = name + ", counting run";
            const ScenarioRun baseline = execute(scenario, absent, -1, nullptr);
            const int count = fi::Current().calls, *totals = fi::Current().totals;
            // The bound functions close the list of calls.
            const bool usesBindings =
                std::accumulate(totals + calls::GetFileSizeEx, totals + calls::count, 0) > 0;
            ++configurations;
            // The tag is found through the system's own name for the file.
            EXPECT_TRUE(scenario.dress != DressQuery || absent ||
                        baseline.steps.back().find("tag=0xa000000c") != std::string::npos) << name;
            if (baseline.caught || !baseline.unexpected.empty() || !baseline.problems.empty()) {
                ADD_FAILURE() << name << ": the run without faults failed: " << baseline.unexpected
                              << (baseline.caught ? baseline.caught->what() : "")
                              << (baseline.problems.empty() ? "" : baseline.problems[0]);
                break;
            }
            for (int index = 0; index < count; ++index) {
                for (const fi::Error& error : errors) {
                    running = name + ", call #" + std::to_string(index) + ", " + error.name;
                    const ScenarioRun run = execute(scenario, absent, index, &error);
                    const fi::State& s = fi::Current();
                    const std::string why = Judge(baseline, run, error);
                    ++injected, survived += why.empty();
                    EXPECT_EQ("", why) << name << ": call #" << index << " "
                                       << fi::CallName(s.failedCall) << " (" << error.name
                                       << ", in " << s.label << ")";
                    if (s.failedCall == calls::malloc)  // malloc fails only one way
                        break;
                }
            }
            if (!usesBindings)
                break;
        }
    }
    running = "(done)";
    const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - started;
    std::printf("fault sweep: %d faults injected over %d scenario runs, %d survived, %d failed"
                " (%.1f s)\n",
                injected, configurations, survived, injected - survived, seconds.count());
    EXPECT_EQ(1315, injected);
}

}  // namespace
