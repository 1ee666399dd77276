// Fault injection through the system call table (Sys.h): a wrapper per entry counts the calls,
// fails the chosen one as the real function fails, and keeps account of what is open.
#pragma once

#include "Sys.h"

#include <cstdarg>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

// GCC attributes of some C runtime declarations (malloc, nothrow) are lost in template arguments.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace FaultInjection {

namespace sys = TarnIO::sys;

#define FAULT_ALL(X) TARNIO_SYSTEM_CALLS(X) TARNIO_FIRST_CALLS(X) TARNIO_BOUND_CALLS(X)
#define FAULT_ID(name, ...) name,
#define FAULT_TEXT(name, ...) #name,
namespace calls {  // every entry of the table by its function's name: calls::ReadFile
enum Call : int { FAULT_ALL(FAULT_ID) count };
}  // namespace calls
using calls::Call;
constexpr const char* callNames[] = {FAULT_ALL(FAULT_TEXT)};

template <class... C> constexpr bool Any(Call call, C... set) { return ((call == set) || ...); }

// One error as the three families report it: last error, the errno it maps to, NTSTATUS.
struct Error { const char* name; DWORD win32; int errnoValue; LONG status; };

// One run, reset by Begin.
struct State {
    sys::Table below;  // what the wrappers call: the real table or a scenario's fakes
    int calls = 0, failAt = -1;  // failable calls so far; the one to fail (-1: none)
    const Error* error = nullptr;
    bool bound = false;  // a run-time bound function was called
    // The fault: the call, its operation, which call of that function in it (from 1), the name
    // it was about (a search's: its directory), the step and progress then.
    int failedCall = -1, ordinal = 0, stepAtFault = -1, progressAtFault = 0;
    std::string label; std::wstring failedName;
    int step = 0, progress = 0;  // the scenario's step, and entries it reported so far
    std::vector<std::pair<std::string, std::map<int, int>>> frames;  // operations, calls in each
    std::multiset<std::pair<std::string, std::uintptr_t>> open;  // by kind: "handle", "stream"...
    std::map<std::uintptr_t, std::wstring> names;  // handle -> name, find handle -> pattern
    std::set<FILE*> failedStreams;  // streams whose error indicator an injected fault set
    std::vector<std::string> problems;
};

inline State& Current() { static State state; return state; }

inline void Begin(int failAt, const Error* error) {
    const sys::Table below = Current().below;
    State& s = Current() = State();
    s.below = below, s.failAt = failAt, s.error = error, s.frames = {{"(scenario)", {}}};
}

struct Operation {
    explicit Operation(std::string label) { Current().frames.push_back({std::move(label), {}}); }
    ~Operation() { Current().frames.pop_back(); }
};

template <class T> std::uintptr_t Key(T value) { return (std::uintptr_t)value; }

// What a call opened or closed (a failed close releases all the same); a descriptor made over a
// handle takes it over, as a stream over a descriptor does.
template <Call id, class Args, class R>
void Note(const Args& args, R result) {
    using namespace calls;
    const DWORD lastError = ::GetLastError();
    const int errnoValue = errno;
    State& s = Current();
    const auto first = std::get<0>(args);
    constexpr bool pointer = std::is_pointer_v<R>;
    constexpr const char* opens = Any(id, CreateFileA, CreateFileW)             ? "handle"
                                  : id == FindFirstFileW                        ? "search"
                                  : Any(id, _sopen_s, _wsopen, _open_osfhandle) ? "descriptor"
                                  : id == malloc                                ? "malloc block"
                                  : id == _lock_file                            ? "stream lock"
                                  : pointer || id == fopen_s                    ? "stream" : "";
    constexpr const char* closes = Any(id, CloseHandle, _open_osfhandle) ? "handle"
                                   : Any(id, _close, _fdopen)            ? "descriptor"
                                   : id == fclose                        ? "stream"
                                   : id == FindClose                     ? "search"
                                   : id == _unlock_file                  ? "stream lock"
                                   : id == free                          ? "malloc block" : "";
    if constexpr (Any(id, CreateFileW, FindFirstFileW))
        s.names[Key(result)] = first;
    if constexpr (Any(id, _sopen_s, fopen_s)) {  // the result is an error number
        if (result == 0)
            s.open.insert({opens, Key(*first)});
    } else if constexpr (*opens) {
        if (id == _lock_file || (result != R(-1) && (!pointer || !!result)))
            s.open.insert({opens, id == _lock_file ? Key(first) : Key(result)});
    }
    if constexpr (*closes)
        if (id == _open_osfhandle ? result != R(-1) : id == _fdopen ? !!result : id != free || first) {
            const auto found = s.open.find({closes, Key(first)});
            found != s.open.end() ? void(s.open.erase(found))
                                  : s.problems.push_back("closed a " + std::string(closes) +
                                                         " it never opened (or closed it twice)");
        }
    if constexpr (id == fclose)
        s.failedStreams.erase(first);
    errno = errnoValue, ::SetLastError(lastError);
}

// Counts a call; fails the chosen one with its failure value, last error and errno as the real
// function leaves them. Never failed: calls that cannot fail (ferror reports injected stream
// errors); GetVersionExA runs only in the one-time binding.
template <Call id, class R, class Args, class Real>
R Dispatch(const Args& args, Real real) {
    using namespace calls;
    State& s = Current();
    s.bound |= id >= GetFileSizeEx;  // the bound functions close the list
    if constexpr (!Any(id, ferror, towupper, free, _lock_file, _unlock_file, GetVersionExA)) {
        const int index = s.calls++, ordinal = ++s.frames.back().second[id];
        if (index == s.failAt) {
            const Error& e = *s.error;
            s.failedCall = id, s.label = s.frames.back().first;
            s.ordinal = ordinal, s.progressAtFault = s.progress, s.stepAtFault = s.step;
            using First = std::decay_t<std::tuple_element_t<0, Args>>;
            if constexpr (std::is_same_v<First, const wchar_t*>)
                s.failedName = std::get<0>(args) ? std::get<0>(args) : L"";
            else if constexpr (std::is_same_v<First, HANDLE>)
                s.failedName = s.names[Key(std::get<0>(args))];
            if (s.failedName.size() > 2 && s.failedName.rfind(L"\\*") == s.failedName.size() - 2)
                s.failedName.resize(s.failedName.size() - 2);  // a search names its directory
            if constexpr (Any(id, CloseHandle, FindClose, _close, fclose))
                Note<id>(args, real());  // fclose dissociates the stream whatever it returns
            if constexpr (Any(id, fread, fwrite, fflush))
                s.failedStreams.insert(std::get<id == fflush ? 0 : 3>(args));
            constexpr bool runtime = callNames[id][0] == '_' || callNames[id][0] >= 'a';
            ::SetLastError(e.win32);
            if constexpr (runtime)
                errno = id == malloc ? ENOMEM : e.errnoValue;
            if constexpr (id == NtQueryInformationFile)
                return e.status;
            else if constexpr (id == fopen_s)
                return *std::get<0>(args) = nullptr, e.errnoValue;
            else if constexpr (id == _sopen_s)
                return *std::get<0>(args) = -1, e.errnoValue;
            // -1 (EOF, INVALID_HANDLE_VALUE, INVALID_FILE_SIZE...), or FALSE, 0, a null pointer
            else if constexpr ((runtime && !std::is_pointer_v<R> && !Any(id, fread, fwrite)) ||
                               Any(id, CreateFileA, CreateFileW, FindFirstFileW,
                                   GetFileAttributesW, GetFileSize, SetFilePointer))
                return R(std::intptr_t(-1));
            else
                return R();
        }
    }
    if constexpr (std::is_void_v<R>)
        return real(), Note<id>(args, 0);
    else {
        const R result = real();
        Note<id>(args, result);
        if constexpr (id == ferror)  // as a real fread/fwrite/fflush failure would
            return s.failedStreams.count(std::get<0>(args)) ? 1 : result;
        return result;
    }
}

// Each wrapper has its entry's calling convention (one on x86_64).
template <Call id, auto field, class Fn = std::decay_t<decltype(sys::Table().*field)>>
struct Wrapper;
#define FAULT_WRAPPER(convention)                                                            \
    template <Call id, auto field, class R, class... A>                                      \
    struct Wrapper<id, field, R(convention*)(A...)> {                                        \
        static R convention Entry(A... args) {                                               \
            return Dispatch<id, R>(std::forward_as_tuple(args...),                           \
                                   [&]() -> R { return (Current().below.*field)(args...); }); \
        }                                                                                    \
    };
FAULT_WRAPPER(__cdecl)
#if !defined(_WIN64)
FAULT_WRAPPER(__stdcall)
#endif
// The C runtime's variadic opens (_wsopen): the library always passes the permission mode.
template <Call id, auto field, class R, class A1, class A2, class A3>
struct Wrapper<id, field, R (*)(A1, A2, A3, ...)> {
    static R Entry(A1 a1, A2 a2, A3 a3, ...) {
        va_list rest;
        va_start(rest, a3);
        const int pmode = va_arg(rest, int);
        va_end(rest);
        return Dispatch<id, R>(std::forward_as_tuple(a1, a2, a3),
                               [&]() -> R { return (Current().below.*field)(a1, a2, a3, pmode); });
    }
};

// The table with every entry wrapped; absent: the bound ones null, as on a system without them.
inline sys::Table Wrapped(bool absent) {
    sys::Table table;
#define FAULT_WRAP(name, ...)                                  \
    table.name = absent && calls::name >= calls::GetFileSizeEx \
                     ? nullptr : &Wrapper<calls::name, &sys::Table::name>::Entry;
    FAULT_ALL(FAULT_WRAP)
    return table;
}

}  // namespace FaultInjection
