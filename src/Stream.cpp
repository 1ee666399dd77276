#include "TarnIO/Stream.h"

#include "Platform.h"
#include "Sys.h"

#include <TarnUtil/Module.h>

#include <windows.h>

#include <stdexcept>

namespace TarnIO {

// Exported for programs that bind it to a reference (see Path.cpp).
constexpr std::uint64_t Stream::unknownSize;

Stream::~Stream() {}

std::uint64_t Stream::Peek() {
    std::uint64_t size = GetSize();
    if (size == unknownSize)
        return unknownSize;
    std::uint64_t position = GetPosition();
    if (position == unknownSize || size < position)
        return unknownSize;
    return size - position;
}

namespace {

// Cuts out back to length when a Read throws, so a failure never leaves
// zero bytes that were never read at the end of the caller's string.
class RestoreLength {
public:
    RestoreLength(std::string& out, std::size_t length) : out(out), length(length) {}
    ~RestoreLength() {
        if (armed)
            out.resize(length);
    }
    void Disarm() { armed = false; }

private:
    std::string& out;
    std::size_t length;
    bool armed = true;
};

const std::uint64_t chunkSize = 4096;

}  // namespace

std::uint64_t Stream::ReadAll(std::string& out) {
    std::uint64_t remaining = Peek();
    if (remaining != unknownSize) {
        std::size_t length = out.size();
        if (remaining > out.max_size() - length)
            throw std::length_error("TarnIO::Stream::ReadAll: the rest of the stream does not fit "
                                    "in a std::string");
        out.resize(length + static_cast<std::size_t>(remaining));
        RestoreLength restore(out, length);
        std::uint64_t done = Read(&out[length], remaining);
        restore.Disarm();
        out.resize(length + static_cast<std::size_t>(done));
        return done;
    }
    std::uint64_t total = 0;
    for (;;) {
        std::size_t length = out.size();
        out.resize(length + chunkSize);
        RestoreLength restore(out, length);
        std::uint64_t done = Read(&out[length], chunkSize);
        restore.Disarm();
        out.resize(length + static_cast<std::size_t>(done));
        total += done;
        if (done == 0)
            return total;
    }
}

namespace {

// Seeks back to a saved position when the transfer between throws. A failure
// to seek back then is swallowed: the transfer's exception is the one the
// caller needs to see.
class RestorePosition {
public:
    RestorePosition(File& file, std::uint64_t position) : file(file), position(position) {}
    ~RestorePosition() {
        if (!armed)
            return;
        try {
            file.Seek(static_cast<std::int64_t>(position), seekBegin);
        } catch (...) {
        }
    }
    void Restore() {
        armed = false;
        file.Seek(static_cast<std::int64_t>(position), seekBegin);
    }

private:
    File& file;
    std::uint64_t position;
    bool armed = true;
};

}  // namespace

std::uint64_t File::ReadAt(std::uint64_t offset, void* buffer, std::uint64_t count) {
    std::uint64_t saved = GetPosition();
    Seek(static_cast<std::int64_t>(offset), seekBegin);
    RestorePosition restore(*this, saved);
    std::uint64_t done = Read(buffer, count);
    restore.Restore();
    return done;
}

std::uint64_t File::WriteAt(std::uint64_t offset, const void* buffer, std::uint64_t count) {
    std::uint64_t saved = GetPosition();
    Seek(static_cast<std::int64_t>(offset), seekBegin);
    RestorePosition restore(*this, saved);
    std::uint64_t done = Write(buffer, count);
    restore.Restore();
    return done;
}

namespace detail {

bool IsWindowsNT() {
    OSVERSIONINFOA info = {};
    info.dwOSVersionInfoSize = sizeof info;  // 148
    if (!sys::GetVersionExA(&info))
        return false;
    return info.dwPlatformId != VER_PLATFORM_WIN32s &&
           info.dwPlatformId != VER_PLATFORM_WIN32_WINDOWS;
}

TarnUtil::Module& GetRuntimeModule() {
    static TarnUtil::Module module(runtimeModuleName, TarnUtil::Module::accessLoad, 0);
    return module;
}

}  // namespace detail
}  // namespace TarnIO
