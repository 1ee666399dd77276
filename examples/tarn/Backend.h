// Choosing a TarnIO backend by name on the command line: --backend
// handle|fd|stdio picks FileHandle, FileDescriptor or StdFile. The commands
// then see only the File interface, so every backend is driven the same way.
#pragma once

#include "Commands.h"

#include <TarnIO/Stream.h>

#include <memory>
#include <string>

namespace tarn {

// Removes "--backend NAME" from args and returns NAME ("handle" when absent).
// Throws UsageError for a missing or unknown name.
std::wstring TakeBackendOption(Args& args);

// Opens an existing file for reading, sharing reads, writes and deletion.
std::unique_ptr<TarnIO::File> OpenForReading(const std::wstring& backend, const std::wstring& path);

}  // namespace tarn
