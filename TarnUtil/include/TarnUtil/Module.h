// Module: a system module (DLL) loaded by name, whose optional exports can be
// bound at run time. A module that cannot be loaded is not an error: the
// object is then empty and binds nothing, so callers take their fallback.
#pragma once

#include "TarnUtil/Export.h"

namespace TarnUtil {

class TARNUTIL_API Module {
public:
    enum AccessMode {
        // Load the module (LoadLibraryEx) and unload it when the object dies.
        accessLoad = 0,
        // Use the module only if the process has it loaded already
        // (GetModuleHandle); never loads or unloads it.
        accessLoaded = 1,
    };

    // name is given without extension, as "kernel32". flags go to
    // LoadLibraryExA unchanged (accessLoad only).
    Module(const char* name, AccessMode mode, unsigned flags);
    ~Module();

    Module(const Module&) = delete;
    Module& operator=(const Module&) = delete;

    bool IsLoaded() const { return handle != nullptr; }
    // The module's HMODULE, or null.
    void* GetHandle() const { return handle; }
    // The address of the exported function name, or null when the module has
    // none or is not loaded. The caller casts it to the function's signature.
    void* BindSymbol(const char* name) const;

private:
    void* handle;
    bool owned;
};

}  // namespace TarnUtil
