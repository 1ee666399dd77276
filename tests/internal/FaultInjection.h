// Fault injection through the system call table (Sys.h): one wrapper per
// entry counts the calls that can fail, makes the chosen one fail with a
// chosen error the way the real function reports it, and keeps account of
// every handle, descriptor, stream, search, stream lock and malloc block
// opened and closed.
//
// x86_64 only: there every entry has the same calling convention, so one
// template, specialised on the entry's type, wraps them all.
#pragma once

#if defined(_WIN64)

#include "Sys.h"

#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

// Some C runtime declarations carry GCC attributes (malloc, nothrow) that a
// function pointer type used as a template argument cannot keep.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace FaultInjection {

namespace sys = TarnIO::sys;

#define FAULT_ID(name, ...) name,
#define FAULT_TEXT(name, ...) #name,
// Every entry of the table by its function's name: calls::ReadFile.
namespace calls {
enum Call : int { TARNIO_SYSTEM_CALLS(FAULT_ID) TARNIO_BOUND_CALLS(FAULT_ID) count };
}  // namespace calls
using calls::Call;
constexpr const char* callNames[] = {TARNIO_SYSTEM_CALLS(FAULT_TEXT) TARNIO_BOUND_CALLS(FAULT_TEXT)};
#undef FAULT_ID
#undef FAULT_TEXT

inline const char* CallName(int call) {
    return call >= 0 && call < calls::count ? callNames[call] : "(none)";
}

// Calls that cannot fail, or whose failure is no failure of the operation, are
// wrapped (ferror reports injected stream errors; free and the stream locks
// are counted) but never fail. GetVersionExA runs only in the one-time binding.
constexpr bool Failable(Call call) {
    return call != calls::ferror && call != calls::towupper && call != calls::free &&
           call != calls::_lock_file && call != calls::_unlock_file && call != calls::GetVersionExA;
}

// The C runtime's functions are the lower-case ones (_read, fopen_s, malloc):
// they report through errno, the others through the last error, and ntdll's
// through the NTSTATUS they return.
constexpr bool IsRuntime(Call call) {
    return callNames[call][0] == '_' || (callNames[call][0] >= 'a' && callNames[call][0] <= 'z');
}

// One error in the forms the three families report it: the last error, the
// errno the C runtime maps it to, the NTSTATUS behind it.
struct Error { const char* name; DWORD win32; int errnoValue; LONG status; };

enum Resource { handle, descriptor, stream, search, block, lock };
const char* const resourceNames[] = {"handle", "descriptor", "stream", "search", "malloc block", "stream lock"};

// The operation a call belongs to: the public operation the scenario called,
// or the innermost one the traced backend entered; its calls by function.
struct Frame { std::string label; int counts[calls::count] = {}; };

// What the wrappers see and do in one run. Reset by Begin.
struct State {
    sys::Table below;  // what the wrappers call: the real table or a scenario's fakes
    int calls = 0;     // failable calls so far
    int failAt = -1;   // the failable call to fail; -1: none
    const Error* error = nullptr;
    // The injected fault, as it happened: the call, the innermost operation,
    // which call of that function within it (from 1), the search that failed
    // (FindFirstFileW/FindNextFileW), the scenario's step and progress then.
    bool injected = false;
    int failedCall = -1, ordinal = 0, stepAtFault = -1, progressAtFault = 0;
    std::string label;
    std::wstring searchPattern;

    int totals[calls::count] = {};  // every call, failable or not, by function
    int step = 0, progress = 0;     // the scenario's step, and entries it reported so far
    std::vector<Frame> frames;
    std::multiset<std::pair<int, std::uintptr_t>> open;
    std::map<std::uintptr_t, std::wstring> searches;  // find handle -> pattern
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

// A handle, descriptor, stream or block as a number.
template <class T> std::uintptr_t Key(T value) { return (std::uintptr_t)value; }
template <class T> void Opened(Resource kind, T value) { Current().open.insert({kind, Key(value)}); }
template <class T> void Closed(Resource kind, T value) {
    State& s = Current();
    auto found = s.open.find({kind, Key(value)});
    if (found == s.open.end())
        s.problems.push_back(std::string("closed a ") + resourceNames[kind] + " it never opened (or closed it twice)");
    else
        s.open.erase(found);
}

// The last error and errno as a call left them, put back after the
// bookkeeping that follows the call.
struct KeepErrors {
    ~KeepErrors() { errno = errnoValue, ::SetLastError(lastError); }
    DWORD lastError = ::GetLastError();
    int errnoValue = errno;
};

// After a real call (or an injected failure of a closing one, which still
// releases what it closes): the bookkeeping of what it opened or closed.
template <Call id, class Args, class R>
void Note(const Args& args, R result) {
    KeepErrors keep;
    const auto first = std::get<0>(args);
    if constexpr (id == calls::CreateFileA || id == calls::CreateFileW || id == calls::FindFirstFileW) {
        if (result != INVALID_HANDLE_VALUE)
            Opened(id == calls::FindFirstFileW ? search : handle, result);
        if constexpr (id == calls::FindFirstFileW)
            Current().searches[Key(result)] = first;
    } else if constexpr (id == calls::_sopen_s || id == calls::fopen_s) {
        if (result == 0)
            Opened(id == calls::fopen_s ? stream : descriptor, *first);
    } else if constexpr (id == calls::_wsopen || id == calls::_open_osfhandle) {
        if (result != -1)
            Opened(descriptor, result);
    } else if constexpr (id == calls::_fsopen || id == calls::_wfopen || id == calls::_wfsopen ||
                         id == calls::_fdopen || id == calls::malloc) {
        if (result)
            Opened(id == calls::malloc ? block : stream, result);
    } else if constexpr (id == calls::_lock_file) {
        Opened(lock, first);
    }
    // What a call closes; a descriptor made over a handle takes the handle
    // over, a stream made over a descriptor the descriptor.
    constexpr int closes = id == calls::CloseHandle || id == calls::_open_osfhandle ? handle
                           : id == calls::_close || id == calls::_fdopen            ? descriptor
                           : id == calls::fclose                                    ? stream
                           : id == calls::FindClose                                 ? search
                           : id == calls::_unlock_file                              ? lock
                           : id == calls::free                                      ? block : -1;
    if constexpr (closes >= 0) {
        const bool tookOver = id == calls::_open_osfhandle ? result != R(-1) : id == calls::_fdopen ? !!result : true;
        if (tookOver && (id != calls::free || first))  // free(nullptr) frees nothing
            Closed(Resource(closes), first);
        if constexpr (id == calls::fclose)
            Current().failedStreams.erase(first);
    }
}

// The injected failure: the failure value of the function, with the last
// error and errno set as the real function leaves them.
template <Call id, class R, class Args, class Real>
R Fail(const Args& args, Real real) {
    State& s = Current();
    const Error& e = *s.error;
    if constexpr (id == calls::CloseHandle || id == calls::FindClose || id == calls::_close || id == calls::fclose)
        Note<id>(args, real());  // fclose, for one, dissociates the stream whatever it returns
    if constexpr (id == calls::fread || id == calls::fwrite)
        s.failedStreams.insert(std::get<3>(args));
    else if constexpr (id == calls::fflush)
        s.failedStreams.insert(std::get<0>(args));
    // The C runtime fails after a Win32 call that left its error, and maps
    // that error to errno.
    if constexpr (id != calls::NtQueryInformationFile)
        ::SetLastError(e.win32);
    if constexpr (IsRuntime(id))
        errno = id == calls::malloc ? ENOMEM : e.errnoValue;
    if constexpr (id == calls::NtQueryInformationFile)
        return e.status;
    else if constexpr (id == calls::fopen_s)
        return *std::get<0>(args) = nullptr, e.errnoValue;
    else if constexpr (id == calls::_sopen_s)
        return *std::get<0>(args) = -1, e.errnoValue;
    else if constexpr (id == calls::fread || id == calls::fwrite)
        return 0;
    else if constexpr (id == calls::fflush || id == calls::fclose)
        return EOF;
    else if constexpr (id == calls::GetFileAttributesW || id == calls::GetFileSize || id == calls::SetFilePointer)
        return 0xFFFFFFFF;  // INVALID_FILE_ATTRIBUTES, INVALID_FILE_SIZE, INVALID_SET_FILE_POINTER
    else if constexpr (id == calls::CreateFileA || id == calls::CreateFileW || id == calls::FindFirstFileW)
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
        const int index = s.calls++;
        const int ordinal = ++s.frames.back().counts[id];
        if (index == s.failAt) {
            s.injected = true, s.failedCall = id, s.label = s.frames.back().label, s.ordinal = ordinal;
            s.progressAtFault = s.progress, s.stepAtFault = s.step;
            if constexpr (id == calls::FindFirstFileW)
                s.searchPattern = std::get<0>(args);
            else if constexpr (id == calls::FindNextFileW)
                s.searchPattern = s.searches[Key(std::get<0>(args))];
            return Fail<id, R>(args, real);
        }
    }
    if constexpr (std::is_void_v<R>) {
        real(), Note<id>(args, 0);
    } else {
        const R result = real();
        Note<id>(args, result);
        // An injected fread/fwrite/fflush failure set the stream's error
        // indicator, as the real failure would have.
        if constexpr (id == calls::ferror)
            return s.failedStreams.count(std::get<0>(args)) ? 1 : result;
        return result;
    }
}

template <Call id, auto field, class Fn = std::decay_t<decltype(std::declval<sys::Table>().*field)>>
struct Wrapper;

template <Call id, auto field, class R, class... A>
struct Wrapper<id, field, R (*)(A...)> {
    static R Entry(A... args) {
        return Dispatch<id, R>(std::forward_as_tuple(args...),
                               [&]() -> R { return (Current().below.*field)(args...); });
    }
};

// The C runtime's variadic opens (_wsopen): the library always passes the
// one optional argument, the permission mode.
template <Call id, auto field, class R, class A1, class A2, class A3>
struct Wrapper<id, field, R (*)(A1, A2, A3, ...)> {
    static R Entry(A1 a1, A2 a2, A3 a3, ...) {
        va_list rest;
        va_start(rest, a3);
        const int pmode = va_arg(rest, int);  // read before va_end
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
    TARNIO_BOUND_CALLS(FAULT_WRAP)
#undef FAULT_WRAP
    return table;
}

}  // namespace FaultInjection

#endif  // _WIN64
