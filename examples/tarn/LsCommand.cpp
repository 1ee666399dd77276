// tarn ls: lists the entries that match a pattern with TarnIO::PathIterator,
// one line per entry in the order the iterator reports them (depth-first,
// each directory before its contents), then a count.
#include "Commands.h"

#include <TarnIO/Path.h>
#include <TarnIO/PathIterator.h>
#include <TarnIO/PathStats.h>

#include <cwchar>

namespace tarn {

namespace {

std::wstring Kind(const TarnIO::PathStats& stats) {
    if (stats.IsSymlink())
        return L"link";
    if (stats.IsDirectory())
        return L"dir ";
    if (stats.IsDevice())
        return L"dev ";
    return L"file";
}

// One letter per attribute, '-' where it is absent: read-only, hidden,
// system, archive, compressed, encrypted, reparse point.
std::wstring Letters(const TarnIO::PathStats& stats) {
    std::wstring letters;
    letters += stats.IsReadOnly() ? L'r' : L'-';
    letters += stats.IsHidden() ? L'h' : L'-';
    letters += stats.IsSystem() ? L's' : L'-';
    letters += stats.IsArchive() ? L'a' : L'-';
    letters += stats.IsCompressed() ? L'c' : L'-';
    letters += stats.IsEncrypted() ? L'e' : L'-';
    letters += stats.IsReparsePoint() ? L'p' : L'-';
    return letters;
}

std::wstring Line(const TarnIO::PathIterator& it) {
    TarnIO::PathStats stats;
    it.Query(stats);
    wchar_t size[32];
    if (stats.IsDirectory())
        std::swprintf(size, 32, L"%14ls", L"-");
    else
        std::swprintf(size, 32, L"%14llu", static_cast<unsigned long long>(stats.GetFileSize()));
    return Kind(stats) + L" " + size + L" " + Widen(stats.GetModifyTime().ToIsoString()) + L" " +
           Letters(stats) + L" " + it.GetPath().AsString() + L"\n";
}

}  // namespace

int LsCommand(const Args& args) {
    long options = 0;
    std::wstring pattern;
    for (const std::wstring& arg : args) {
        if (arg == L"-r")
            options |= TarnIO::PathIterator::recursive;
        else if (!pattern.empty())
            throw UsageError{"more than one pattern given"};
        else
            pattern = arg;
    }
    if (pattern.empty())
        throw UsageError{"no pattern given"};

    // A bare directory lists its contents, as ls does; the iterator itself
    // would report only the directory.
    TarnIO::Path start(pattern);
    if (!start.HasWildcards() && start.Exists() && start.IsDirectory())
        start.MakeChild(TarnIO::Path(L"*"));

    unsigned long long count = 0;
    for (TarnIO::PathIterator it(start, options); it != TarnIO::PathIterator::end; ++it) {
        Out(Line(it));
        ++count;
    }
    // The iterator does not tell "nothing matched" from "no such directory"
    // or "a file, not a directory".
    const TarnIO::Path directory = start.GetDirectory();
    if (count == 0 && !directory.IsEmpty() && !(directory.Exists() && directory.IsDirectory())) {
        const wchar_t* what = directory.Exists() ? L"not a directory" : L"no such directory";
        Err(L"tarn: " + std::wstring(what) + L": " + directory.AsString() + L"\n");
        return 1;
    }
    Out(std::to_wstring(count) + (count == 1 ? L" entry\n" : L" entries\n"));
    return 0;
}

}  // namespace tarn
