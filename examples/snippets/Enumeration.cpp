// examples/snippets/Enumeration.cpp: walking a directory tree.
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>

#include <cstdint>

std::uint64_t TotalSize(const TarnIO::Path& dir) {
    using TarnIO::PathIterator;
    std::uint64_t total = 0;
    for (PathIterator it(dir.Child(L"*"), PathIterator::recursive); it != PathIterator::end;
         ++it) {
        TarnIO::PathStats stats;
        if (it.Query(stats) && stats.IsFile())  // no system call: the search's own data
            total += stats.GetFileSize();
    }
    return total;
}
