// Fault injection through the system call table (Sys.h): one wrapper per
// entry that counts the calls that can fail, makes the chosen one fail with a
// chosen error the way the real function reports it, and keeps account of
// every handle, descriptor, stream, search and malloc block opened and closed.
//
// x86_64 only: there every entry has the same calling convention, so one
// template, specialised on the entry's type, wraps them all.
#pragma once

#if defined(_WIN64)

#include "Sys.h"

#include <windows.h>

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

// Some C runtime declarations carry GCC attributes (malloc, nothrow) that a
// function pointer type used as a template argument cannot keep.
#pragma GCC diagnostic ignored "-Wignored-attributes"

namespace FaultInjection {

namespace sys = TarnIO::sys;

// Every entry of the table by its function's name: calls::ReadFile.
namespace calls {
enum Call : int {
#define FAULT_CALL_ID(name) name,
#define FAULT_BOUND_CALL_ID(name, type) name,
    TARNIO_SYSTEM_CALLS(FAULT_CALL_ID) TARNIO_BOUND_CALLS(FAULT_BOUND_CALL_ID)
#undef FAULT_CALL_ID
#undef FAULT_BOUND_CALL_ID
    count
};
}  // namespace calls
using calls::Call;
const int callCount = calls::count;

inline const char* CallName(int call) {
    static const char* const names[] = {
#define FAULT_CALL_NAME(name) #name,
#define FAULT_BOUND_CALL_NAME(name, type) #name,
        TARNIO_SYSTEM_CALLS(FAULT_CALL_NAME) TARNIO_BOUND_CALLS(FAULT_BOUND_CALL_NAME)
#undef FAULT_CALL_NAME
#undef FAULT_BOUND_CALL_NAME
    };
    return call >= 0 && call < callCount ? names[call] : "(none)";
}

// Calls that cannot fail, or whose failure is not a failure of the operation:
// they are wrapped (ferror reports injected stream errors, free is counted)
// but never made to fail. GetVersionExA runs only inside the one-time
// binding, which the sweep does before it starts.
constexpr bool Failable(Call call) {
    return call != calls::ferror && call != calls::towupper && call != calls::free &&
           call != calls::_lock_file && call != calls::_unlock_file && call != calls::GetVersionExA;
}

// Which way a function reports its error.
enum Family { win32, runtime, ntdll };
constexpr Family FamilyOf(Call call) {
    switch (call) {
    case calls::NtQueryInformationFile:
        return ntdll;
    case calls::_sopen_s: case calls::_read: case calls::_write: case calls::_lseeki64: case calls::_telli64:
    case calls::_filelengthi64: case calls::_commit: case calls::_close: case calls::_get_osfhandle:
    case calls::_open_osfhandle: case calls::fopen_s: case calls::_fsopen: case calls::_fdopen:
    case calls::fread: case calls::fwrite: case calls::fflush: case calls::ferror: case calls::fclose:
    case calls::_fileno: case calls::_ftelli64: case calls::_fseeki64: case calls::_lock_file:
    case calls::_unlock_file: case calls::_waccess: case calls::towupper: case calls::malloc:
    case calls::free: case calls::_wsopen: case calls::_wfopen: case calls::_wfsopen:
        return runtime;
    default:
        return win32;
    }
}

// One error in the forms the three families report it.
struct Error {
    const char* name;
    DWORD win32;
    int errnoValue;  // what the C runtime maps the Win32 error to
    LONG status;     // the NTSTATUS behind it
};

enum Resource { handle, descriptor, stream, search, block, resourceKinds };
inline const char* ResourceName(int kind) {
    static const char* const names[] = {"handle", "descriptor", "stream", "search", "malloc block"};
    return names[kind];
}

// The operation a call belongs to: the public operation the scenario called,
// or the innermost one the traced backend entered.
struct Frame {
    std::string label;
    int counts[callCount] = {};
};

// What the wrappers see and do in one run. Reset by Begin.
struct State {
    sys::Table below;  // what the wrappers call: the real table or a scenario's fakes
    int calls = 0;     // failable calls so far
    int failAt = -1;   // the failable call to fail; -1: none
    const Error* error = nullptr;

    // The injected fault, as it happened.
    bool injected = false;
    int failedCall = -1;
    std::string label;           // the innermost operation at the fault
    int ordinal = 0;             // which call of that function within the operation, from 1
    std::wstring searchPattern;  // the search of a failing FindFirstFileW/FindNextFileW
    int progressAtFault = 0;
    int stepAtFault = -1;

    int totals[callCount] = {};  // every call, failable or not, by function
    int step = 0;      // the scenario's step in progress
    int progress = 0;  // advanced by a scenario (entries reported so far)
    std::vector<Frame> frames;
    std::multiset<std::pair<int, std::uintptr_t>> open;
    std::map<std::uintptr_t, std::wstring> searches;  // find handle -> pattern
    std::set<FILE*> failedStreams;  // streams whose error indicator an injected fault set
    std::vector<std::string> problems;
    int opened[resourceKinds] = {};
    int closed[resourceKinds] = {};
};

inline State& Current() {
    static State state;
    return state;
}

inline void Begin(int failAt, const Error* error) {
    State& s = Current();
    sys::Table below = s.below;
    s = State();
    s.below = below;
    s.failAt = failAt;
    s.error = error;
    s.frames.push_back(Frame{"(scenario)"});
}

class Operation {
public:
    explicit Operation(std::string label) { Current().frames.push_back(Frame{std::move(label)}); }
    ~Operation() { Current().frames.pop_back(); }
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;
};

template <class T>
std::uintptr_t Key(T value) {
    if constexpr (std::is_pointer_v<T>)
        return reinterpret_cast<std::uintptr_t>(value);
    else
        return static_cast<std::uintptr_t>(value);
}

template <class T>
void Opened(Resource kind, T value) {
    State& s = Current();
    s.open.insert({kind, Key(value)});
    ++s.opened[kind];
}

template <class T>
void Closed(Resource kind, T value) {
    State& s = Current();
    ++s.closed[kind];
    auto found = s.open.find({kind, Key(value)});
    if (found == s.open.end()) {
        s.problems.push_back(std::string("closed a ") + ResourceName(kind) +
                             " it never opened (or closed it twice)");
        return;
    }
    s.open.erase(found);
}

// The last error and errno as a call left them, put back after the
// bookkeeping that follows the call.
class KeepErrors {
public:
    KeepErrors() : lastError(::GetLastError()), errnoValue(errno) {}
    ~KeepErrors() {
        errno = errnoValue;
        ::SetLastError(lastError);
    }

private:
    DWORD lastError;
    int errnoValue;
};

// After a real call: the bookkeeping of what it opened or closed.
template <Call id, class R, class Args>
R After(const Args& args, R result) {
    KeepErrors keep;
    if constexpr (id == calls::CreateFileA || id == calls::CreateFileW) {
        if (result != INVALID_HANDLE_VALUE)
            Opened(handle, result);
    } else if constexpr (id == calls::CloseHandle) {
        Closed(handle, std::get<0>(args));
    } else if constexpr (id == calls::FindFirstFileW) {
        if (result != INVALID_HANDLE_VALUE) {
            Opened(search, result);
            Current().searches[Key(result)] = std::get<0>(args);
        }
    } else if constexpr (id == calls::FindClose) {
        Closed(search, std::get<0>(args));
        Current().searches.erase(Key(std::get<0>(args)));
    } else if constexpr (id == calls::_sopen_s) {
        if (result == 0)
            Opened(descriptor, *std::get<0>(args));
    } else if constexpr (id == calls::_wsopen) {
        if (result != -1)
            Opened(descriptor, result);
    } else if constexpr (id == calls::_open_osfhandle) {
        // The descriptor takes the handle over: closing it closes the handle.
        if (result != -1) {
            Closed(handle, std::get<0>(args));
            Opened(descriptor, result);
        }
    } else if constexpr (id == calls::_close) {
        Closed(descriptor, std::get<0>(args));
    } else if constexpr (id == calls::fopen_s) {
        if (result == 0)
            Opened(stream, *std::get<0>(args));
    } else if constexpr (id == calls::_fsopen || id == calls::_wfopen || id == calls::_wfsopen) {
        if (result)
            Opened(stream, result);
    } else if constexpr (id == calls::_fdopen) {
        // The stream takes the descriptor over.
        if (result) {
            Closed(descriptor, std::get<0>(args));
            Opened(stream, result);
        }
    } else if constexpr (id == calls::fclose) {
        Closed(stream, std::get<0>(args));
        Current().failedStreams.erase(std::get<0>(args));
    } else if constexpr (id == calls::malloc) {
        if (result)
            Opened(block, result);
    } else if constexpr (id == calls::ferror) {
        // An injected fread/fwrite/fflush failure set the stream's error
        // indicator, as the real failure would have.
        if (Current().failedStreams.count(std::get<0>(args)))
            return 1;
    }
    return result;
}

// The injected failure: the failure value of the function, with the last
// error and errno set as the real function leaves them. Closing calls still
// release what they close, as the real ones do when they report an error
// (fclose, for one, dissociates the stream whatever it returns).
template <Call id, class R, class Args, class Real>
R Fail(const Args& args, Real real) {
    State& s = Current();
    const Error& e = *s.error;
    if constexpr (id == calls::CloseHandle || id == calls::FindClose || id == calls::_close ||
                  id == calls::fclose) {
        After<id, R>(args, real());
    }
    if constexpr (id == calls::fread || id == calls::fwrite) {
        s.failedStreams.insert(std::get<3>(args));
    } else if constexpr (id == calls::fflush) {
        s.failedStreams.insert(std::get<0>(args));
    }
    if constexpr (FamilyOf(id) == win32) {
        ::SetLastError(e.win32);
    } else if constexpr (FamilyOf(id) == runtime) {
        // The C runtime fails after a Win32 call that left its error, and
        // maps that error to errno.
        ::SetLastError(e.win32);
        errno = id == calls::malloc ? ENOMEM : e.errnoValue;
    }

    if constexpr (id == calls::NtQueryInformationFile) {
        return e.status;
    } else if constexpr (id == calls::fopen_s) {
        *std::get<0>(args) = nullptr;
        return e.errnoValue;
    } else if constexpr (id == calls::_sopen_s) {
        *std::get<0>(args) = -1;
        return e.errnoValue;
    } else if constexpr (id == calls::fread || id == calls::fwrite) {
        return 0;
    } else if constexpr (id == calls::fflush || id == calls::fclose) {
        return EOF;
    } else if constexpr (id == calls::GetFileAttributesW) {
        return INVALID_FILE_ATTRIBUTES;
    } else if constexpr (id == calls::GetFileSize) {
        return INVALID_FILE_SIZE;
    } else if constexpr (id == calls::SetFilePointer) {
        return INVALID_SET_FILE_POINTER;
    } else if constexpr (id == calls::CreateFileA || id == calls::CreateFileW ||
                         id == calls::FindFirstFileW) {
        return INVALID_HANDLE_VALUE;
    } else if constexpr (std::is_pointer_v<R>) {
        return nullptr;  // malloc, _fsopen, _fdopen, _wfopen, _wfsopen
    } else if constexpr (FamilyOf(id) == win32) {
        return 0;  // FALSE, or a length of 0
    } else {
        return static_cast<R>(-1);  // descriptors, positions, sizes, counts, results
    }
}

template <Call id, class R, class Args, class Real>
R Dispatch(const Args& args, Real real) {
    State& s = Current();
    ++s.totals[id];
    if constexpr (Failable(id)) {
        const int index = s.calls++;
        const int ordinal = ++s.frames.back().counts[id];
        if (index == s.failAt) {
            s.injected = true;
            s.failedCall = id;
            s.label = s.frames.back().label;
            s.ordinal = ordinal;
            s.progressAtFault = s.progress;
            s.stepAtFault = s.step;
            if constexpr (id == calls::FindFirstFileW) {
                s.searchPattern = std::get<0>(args);
            } else if constexpr (id == calls::FindNextFileW) {
                auto found = s.searches.find(Key(std::get<0>(args)));
                if (found != s.searches.end())
                    s.searchPattern = found->second;
            }
            return Fail<id, R>(args, real);
        }
    }
    if constexpr (std::is_void_v<R>) {
        if constexpr (id == calls::free) {
            if (std::get<0>(args)) {
                KeepErrors keep;
                Closed(block, std::get<0>(args));
            }
        }
        real();
    } else {
        return After<id, R>(args, real());
    }
}

template <Call id, auto field, class Fn = std::remove_cv_t<
                                     std::remove_reference_t<decltype(std::declval<sys::Table>().*field)>>>
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
        const int pmode = va_arg(rest, int);
        va_end(rest);
        return Dispatch<id, R>(std::forward_as_tuple(a1, a2, a3), [&]() -> R {
            return (Current().below.*field)(a1, a2, a3, pmode);
        });
    }
};

// The table with every entry wrapped.
inline sys::Table Wrapped() {
    sys::Table table;
#define FAULT_WRAP(name) table.name = &Wrapper<calls::name, &sys::Table::name>::Entry;
#define FAULT_BOUND_WRAP(name, type) FAULT_WRAP(name)
    TARNIO_SYSTEM_CALLS(FAULT_WRAP)
    TARNIO_BOUND_CALLS(FAULT_BOUND_WRAP)
#undef FAULT_WRAP
#undef FAULT_BOUND_WRAP
    return table;
}

}  // namespace FaultInjection

#endif  // _WIN64
