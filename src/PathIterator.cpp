// PathIterator: a directory search with FindFirstFileW/FindNextFileW, one
// level per iterator, with the levels below the current entry held as a
// chain of child iterators.
#include "TarnIO/PathIterator.h"

#include "TarnIO/PathStats.h"

#include "AttributeData.h"
#include "Sys.h"

#include <cwchar>

namespace TarnIO {

namespace {

// The one object that PathIterator::end names.
const PathIterator::SentinelType endSentinel{};

}  // namespace

const PathIterator::SentinelType& PathIterator::end = endSentinel;

// Exported for programs that bind it to a reference (see Path.cpp).
constexpr long PathIterator::recursive;

PathIterator::PathIterator() : findHandle(INVALID_HANDLE_VALUE), findData(), options(0) {}

// Delegating: once the plain constructor has run the object counts as
// constructed, so should Start throw (out of memory while building a path)
// the destructor still closes a search it had opened.
PathIterator::PathIterator(const Path& path, long options) : PathIterator() {
    Start(path, options);
}

PathIterator::~PathIterator() { Close(); }

bool PathIterator::Start(const Path& path, long newOptions) {
    // path may be one of this iterator's own paths (it.Start(it.GetPath(), 1)),
    // which Close empties or destroys: work on a copy.
    const Path start(path);
    Close();
    searchDirectory = start;
    searchDirectory.MakeAbsolute();
    searchDirectory.Split(&searchDirectory, &searchPattern);
    // The search itself runs on the text as given; the absolute form serves
    // only to build the entry paths and the searches one level down.
    findHandle = sys::FindFirstFileW(start.AsCStr(), &findData);
    if (findHandle == INVALID_HANDLE_VALUE)
        return false;
    options = newOptions;
    while (SkipDots()) {
        if (!DoNext())
            return false;
    }
    CommitPath();
    return true;
}

bool PathIterator::Next() {
    if (findHandle == INVALID_HANDLE_VALUE)
        return false;
    if (child) {
        if (child->Next())
            return true;
        child.reset();
    } else if ((options & recursive) != 0 && IsDirectoryNonRec()) {
        // The same pattern one level down. A directory in which nothing
        // matches, or that cannot be searched, is left at once.
        std::unique_ptr<PathIterator> sub(
            new PathIterator(entryPath.Child(searchPattern), options));
        if (!sub->IsDone()) {
            child = std::move(sub);
            return true;
        }
    }
    do {
        if (!DoNext())
            return false;
    } while (SkipDots());
    CommitPath();
    return true;
}

const Path& PathIterator::GetPath() const { return Innermost().entryPath; }

bool PathIterator::IsDirectory() const { return Innermost().IsDirectoryNonRec(); }

bool PathIterator::Query(PathStats& stats) const {
    if (findHandle == INVALID_HANDLE_VALUE) {
        stats.Reset();
        return false;
    }
    // What the search delivered for the entry; no system call.
    const WIN32_FIND_DATAW& data = GetFindData();
    detail::CopyAttributeData(stats.attributeData, data);
    // dwReserved0 carries the reparse tag only for a reparse point.
    stats.reparseTag =
        (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? data.dwReserved0 : 0;
    stats.lastError = 0;
    stats.exists = true;
    return true;
}

void PathIterator::Close() {
    if (findHandle == INVALID_HANDLE_VALUE)
        return;
    // The levels below first: each closes its own search as it goes.
    child.reset();
    sys::FindClose(findHandle);
    findHandle = INVALID_HANDLE_VALUE;
    entryPath.Clear();
    searchDirectory.Clear();
    searchPattern.Clear();
}

bool PathIterator::DoNext() {
    if (sys::FindNextFileW(findHandle, &findData))
        return true;
    // ERROR_NO_MORE_FILES or a real failure: either way this level is over.
    Close();
    return false;
}

bool PathIterator::SkipDots() const {
    return std::wcscmp(findData.cFileName, L".") == 0 ||
           std::wcscmp(findData.cFileName, L"..") == 0;
}

void PathIterator::CommitPath() {
    entryPath = searchDirectory;
    entryPath.MakeChild(Path(findData.cFileName));
}

const WIN32_FIND_DATAW& PathIterator::GetFindData() const { return Innermost().findData; }

bool PathIterator::IsDirectoryNonRec() const {
    return findHandle != INVALID_HANDLE_VALUE &&
           (findData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

const PathIterator& PathIterator::Innermost() const {
    const PathIterator* level = this;
    while (level->child)
        level = level->child.get();
    return *level;
}

}  // namespace TarnIO
