#include "TarnUtil/Module.h"

#include <windows.h>

namespace TarnUtil {

Module::Module(const char* name, AccessMode mode, unsigned flags) : handle(nullptr), owned(false) {
    if (mode == accessLoaded) {
        handle = ::GetModuleHandleA(name);
    } else {
        handle = ::LoadLibraryExA(name, nullptr, flags);
        owned = handle != nullptr;
    }
}

Module::~Module() {
    if (owned)
        ::FreeLibrary(static_cast<HMODULE>(handle));
}

void* Module::BindSymbol(const char* name) const {
    if (!handle)
        return nullptr;
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(handle), name));
}

}  // namespace TarnUtil
