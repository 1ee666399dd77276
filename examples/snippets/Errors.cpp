// examples/snippets/Errors.cpp: reading what went wrong.
#include <TarnIO/Error.h>
#include <TarnIO/FileError.h>
#include <TarnIO/FileHandle.h>

#include <cstdio>

bool OpenOrReport(const wchar_t* name) {
    try {
        TarnIO::FileHandle in(name);
        return true;
    } catch (const TarnIO::FileOpenError& e) {
        TarnIO::FileErrorCode code = *e.GetInfo<TarnIO::ErrorInfo_FileErrorCode>();
        const unsigned long* win32 = e.GetInfo<TarnError::ErrorInfo_Win32Error>();
        std::fprintf(stderr, "%s\n", e.what());  // message [details] at function (file:line)
        return code == TarnIO::fileErrorNotFound && win32 && *win32 == ERROR_FILE_NOT_FOUND;
    }
}
