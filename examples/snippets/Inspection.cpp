// examples/snippets/Inspection.cpp: asking the file system about a path.
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include <cstdint>

void InspectionQuickStart(const TarnIO::Path& path) {
    if (!path.Exists())  // access tests answer false, never throw
        return;
    TarnIO::PathStats stats;
    if (path.Query(stats)) {  // false: the Win32 error is in stats.GetQueryError()
        std::uint64_t size = stats.GetFileSize();
        bool plainFile = stats.IsFile();  // not a directory, device or reparse point
        std::int64_t modified = stats.GetModifyTime().GetUnixSeconds();
        (void)size, (void)plainFile, (void)modified;
    }
    bool directory = path.IsDirectory();  // throws PathError when it cannot tell
    (void)directory;
}
