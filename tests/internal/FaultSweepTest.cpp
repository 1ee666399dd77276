// The fault sweep: each scenario runs once to count its system calls, then once per call with
// that call failing in four ways, also with the run-time bound functions absent. Every run must
// end as documented, with nothing left open, no temporary left and no link followed.
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

#include <cxxabi.h>
#include <optional>

namespace FaultInjection {
namespace {

using namespace calls;  // the calls by their function's name: ReadFile, malloc
using namespace TarnIO;
using TarnTest::Names;

const Error errors[] = {
    {"access denied", ERROR_ACCESS_DENIED, EACCES, LONG(0xC0000022)},
    {"sharing violation", ERROR_SHARING_VIOLATION, EACCES, LONG(0xC0000043)},
    {"disk full", ERROR_DISK_FULL, ENOSPC, LONG(0xC000007F)},
    {"broken pipe", ERROR_BROKEN_PIPE, EPIPE, LONG(0xC000014B)},
};
const std::string content = "fault sweep: thirty bytes long";

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }
std::string Text(std::string text) { return text; }
std::string Text(std::uint64_t value) { return std::to_string(value); }
std::string Escaped(const std::wstring& p) { return TarnError::UnicodeEscape(p.c_str(), ~0u); }
struct FaultSweepTest : TarnTest::TempDirTest { using TempDirTest::ReadBack; };
const auto ReadBack = FaultSweepTest::ReadBack;

template <class T> const std::string nameOf = "FileHandle";
template <> const std::string nameOf<FileDescriptor> = "FileDescriptor";
template <> const std::string nameOf<StdFile> = "StdFile";
template <class T> std::string Op(std::string o) { return nameOf<T> + "::" + o; }

// A backend whose primitives name themselves, so a fault inside ReadAll or ReadAt names one.
template <class T>
struct Traced : T {
    using T::T;
#define FAULT_TRACED(name, params, args)                                                   \
    auto name params->decltype(std::declval<T&>().name args) override {                    \
        return Operation(Op<T>(#name)), T::name args;                                      \
    }
    FAULT_TRACED(GetSize, () const, ())
    FAULT_TRACED(GetPosition, () const, ())
    FAULT_TRACED(Read, (void* b, std::uint64_t n), (b, n))
    FAULT_TRACED(Seek, (std::int64_t o, SeekOrigin w), (o, w))
};

// One run of a scenario.
struct ScenarioRun {
    std::wstring dir;
    std::wstring In(const std::wstring& name) const { return dir + L"\\" + name; }
    // One operation (named without "TarnIO::"): its result, and the calls it makes.
    template <class F> void Step(const std::string& label, F f) {
        Current().step = int(steps.size());
        Operation op(label);
        steps.emplace_back();
        if constexpr (std::is_void_v<decltype(f())>)
            f();
        else
            steps.back() = Text(f());
    }
    Names steps;
    std::string named;   // the filePath or path detail of the next steps' errors
    std::string thrown;  // its class and description without the system's words
};
#define STEP(label, ...) r.Step(label, [&] { return __VA_ARGS__; })

// A scenario's object: closed again, without throwing, however the run ended.
template <class T>
struct Held : std::unique_ptr<T> {
    ~Held() {
        try { *this ? (*this)->Close() : void(); }
        catch (...) { Current().problems.push_back("Close threw after the run"); }
    }
    template <class... A> void Make(A&&... a) { this->reset(new T(std::forward<A>(a)...)); }
};
template <class T> using Object = Held<Traced<T>>;

template <class S>
std::string Queried(S& object) {
    PathStats s;
    std::ostringstream out;
    out << "ok=" << object.Query(s) << " exists=" << s.Exists() << " lastError=" << s.GetQueryError()
        << std::hex;
    if (s.Exists())
        out << " attributes=0x" << s.GetAttributes() << " size=0x" << s.GetFileSize() << " tag=0x"
            << s.GetReparseTag();
    return out.str();
}
template <class T> std::string ReadAll(T& file) { std::string s; file->ReadAll(s); return s; }

// How each backend opens: kind 0 a Path to read, 1 a narrow name with every argument to
// write, 2 a wide name, 3 a reparse point itself.
template <class T> void Open(Object<T>& f, int kind, const std::wstring& name) {
    const Path path(name);
    const std::string narrow = Narrow(name);
    if constexpr (std::is_same_v<T, FileHandle>)
        kind == 1   ? f.Make(narrow.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                             FILE_ATTRIBUTE_NORMAL, nullptr)
        : kind == 3 ? f.Make(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
        : kind == 2 ? f.Make(name.c_str()) : f.Make(path);
    else if constexpr (std::is_same_v<T, FileDescriptor>)
        kind == 1   ? f.Make(narrow.c_str(), _O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYWR,
                             _S_IREAD | _S_IWRITE)
        : kind == 2 ? f.Make(name.c_str()) : f.Make(path);
    else
        kind == 1   ? f.Make(narrow.c_str(), "wb", _SH_DENYWR)
        : kind == 0 ? f.Make(path, L"rb")
        : kind == 2 ? f.Make(name.c_str(), L"rb", _SH_DENYNO) : f.Make(path, L"rb", _SH_DENYNO);
}

// By kind: open, read all, close; open, write, flush, close; seek and size; Query of a link.
template <class T, int kind>
void BackendScenario(ScenarioRun& r) {
    Object<T> file;
    const std::wstring name = r.In(kind == 1 ? L"out.bin" : kind == 3 ? L"link" : L"data.bin");
    r.named = kind == 1 ? Narrow(name) : Escaped(name);
    STEP(Op<T>(nameOf<T>), Open(file, kind, name));
    if (kind == 0)
        STEP("Stream::ReadAll", ReadAll(file));
    if (kind == 1)
        STEP(Op<T>("Write"), file->Write(content.data(), content.size())),
            STEP(Op<T>("Flush"), file->Flush());
    if (kind < 2)
        STEP(Op<T>("Close"), file->Close(), kind ? ReadBack(name) : "");
    if (kind == 3)
        STEP(Op<T>("Query"), Queried(*file));
    if (kind != 2)
        return;
    r.Step(Op<T>("GetSize"), [&] {
        const std::string size = Text(file->GetSize());
        return size + " then at " + Text(file->GetPosition());
    });
    for (const auto& [offset, origin] : {std::pair(4, seekBegin),
                                         std::pair(-2, seekCurrent)})
        STEP(Op<T>("Seek"), file->Seek(offset, origin));
    STEP(Op<T>("GetPosition"), file->GetPosition());
    STEP(Op<T>("Seek"), file->Seek(-3, seekEnd));
    r.Step("File::ReadAt", [&] {
        char buffer[5] = {};
        const std::size_t done = std::size_t(file->ReadAt(6, buffer, sizeof buffer));
        return std::string(buffer, done) + " then at " + Text(file->GetPosition());
    });
}

// An object made over a descriptor or handle that the caller hands over.
template <class T, class Owner>
void HandOverScenario(ScenarioRun& r) {
    Object<Owner> owner;
    Object<T> file;
    const Path path(r.In(L"data.bin"));
    r.named = Escaped(path.AsString());
    STEP(Op<Owner>(nameOf<Owner>), owner.Make(path));
    r.Step(Op<T>(nameOf<T>), [&] {
        if constexpr (std::is_same_v<T, StdFile>)
            file.Make(owner->Raw(), "rb");
        else
            file.Make(owner->Raw(), _O_RDONLY | _O_BINARY);
        owner->Release();
    });
    STEP("Stream::ReadAll", ReadAll(file));
    if constexpr (std::is_same_v<T, StdFile>)
        STEP(Op<T>("Query"), Queried(*file));
    STEP(Op<T>("Close"), file->Close());
}

void PathQueries(ScenarioRun& r) {
    const Path file(r.In(L"data.bin")), dir(r.dir), moved(r.In(L"moved.bin"));
    wchar_t program[MAX_PATH];
    const Path self(std::wstring(program, ::GetModuleFileNameW(nullptr, program, MAX_PATH)));
    STEP("Path::Exists", file.Exists());
    STEP("Path::IsReadable", file.IsReadable());
    STEP("Path::IsWritable", file.IsWritable());
    STEP("Path::Access", file.Access(Path::AccessMask(6)));
    STEP("Path::Query", Queried(file));
    STEP("Path::IsExecutable", self.IsExecutable());
    r.named = Escaped(dir.AsString());
    STEP("Path::IsDirectory", dir.IsDirectory());
    r.named = Escaped(file.AsString());
    STEP("Path::IsFile", file.IsFile());
    STEP("Path::GetFileSize", file.GetFileSize());
    STEP("Path::GetModifyTime", file.GetModifyTime(), "");
    for (const auto& [from, to] : {std::pair(file, moved),
                                   std::pair(moved, file)})
        STEP("Path::Rename", Path::Rename(from, to), ReadBack(to.AsString()));
}

// The walk's entries, relative to the run's directory, in the order found.
void Walk(ScenarioRun& r) {
    std::optional<PathIterator> it;
    r.Step("PathIterator::walk", [&] {
        std::string entries;
        it.emplace(Path(r.In(L"tree\\*")), PathIterator::recursive);
        for (; !it->IsDone(); ++Current().progress, it->Next())
            entries += Narrow(it->GetPath().AsString().substr(r.dir.size() + 1)) +
                       (it->IsDirectory() ? "\\|" : "|");
        return entries;
    });
}

void PathDirectories(ScenarioRun& r) {
    STEP("Path::CreateDir", Path(r.In(L"new")).CreateDir());
    STEP("Path::CreateDirs", Path(r.In(L"a\\b\\c")).CreateDirs());
    STEP("Path::RemoveDir", Path(r.In(L"new")).RemoveDir());
    STEP("Path::RemoveFile", Path(r.In(L"data.bin")).RemoveFile());
    STEP("Path::Extended", Path(r.In(L"x\\..\\y")).Extended().AsString() == L"\\\\?\\" + r.In(L"y"));
    STEP("Path::RemoveTree", Path(r.In(L"tree")).RemoveTree());
}

// A save over a hidden target, committed; one abandoned.
void AtomicSaves(ScenarioRun& r) {
    Held<AtomicFile> saved, abandoned;
    const std::wstring target = r.In(L"saved.txt"), data = r.In(L"data.bin");
    r.named = Escaped(target);
    STEP("AtomicFile::AtomicFile", saved.Make(Path(target)));
    STEP("AtomicFile::Write", saved->Write(content.data(), content.size()));
    STEP("AtomicFile::Commit", saved->Commit(), ReadBack(target) +
         (::GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_HIDDEN ? " hidden" : ""));
    STEP("AtomicFile::AtomicFile", abandoned.Make(Path(data)));
    STEP("AtomicFile::Write", abandoned->Write("x", 1));
    STEP("AtomicFile::Close", abandoned->Close(), ReadBack(data));
}

// Beneath the wrappers, the links of FakeLinks.h; for Query the run's directory is current (the
// system names an open file without its drive).
enum Dress { none, links, query };
struct Scenario { std::string name; void (*body)(ScenarioRun&); Dress dress = none; };
#define FAULT_BACKEND(T)                                                 \
    {#T ": open + read all + close", BackendScenario<T, 0>},             \
    {#T ": open + write + flush + close", BackendScenario<T, 1>},        \
    {#T ": seek and size", BackendScenario<T, 2>},                       \
    {#T ": Query on a reparse point", BackendScenario<T, 3>, query},
const Scenario scenarios[] = {
    FAULT_BACKEND(FileHandle)
    FAULT_BACKEND(FileDescriptor)
    FAULT_BACKEND(StdFile)
    {"StdFile over a descriptor", HandOverScenario<StdFile, FileDescriptor>},
    {"FileDescriptor over a handle", HandOverScenario<FileDescriptor, FileHandle>},
    {"Path queries", PathQueries},
    {"PathIterator: descending walk", Walk},
    {"Path: make and remove, links in the tree", PathDirectories, links},
    {"AtomicFile: committed and abandoned", AtomicSaves},
};

// What a failing call leads to in an operation: a changed result of its step, or an exception.
struct Fault { const std::string& baseline; const State& f; const std::wstring& runDir; };
using Expected = std::string (*)(Fault);
struct Rule {
    std::string operations;  // empty: any; "Op#n": the function's nth call in Op
    std::string calls;       // the functions failing
    std::string thrown{};    // "Class: message; details@Context function"; name* the call's
    Expected result = nullptr;  // or the step's result; null: as without the fault
};
std::string False(Fault) { return "0"; }
std::string QueryRefused(Fault) { return "ok=0 exists=0 lastError=0"; }  // left untouched
std::string QueryFailed(Fault x) { return "ok=0 exists=0 lastError=" + Text(x.f.error->win32); }
std::string TagLost(Fault x) { return x.baseline.substr(0, x.baseline.find("tag=0x") + 6) + "0"; }
// The seek back failed: the size is returned, the stream left at its end (ReadAll reads nothing).
std::string AtEnd(Fault x) {
    const std::string size = x.baseline.substr(0, x.baseline.find(" then at "));
    return size == x.baseline ? "" : size + " then at " + size;
}
// A failed search ends the walk of its directory only: what was reported before stays.
std::string TruncatedWalk(Fault x) {
    const std::string inside = Narrow(x.f.failedName.substr(x.runDir.size() + 1)) + "\\";
    std::string result, entry;
    std::istringstream entries(x.baseline);
    for (int index = 0; std::getline(entries, entry, '|'); ++index)
        if (index < x.f.progressAtFault || entry.compare(0, inside.size(), inside) != 0)
            result += entry + "|";
    return result;
}

std::vector<Rule> Rules() {
    const char* const opened = "FileOpenError: unable to open file; FileErrorCode errno";
    const std::string attributes = "PathError: unable to query path attributes; ";
    const char* const queries = "FileHandle::Query FileDescriptor::Query StdFile::Query";
    const std::string named = "; FileErrorCode Win32Error path*";  // the path the call was about
    std::vector<Rule> rules = {
        {"", "CloseHandle _close fclose FindClose"},  // closing never reports, and closes
        {"StdFile::GetSize#1", "_fseeki64", "FileError: unable to query file size; FileErrorCode errno"},
        {"StdFile::GetSize#2", "_fseeki64", "", AtEnd},
        {"FileDescriptor::FileDescriptor", "_open_osfhandle", opened},  // over a handle: no path
        {"StdFile::StdFile", "_fdopen", opened},
        // The attribute queries all end in FileHandle::Query; a lost reparse tag is no failure.
        {queries, "GetFileInformationByHandle", "", QueryFailed},
        {queries, "NtQueryInformationFile malloc FindFirstFileW", "", TagLost},
        {"FileDescriptor::Query", "_get_osfhandle", "TarnError::LogicError: file not open; FileErrorCode@FileHandle::Query"},
        {"StdFile::Query", "_fileno _get_osfhandle", "", QueryRefused},
        {"Path::Exists Path::IsReadable Path::IsWritable Path::Access", "_waccess", "", False},
        {"Path::IsExecutable", "GetBinaryTypeW", "", False},
        {"Path::Query", "GetFileAttributesW FindFirstFileW", "", QueryFailed},
        {"Path::GetFileSize", "GetFileAttributesW FindFirstFileW", attributes + "Win32Error@PathStats::GetFileSize"},
        {"Path::GetModifyTime", "GetFileAttributesW FindFirstFileW", attributes + "Win32Error@PathStats::GetModifyTime"},
        {"Path::IsDirectory Path::IsFile", "GetFileAttributesW", attributes + "path Win32Error@Path::GetAttribsThrow"},
        {"Path::Rename", "MoveFileW", "Error: unable to rename file; Win32Error"},
        {"PathIterator::walk", "FindFirstFileW FindNextFileW", "", TruncatedWalk},
        {"Path::CreateDir Path::CreateDirs", "CreateDirectoryW", "Error: unable to create directory" + named},
        {"Path::CreateDirs", "GetFileAttributesW"},  // made only after a failure
        {"Path::RemoveDir", "RemoveDirectoryW", "Error: unable to remove directory" + named},
        {"Path::RemoveFile", "DeleteFileW", "Error: unable to remove file" + named},
        {"Path::Extended", "GetFullPathNameW", "Error: unable to make extended path" + named},
        // A tree's removal goes on past a failure, then throws.
        {"Path::RemoveTree", "GetFullPathNameW GetFileAttributesW CreateFileW FindFirstFileW GetFileInformationByHandle FindNextFileW SetFileAttributesW DeleteFileW RemoveDirectoryW", "Error: unable to remove directory tree" + named},
        // A temporary that cannot be made is named; one that cannot be removed stays, unreported.
        {"AtomicFile::AtomicFile", "CreateFileW", "FileOpenError: unable to open file; FileErrorCode Win32Error filePath*"},
        {"AtomicFile::Write", "WriteFile", "FileWriteError: unable to write file; FileErrorCode Win32Error@FileHandle::Write"},
        {"AtomicFile::Commit", "FlushFileBuffers GetFileAttributesW SetFileAttributesW MoveFileExW", "FileWriteError: unable to replace file; FileErrorCode Win32Error path"},
        {"AtomicFile::Close", "DeleteFileW"},
    };
    // Per operation (empty: the constructor), the calls failing it in each backend; opening by
    // name adds the file path.
    const std::string backends[] = {"FileHandle", "FileDescriptor", "StdFile"};
    for (const auto& row : std::vector<std::array<std::string, 5>>{
             {"", "FileOpenError: unable to open file", "CreateFileA CreateFileW", "_wsopen _sopen_s", "_wfopen _wfsopen fopen_s _fsopen"},
             {"GetSize", "FileError: unable to query file size", "GetFileSizeEx GetFileSize", "_filelengthi64", "_ftelli64"},
             {"GetPosition", "FileError: unable to query file position", "", "_telli64", "_ftelli64"},
             {"Seek", "FileError: unable to seek in file", "SetFilePointerEx SetFilePointer", "_lseeki64", "_fseeki64 _ftelli64"},
             {"Read", "FileReadError: unable to read file", "ReadFile", "_read", "fread"},
             {"Write", "FileWriteError: unable to write file", "WriteFile", "_write", "fwrite"},
             {"Flush", "FileWriteError: unable flush file buffers", "FlushFileBuffers", "_commit", ""},
             {"Flush", "FileWriteError: unable to flush file buffers", "", "", "fflush"}})
        for (int b = 0; b < 3; ++b)
            rules.push_back({backends[b] + "::" + (row[0].empty() ? backends[b] : row[0]), row[b + 2],
                             row[1] + (b ? "; FileErrorCode errno" : "; FileErrorCode Win32Error") +
                                 (row[0].empty() ? " filePath" : "")});
    return rules;
}

bool Listed(const std::string& list, const std::string& word) {
    return (" " + list + " ").find(" " + word + " ") != std::string::npos;
}

// What one faulted run did wrong against the baseline; empty when it did what it must.
std::string Judge(const ScenarioRun& baseline, const ScenarioRun& run, const Error& error) {
    static const std::vector<Rule> rules = Rules();
    const State& s = Current();
    std::string why;
    for (const std::string& problem : s.problems)
        why += problem + "; ";
    if (s.failedCall < 0)
        return why + "the call was never reached";
    const std::string& op = s.label;
    auto rule = std::find_if(rules.begin(), rules.end(), [&](const Rule& rule) {
        const std::string& ops = rule.operations;
        return Listed(rule.calls, callNames[s.failedCall]) &&
               (ops.empty() || Listed(ops, op) || Listed(ops, op + "#" + Text(s.ordinal)));
    });
    if (rule == rules.end())
        return why + "no documented outcome";
    Names expected = baseline.steps;  // the steps before the faulting one go as without it
    if (rule->result)
        expected[s.stepAtFault] = rule->result({baseline.steps[s.stepAtFault], s, run.dir});
    // The class, Context, message and details with the fault's values; the throwing step is the
    // last and records nothing.
    std::string want, t = rule->thrown;
    if (!t.empty()) {
        expected.resize(s.stepAtFault + 1), expected.back().clear();
        const std::size_t colon = t.find(": "), semicolon = t.find("; "), at = t.find('@');
        const std::string function = at == std::string::npos ? op : t.substr(at + 1);
        want = (t.find("::") < colon ? "" : "TarnIO::") + t.substr(0, colon) + " .\\" +
               function.substr(0, function.find("::")) + " TarnIO::" + function +
               t.substr(colon, semicolon - colon);
        const auto npos = std::string::npos;
        const FileErrorCode code = t.find("Win32Error") != npos ? MapFileErrorWin32(error.win32)
                                   : t.find("errno") != npos    ? MapFileErrorErrno(error.errnoValue)
                                                                : fileErrorNotOpen;
        std::istringstream details(t.substr(semicolon + 2, at - semicolon - 2));
        for (std::string name; details >> name;)
            want += "; " + name.substr(0, name.find('*')) + "=" +
                    (name == "FileErrorCode" ? GetFileErrorCodeLabel(code)
                     : name == "Win32Error"  ? Text(error.win32)
                     : name == "errno"       ? Text(error.errnoValue)
                     : name.back() == '*'    ? Escaped(s.failedName) : run.named);
    }
    if (run.steps != expected)
        why += "steps " + testing::PrintToString(run.steps) + ", expected " +
               testing::PrintToString(expected) + "; ";
    return run.thrown == want ? why : why + "threw \"" + run.thrown + "\", expected \"" + want + "\"";
}

std::string running;  // the run a crash names
LONG WINAPI ReportCrash(EXCEPTION_POINTERS*) {
    std::fprintf(stderr, "fault sweep: crash in %s\n", running.c_str());
    return EXCEPTION_CONTINUE_SEARCH;
}

TEST_F(FaultSweepTest, EveryCallFailsInTurn) {
    ::SetUnhandledExceptionFilter(ReportCrash);
    // The one-time binding happens now, with the real table: no fault may hit it.
    bind::BindGetFileSizeEx(), bind::BindSetFilePointerEx(), bind::BindNtQueryInformationFile(),
        bind::BindWsopen(), bind::BindWfopen(), bind::BindWfsopen();
    wchar_t saved[MAX_PATH];
    ::GetCurrentDirectoryW(MAX_PATH, saved);
    int runs = 0;
    // One run in a fresh directory, then its bookkeeping: opens and closes, temporaries, links.
    auto execute = [&](const Scenario& scenario, bool absent, int failAt, const Error* error) {
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
        sys::Table& below = Current().below = sys::realTable;
        if (scenario.dress)
            FakeLinks::Install(below, run.In(L"out"));
        if (scenario.dress == query)
            ::SetCurrentDirectoryW(run.dir.c_str());
        Begin(failAt, error);
        sys::table = Wrapped(absent);
        try { scenario.body(run); }
        catch (const TarnError::Error& e) {  // Thrown's line after its class marker
            const std::string line = TarnTest::Thrown<TarnError::Error>([] { throw; });
            char* name = abi::__cxa_demangle(typeid(e).name(), nullptr, nullptr, nullptr);
            run.thrown = name + line.substr(line.find(": ") + 1);
            run.thrown += e.GetContext().line > 0 ? "" : " (no line)";
            std::free(name);
        } catch (std::exception& x) { run.thrown = x.what(); }
        sys::table = sys::realTable, ::SetCurrentDirectoryW(saved);
        State& s = Current();
        for (const auto& left : s.open)
            s.problems.push_back("left open: a " + left.first);
        for (const std::string& name : TarnTest::Listing(run.dir))
            if (name.find(".~") != std::string::npos && s.failedCall != DeleteFileW)
                s.problems.push_back("a temporary was left: " + name);
        auto exists = [&](const wchar_t* name) {
            return ::GetFileAttributesW(run.In(name).c_str()) != INVALID_FILE_ATTRIBUTES;
        };
        if (exists(L"tree\\sub\\junction\\kept") == exists(L"out\\1\\kept"))
            s.problems.push_back("what a link points to was removed");
        if (!TarnTest::RemoveTree(run.dir).empty())
            s.problems.push_back("the run directory cannot be removed: something is still open");
        return run;
    };
    int injected = 0;
    for (const Scenario& scenario : scenarios) {
        // Swept again with the run-time bound functions absent when it used one.
        for (bool absent : {false, true}) {
            const std::string name = scenario.name + (absent ? " [bound functions absent]" : "");
            running = name + ", counting run";
            const ScenarioRun baseline = execute(scenario, absent, -1, nullptr);
            const State& s = Current();
            const int total = s.calls, bound = s.bound;
            // The tag is found through the system's own name for the file.
            EXPECT_TRUE(scenario.dress != query || absent ||
                        baseline.steps.back().find("tag=0xa000000c") != std::string::npos) << name;
            if (!baseline.thrown.empty() || !s.problems.empty()) {
                ADD_FAILURE() << name << ": fails without faults: " << baseline.thrown
                              << testing::PrintToString(s.problems);
                break;
            }
            for (int index = 0; index < total; ++index)
                for (const Error& error : errors) {
                    running = name + ", call #" + std::to_string(index) + ", " + error.name;
                    const ScenarioRun run = execute(scenario, absent, index, &error);
                    ++injected;
                    EXPECT_EQ("", Judge(baseline, run, error))
                        << running << ": " << (s.failedCall < 0 ? "" : callNames[s.failedCall])
                        << " #" << s.ordinal << " in " << s.label;
                    if (s.failedCall == malloc)  // malloc fails only one way
                        break;
                }
            if (!bound)
                break;
        }
    }
    EXPECT_EQ(1315, injected);
}

}  // namespace
}  // namespace FaultInjection
