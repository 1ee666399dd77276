// A FindFirstFileW search handle, closed (through the call table) on every
// way out of the scope that opened it.
#pragma once

#include "Sys.h"

#include <windows.h>

namespace TarnIO {
namespace detail {

class ScopedFind {
public:
    explicit ScopedFind(HANDLE find) : find(find) {}
    ~ScopedFind() {
        if (IsValid())
            sys::FindClose(find);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;

    bool IsValid() const { return find != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return find; }

private:
    HANDLE find;
};

}  // namespace detail
}  // namespace TarnIO
