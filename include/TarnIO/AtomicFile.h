// AtomicFile: a File that replaces a file as a whole or not at all.
//
// It never writes to its target. What is written goes to a new temporary
// file beside the target; Commit flushes that file to the disk and moves it
// into the target's place in one step (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH), so a reader of the
// target sees the old content or the new, never a mix, and a save that
// fails, or is abandoned, leaves the old file as it was. Closing or
// destroying it without Commit removes the temporary.
//
//     TarnIO::AtomicFile out(TarnIO::Path(L"C:\\data\\settings.ini"));
//     out.Write(text.data(), text.size());
//     out.Commit();  // or nothing changes
//
// The temporary is the target's name followed by ".~<hex>.tmp" (a base name
// longer than 200 characters is cut first), created new (never an existing
// file) for reading and writing, sharing nothing. Reading, writing, seeking,
// the size and Flush are those of a FileHandle on it and throw as FileHandle
// does, with its Contexts.
//
// The target:
// - need not exist: Commit creates it. Its directory must exist.
// - keeps its hidden, system and not-content-indexed attributes, which the
//   new file takes before the move. Otherwise the new file is new: its
//   times, its security (what its directory gives new files), alternate data
//   streams and hard links of the old file are not carried over.
// - when read-only, is not replaced: Commit throws access denied.
// - when a symbolic link, is replaced by the new file; what the link pointed
//   to is untouched.
// - while another program has it open, may not be replaced: the system
//   refuses to move a file over one that is open (sharing deletion or not,
//   unless its POSIX rename semantics apply), and Commit throws what it
//   reports (access denied, sharing violation) with nothing changed. Make a
//   new AtomicFile and try again later.
// A process killed outright may leave its temporary behind, never a partly
// written target.
//
// Neither copyable nor assignable.
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/FileHandle.h"
#include "TarnIO/Path.h"
#include "TarnIO/Stream.h"

#include <boost/noncopyable.hpp>

namespace TarnIO {

class TARNIO_API AtomicFile : public File, private boost::noncopyable {
public:
    // Creates the temporary. Throws FileOpenError "unable to open file" with
    // the FileErrorCode, the Win32 error and the temporary's name; an empty
    // target throws TarnError::InvalidArgument naming "target".
    explicit AtomicFile(const Path& target);
    // Close: without Commit, the temporary goes and the target stays.
    ~AtomicFile() override;

    // Flushes the temporary to the disk, closes it and moves it over the
    // target. Whether it returns or throws, the object is closed afterwards
    // and no temporary is left: on failure it is removed and the target is
    // as it was. Throws FileWriteError "unable to replace file" with the
    // FileErrorCode, the Win32 error and the target (ErrorInfo_path).
    void Commit();

    const Path& GetTarget() const { return target; }
    // The temporary's name while open; empty once closed or committed.
    const Path& GetTemporaryPath() const { return temporary; }

    std::uint64_t GetSize() const override { return file.GetSize(); }
    std::uint64_t GetPosition() const override { return file.GetPosition(); }
    std::uint64_t Read(void* buffer, std::uint64_t count) override {
        return file.Read(buffer, count);
    }
    std::uint64_t Write(const void* buffer, std::uint64_t count) override {
        return file.Write(buffer, count);
    }
    bool IsOpen() const override { return file.IsOpen(); }
    // Abandons the save: closes and removes the temporary (should the system
    // refuse to remove it, it stays); the target is untouched. Never throws.
    void Close() override;
    void Flush() override { file.Flush(); }
    std::uint64_t Seek(std::int64_t offset, SeekOrigin origin) override {
        return file.Seek(offset, origin);
    }

private:
    // The failing call's Win32 error, or NO_ERROR once the target is replaced.
    unsigned long Replace();

    Path target;
    Path temporary;
    FileHandle file;
};

}  // namespace TarnIO
