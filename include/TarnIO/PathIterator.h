// PathIterator: enumerates the entries of a directory that match a name
// pattern, optionally descending into subdirectories, depth-first in
// pre-order (a directory is reported before its contents). "." and ".." are
// never reported. Nothing is thrown for a file-system failure: a search that
// cannot start or go on simply ends (a directory that cannot be read is
// reported but its contents are skipped).
//
//     for (TarnIO::PathIterator it(L"C:\\dir\\*", TarnIO::PathIterator::recursive);
//          it != TarnIO::PathIterator::end; ++it) {
//         TarnIO::PathStats stats;
//         it.Query(stats);
//         use(it.GetPath(), stats.GetFileSize());
//     }
//
// The pattern (the last component of the start path) applies at every level,
// both to the entries reported and to the subdirectories entered. Entry paths
// are absolute and normal, built on the start path made absolute at Start.
// The iterator owns its find handles; none outlives it. Neither copyable nor
// assignable.
#pragma once

#include "TarnIO/Export.h"
#include "TarnIO/Path.h"

#include <boost/noncopyable.hpp>

#include <windows.h>

#include <memory>

namespace TarnIO {

class PathStats;

class TARNIO_API PathIterator : private boost::noncopyable {
public:
    // The option bit that asks for descent into subdirectories; other bits
    // have no meaning.
    static constexpr long recursive = 1;

    // The type of end: compare an iterator with it to test IsDone.
    struct SentinelType {};
    static const SentinelType& end;

    // Done.
    PathIterator();
    // Start(path, options); a search that cannot start leaves it done.
    PathIterator(const Path& path, long options);
    ~PathIterator();

    // Ends any search in progress (the whole chain) and starts anew; true
    // when the iterator stands on a first entry.
    bool Start(const Path& path, long options);
    // Moves to the next entry; false when the enumeration has ended.
    bool Next();
    PathIterator& operator++() {
        Next();
        return *this;
    }
    bool IsDone() const { return findHandle == INVALID_HANDLE_VALUE; }
    // The current entry's full path; the empty path when done.
    const Path& GetPath() const;
    // Whether the current entry is a directory; false when done.
    bool IsDirectory() const;
    // Fills stats from what the search delivered for the current entry (no
    // system call); when done, resets stats and returns false.
    bool Query(PathStats& stats) const;

private:
    void Close();
    bool DoNext();
    bool SkipDots() const;
    void CommitPath();
    const WIN32_FIND_DATAW& GetFindData() const;
    bool IsDirectoryNonRec() const;
    const PathIterator& Innermost() const;

    HANDLE findHandle;
    WIN32_FIND_DATAW findData;
    std::unique_ptr<PathIterator> child;
    long options;
    Path searchDirectory;
    Path searchPattern;
    Path entryPath;
};

inline bool operator==(const PathIterator& it, const PathIterator::SentinelType&) {
    return it.IsDone();
}
inline bool operator!=(const PathIterator& it, const PathIterator::SentinelType&) {
    return !it.IsDone();
}
inline bool operator==(const PathIterator::SentinelType&, const PathIterator& it) {
    return it.IsDone();
}
inline bool operator!=(const PathIterator::SentinelType&, const PathIterator& it) {
    return !it.IsDone();
}

}  // namespace TarnIO
