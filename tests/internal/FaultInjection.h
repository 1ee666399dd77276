// Fault injection through the system call table (Sys.h): one wrapper per entry counts the
// calls that can fail, fails the chosen one with a chosen error as the real function reports
// it, and keeps account of every handle, descriptor, stream, search, stream lock and malloc
// block opened and closed.
#pragma once

#include "Sys.h"

#include <cstdarg>
#include <map>
#include <set>
#include <tuple>
#include <vector>

// GCC attributes of some C runtime declarations (malloc, nothrow) are lost in template arguments.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace FaultInjection {

namespace sys = TarnIO::sys;

#define FAULT_ID(name, ...) name,
#define FAULT_TEXT(name, ...) #name,
namespace calls {  // every entry of the table by its function's name: calls::ReadFile
enum Call : int {
    TARNIO_SYSTEM_CALLS(FAULT_ID) TARNIO_FIRST_CALLS(FAULT_ID) TARNIO_BOUND_CALLS(FAULT_ID) count
};
}  // namespace calls
using calls::Call;
constexpr const char* callNames[] = {TARNIO_SYSTEM_CALLS(FAULT_TEXT) TARNIO_FIRST_CALLS(FAULT_TEXT)
                                         TARNIO_BOUND_CALLS(FAULT_TEXT)};
#undef FAULT_ID
#undef FAULT_TEXT

inline const char* CallName(int c) { return c >= 0 && c < calls::count ? callNames[c] : "(none)"; }
template <class... C> constexpr bool Any(Call call, C... set) { return ((call == set) || ...); }

// Counted but never failed: calls that cannot fail or whose failure fails nothing (ferror reports
// injected stream errors); GetVersionExA runs only in the one-time binding.
constexpr bool Failable(Call call) {
    return !Any(call, calls::ferror, calls::towupper, calls::free, calls::_lock_file,
                calls::_unlock_file, calls::GetVersionExA);
}
// The C runtime's functions (_read, fopen_s, malloc) report through errno, the others through
// the last error, ntdll's through the NTSTATUS they return.
constexpr bool IsRuntime(Call c) { return callNames[c][0] == '_' || callNames[c][0] >= 'a'; }

// One error as the three families report it: last error, the errno it maps to, NTSTATUS.
struct Error { const char* name; DWORD win32; int errnoValue; LONG status; };

enum Resource { handle, descriptor, stream, search, block, lock };
const char* const resourceNames[] = {"handle", "descriptor", "stream", "search", "malloc block",
                                     "stream lock"};

// The operation a call belongs to (a scenario step or a traced primitive), its calls by function.
struct Frame { std::string label; int counts[calls::count] = {}; };

// What the wrappers see and do in one run. Reset by Begin.
struct State {
    sys::Table below;  // what the wrappers call: the real table or a scenario's fakes
    int calls = 0, failAt = -1;  // failable calls so far; the one to fail (-1: none)
    const Error* error = nullptr;
    // The fault as it happened: the call, the innermost operation, which call of that function
    // within it (from 1), the name it was about (its wide name argument, or the name its handle
    // or search was opened with), the scenario's step and progress then.
    bool injected = false;
    int failedCall = -1, ordinal = 0, stepAtFault = -1, progressAtFault = 0;
    std::string label; std::wstring failedName;
    int totals[calls::count] = {};  // every call, failable or not, by function
    int step = 0, progress = 0;     // the scenario's step, and entries it reported so far
    std::vector<Frame> frames;
    std::multiset<std::pair<int, std::uintptr_t>> open;
    std::map<std::uintptr_t, std::wstring> names;  // handle -> name, find handle -> pattern
    std::set<FILE*> failedStreams;  // streams whose error indicator an injected fault set
    std::vector<std::string> problems;
};

inline State& Current() { static State state; return state; }

inline void Begin(int failAt, const Error* error) {
    State& s = Current();
    const sys::Table below = s.below;
    s = State();
    s.below = below, s.failAt = failAt, s.error = error;
    s.frames.push_back(Frame{"(scenario)"});
}

struct Operation {
    explicit Operation(std::string label) { Current().frames.push_back(Frame{std::move(label)}); }
    ~Operation() { Current().frames.pop_back(); }
};

template <class T> std::uintptr_t Key(T value) { return (std::uintptr_t)value; }
template <class T> void Opened(Resource r, T value) { Current().open.insert({r, Key(value)}); }
template <class T> void Closed(Resource r, T value) {
    State& s = Current();
    const auto found = s.open.find({r, Key(value)});
    found != s.open.end() ? void(s.open.erase(found))
                          : s.problems.push_back("closed a " + std::string(resourceNames[r]) +
                                                 " it never opened (or closed it twice)");
}

// The last error and errno as the call left them, put back after the bookkeeping.
struct KeepErrors {
    ~KeepErrors() { errno = errnoValue, ::SetLastError(lastError); }
    DWORD lastError = ::GetLastError(); int errnoValue = errno;
};

// After a real call (or an injected failure of a closing one, which still releases what it
// closes): what it opened or closed. A descriptor over a handle takes the handle over, a
// stream over a descriptor the descriptor.
template <Call id, class Args, class R>
void Note(const Args& args, R result) {
    KeepErrors keep;
    const auto first = std::get<0>(args);
    if constexpr (Any(id, calls::CreateFileA, calls::CreateFileW, calls::FindFirstFileW)) {
        if (result != INVALID_HANDLE_VALUE)
            Opened(id == calls::FindFirstFileW ? search : handle, result);
        if constexpr (id != calls::CreateFileA)
            Current().names[Key(result)] = first;
    } else if constexpr (Any(id, calls::_sopen_s, calls::fopen_s)) {
        if (result == 0)
            Opened(id == calls::fopen_s ? stream : descriptor, *first);
    } else if constexpr (Any(id, calls::_wsopen, calls::_open_osfhandle, calls::_fsopen,
                             calls::_wfopen, calls::_wfsopen, calls::_fdopen, calls::malloc)) {
        if (std::is_pointer_v<R> ? !!result : result != R(-1))
            Opened(std::is_pointer_v<R> ? id == calls::malloc ? block : stream : descriptor,
                   result);
    } else if constexpr (id == calls::_lock_file) {
        Opened(lock, first);
    }
    constexpr int closes = Any(id, calls::CloseHandle, calls::_open_osfhandle) ? handle
                           : Any(id, calls::_close, calls::_fdopen)            ? descriptor
                           : id == calls::fclose                               ? stream
                           : id == calls::FindClose                            ? search
                           : id == calls::_unlock_file                         ? lock
                           : id == calls::free                                 ? block : -1;
    // Taken over only when the new descriptor or stream was made; free(nullptr) frees nothing.
    if constexpr (closes >= 0)
        if (id == calls::_open_osfhandle ? result != R(-1)
            : id == calls::_fdopen       ? !!result : id != calls::free || first)
            Closed(Resource(closes), first);
    if constexpr (id == calls::fclose)
        Current().failedStreams.erase(first);
}

// The injected failure: the function's failure value, with the last error and errno as the
// real function leaves them (the C runtime maps the last error of its failed Win32 call).
template <Call id, class R, class Args, class Real>
R Fail(const Args& args, Real real) {
    State& s = Current();
    const Error& e = *s.error;
    if constexpr (Any(id, calls::CloseHandle, calls::FindClose, calls::_close, calls::fclose))
        Note<id>(args, real());  // fclose, for one, dissociates the stream whatever it returns
    if constexpr (Any(id, calls::fread, calls::fwrite, calls::fflush))
        s.failedStreams.insert(std::get<id == calls::fflush ? 0 : 3>(args));
    if constexpr (id == calls::NtQueryInformationFile)
        return e.status;
    ::SetLastError(e.win32);
    if constexpr (IsRuntime(id))
        errno = id == calls::malloc ? ENOMEM : e.errnoValue;
    if constexpr (id == calls::fopen_s)
        return *std::get<0>(args) = nullptr, e.errnoValue;
    else if constexpr (id == calls::_sopen_s)
        return *std::get<0>(args) = -1, e.errnoValue;
    else if constexpr (Any(id, calls::fread, calls::fwrite))
        return 0;
    else if constexpr (Any(id, calls::fflush, calls::fclose))
        return EOF;
    else if constexpr (Any(id, calls::GetFileAttributesW, calls::GetFileSize,
                           calls::SetFilePointer))
        return 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES, INVALID_FILE_SIZE, INVALID_SET_FILE_POINTER
    else if constexpr (Any(id, calls::CreateFileA, calls::CreateFileW, calls::FindFirstFileW))
        return INVALID_HANDLE_VALUE;
    else if constexpr (std::is_pointer_v<R>)
        return nullptr;  // malloc, _fsopen, _fdopen, _wfopen, _wfsopen
    else  // FALSE or a length of 0; a descriptor, position, size, count or result of -1
        return static_cast<R>(IsRuntime(id) ? -1 : 0);
}

template <Call id, class R, class Args, class Real>
R Dispatch(const Args& args, Real real) {
    State& s = Current();
    ++s.totals[id];
    if constexpr (Failable(id)) {
        const int index = s.calls++, ordinal = ++s.frames.back().counts[id];
        if (index == s.failAt) {
            s.injected = true, s.failedCall = id, s.label = s.frames.back().label;
            s.ordinal = ordinal, s.progressAtFault = s.progress, s.stepAtFault = s.step;
            using First = std::decay_t<std::tuple_element_t<0, Args>>;
            if constexpr (std::is_same_v<First, const wchar_t*>)
                s.failedName = std::get<0>(args) ? std::get<0>(args) : L"";
            else if constexpr (std::is_same_v<First, HANDLE>)
                s.failedName = s.names[Key(std::get<0>(args))];
            return Fail<id, R>(args, real);
        }
    }
    if constexpr (std::is_void_v<R>)
        return real(), Note<id>(args, 0);
    else {
        const R result = real();
        Note<id>(args, result);
        if constexpr (id == calls::ferror)  // as a real fread/fwrite/fflush failure would
            return s.failedStreams.count(std::get<0>(args)) ? 1 : result;
        return result;
    }
}

template <Call id, auto field, class R, class... A>
R Forward(A... args) {
    return Dispatch<id, R>(std::forward_as_tuple(args...),
                           [&]() -> R { return (Current().below.*field)(args...); });
}

// Each wrapper has its entry's calling convention: the C runtime's __cdecl, the system's
// __stdcall (WINAPI, NTAPI). x86_64 has one convention, and the two types are the same.
template <Call id, auto field, class Fn = std::decay_t<decltype(sys::Table().*field)>>
struct Wrapper;
template <Call id, auto field, class R, class... A>
struct Wrapper<id, field, R(__cdecl*)(A...)> {
    static R __cdecl Entry(A... args) { return Forward<id, field, R>(args...); }
};
#if !defined(_WIN64)
template <Call id, auto field, class R, class... A>
struct Wrapper<id, field, R(__stdcall*)(A...)> {
    static R __stdcall Entry(A... args) { return Forward<id, field, R>(args...); }
};
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

// The table with every entry wrapped.
inline sys::Table Wrapped() {
    sys::Table table;
#define FAULT_WRAP(name, ...) table.name = &Wrapper<calls::name, &sys::Table::name>::Entry;
    TARNIO_SYSTEM_CALLS(FAULT_WRAP)
    TARNIO_FIRST_CALLS(FAULT_WRAP)
    TARNIO_BOUND_CALLS(FAULT_WRAP)
#undef FAULT_WRAP
    return table;
}

}  // namespace FaultInjection
