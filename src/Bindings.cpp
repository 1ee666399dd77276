#include "Bindings.h"

#include "Platform.h"

#include <TarnUtil/Module.h>

namespace TarnIO {
namespace bind {

namespace {

// One module object per system DLL, shared by all its bindings, built at first
// use and destroyed when the library is unloaded.
TarnUtil::Module& Kernel32() {
    static TarnUtil::Module module("kernel32", TarnUtil::Module::accessLoad, 0);
    return module;
}

TarnUtil::Module& Ntdll() {
    static TarnUtil::Module module("ntdll", TarnUtil::Module::accessLoad, 0);
    return module;
}

template <class Fn>
Fn BindFrom(TarnUtil::Module& module, const char* name) {
    return reinterpret_cast<Fn>(module.BindSymbol(name));
}

// The C runtime's wide open functions are used only on NT-family systems.
template <class Fn>
Fn BindFromRuntime(const char* name) {
    return detail::IsWindowsNT() ? BindFrom<Fn>(detail::GetRuntimeModule(), name) : nullptr;
}

template <class Fn>
struct Replacement {
    Fn fn = nullptr;
    bool active = false;
};

Replacement<GetFileSizeExFn> getFileSizeEx;
Replacement<SetFilePointerExFn> setFilePointerEx;
Replacement<NtQueryInformationFileFn> ntQueryInformationFile;
Replacement<WsopenFn> wsopen;
Replacement<WfopenFn> wfopen;
Replacement<WfsopenFn> wfsopen;

template <class Fn>
Fn Pick(const Replacement<Fn>& replacement, Fn bound) {
    return replacement.active ? replacement.fn : bound;
}

template <class Fn>
void Set(Replacement<Fn>& replacement, Fn fn) {
    replacement.fn = fn;
    replacement.active = true;
}

}  // namespace

GetFileSizeExFn GetFileSizeEx() {
    static const GetFileSizeExFn bound = BindFrom<GetFileSizeExFn>(Kernel32(), "GetFileSizeEx");
    return Pick(getFileSizeEx, bound);
}

SetFilePointerExFn SetFilePointerEx() {
    static const SetFilePointerExFn bound =
        BindFrom<SetFilePointerExFn>(Kernel32(), "SetFilePointerEx");
    return Pick(setFilePointerEx, bound);
}

NtQueryInformationFileFn NtQueryInformationFile() {
    static const NtQueryInformationFileFn bound =
        BindFrom<NtQueryInformationFileFn>(Ntdll(), "NtQueryInformationFile");
    return Pick(ntQueryInformationFile, bound);
}

WsopenFn Wsopen() {
    static const WsopenFn bound = BindFromRuntime<WsopenFn>("_wsopen");
    return Pick(wsopen, bound);
}

WfopenFn Wfopen() {
    static const WfopenFn bound = BindFromRuntime<WfopenFn>("_wfopen");
    return Pick(wfopen, bound);
}

WfsopenFn Wfsopen() {
    static const WfsopenFn bound = BindFromRuntime<WfsopenFn>("_wfsopen");
    return Pick(wfsopen, bound);
}

void Override(GetFileSizeExFn fn) { Set(getFileSizeEx, fn); }
void Override(SetFilePointerExFn fn) { Set(setFilePointerEx, fn); }
void Override(NtQueryInformationFileFn fn) { Set(ntQueryInformationFile, fn); }
void Override(WsopenFn fn) { Set(wsopen, fn); }
void Override(WfopenFn fn) { Set(wfopen, fn); }
void Override(WfsopenFn fn) { Set(wfsopen, fn); }

void RestoreAll() {
    getFileSizeEx = {};
    setFilePointerEx = {};
    ntQueryInformationFile = {};
    wsopen = {};
    wfopen = {};
    wfsopen = {};
}

}  // namespace bind
}  // namespace TarnIO
