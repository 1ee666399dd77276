// tarn stat: what FileHandle::Query and FileHandle::Stat report for a file
// or directory: kind, size, attributes by name, times in UTC, and the
// identity the handle information adds. A path that cannot be opened (a file
// the system holds, such as pagefile.sys), or any path with -e, is described
// from its directory entry through Path::Query instead.
#include "Commands.h"

#include <TarnIO/Error.h>
#include <TarnIO/FileHandle.h>
#include <TarnIO/Path.h>
#include <TarnIO/PathStats.h>

#include <windows.h>

#include <cwchar>
#include <string>

namespace tarn {

namespace {

std::wstring Hex(unsigned long long value, int digits) {
    wchar_t buffer[24];
    std::swprintf(buffer, sizeof buffer / sizeof buffer[0], L"0x%0*llX", digits, value);
    return buffer;
}

std::wstring Line(const wchar_t* label, const std::wstring& value) {
    std::wstring line = label;
    line += L":";
    line.append(line.size() < 13 ? 13 - line.size() : 1, L' ');
    return line + value + L"\n";
}

std::wstring Kind(const TarnIO::PathStats& stats) {
    if (stats.IsSymlink())
        return stats.IsDirectory() ? L"symbolic link to a directory" : L"symbolic link";
    if (stats.IsReparsePoint())
        return stats.IsDirectory() ? L"directory reparse point" : L"reparse point";
    if (stats.IsDirectory())
        return L"directory";
    if (stats.IsDevice())
        return L"device";
    return L"file";
}

std::wstring AttributeNames(unsigned long attributes) {
    static const struct {
        unsigned long bit;
        const wchar_t* name;
    } names[] = {
        {FILE_ATTRIBUTE_READONLY, L"readonly"},
        {FILE_ATTRIBUTE_HIDDEN, L"hidden"},
        {FILE_ATTRIBUTE_SYSTEM, L"system"},
        {FILE_ATTRIBUTE_DIRECTORY, L"directory"},
        {FILE_ATTRIBUTE_ARCHIVE, L"archive"},
        {FILE_ATTRIBUTE_DEVICE, L"device"},
        {FILE_ATTRIBUTE_NORMAL, L"normal"},
        {FILE_ATTRIBUTE_TEMPORARY, L"temporary"},
        {FILE_ATTRIBUTE_SPARSE_FILE, L"sparse"},
        {FILE_ATTRIBUTE_REPARSE_POINT, L"reparse-point"},
        {FILE_ATTRIBUTE_COMPRESSED, L"compressed"},
        {FILE_ATTRIBUTE_OFFLINE, L"offline"},
        {FILE_ATTRIBUTE_NOT_CONTENT_INDEXED, L"not-content-indexed"},
        {FILE_ATTRIBUTE_ENCRYPTED, L"encrypted"},
    };
    std::wstring text;
    unsigned long rest = attributes;
    for (const auto& entry : names) {
        if (attributes & entry.bit) {
            text += (text.empty() ? L"" : L" ") + std::wstring(entry.name);
            rest &= ~entry.bit;
        }
    }
    if (rest)
        text += (text.empty() ? L"" : L" ") + Hex(rest, 1);
    return (text.empty() ? L"none" : text) + L" (" + Hex(attributes, 1) + L")";
}

// What a snapshot says. Throws what its accessors throw when the query failed.
void PrintStats(const TarnIO::PathStats& stats) {
    Out(Line(L"kind", Kind(stats)));
    Out(Line(L"size", std::to_wstring(stats.GetFileSize()) + L" bytes"));
    Out(Line(L"attributes", AttributeNames(stats.GetAttributes())));
    if (stats.IsReparsePoint())
        Out(Line(L"reparse tag", stats.GetReparseTag() ? Hex(stats.GetReparseTag(), 8)
                                                       : std::wstring(L"unknown")));
    Out(Line(L"created", Widen(stats.GetCreateTime().ToIsoString())));
    Out(Line(L"accessed", Widen(stats.GetAccessTime().ToIsoString())));
    Out(Line(L"modified", Widen(stats.GetModifyTime().ToIsoString())));
}

// What only an open handle tells: which volume and file it is, and its links.
void PrintHandleInformation(const BY_HANDLE_FILE_INFORMATION& info) {
    Out(Line(L"volume", Hex(info.dwVolumeSerialNumber, 8)));
    Out(Line(L"file index",
             Hex((static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow,
                 16)));
    Out(Line(L"links", std::to_wstring(info.nNumberOfLinks)));
}

void StatOpenFile(const std::wstring& path) {
    // Access 0 asks for attributes only, so a file another program holds
    // open for writing can still be looked at; backup semantics let a
    // directory be opened at all.
    TarnIO::FileHandle file(TarnIO::Path(path), 0,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    TarnIO::PathStats stats;
    file.Query(stats);  // a failure is in stats: PrintStats throws it
    BY_HANDLE_FILE_INFORMATION info;
    file.Stat(info);
    Out(Line(L"file", path));
    PrintStats(stats);
    PrintHandleInformation(info);
}

// What the directory entry says, without opening anything.
void StatEntry(const std::wstring& path, const TarnIO::PathStats& stats) {
    stats.GetAttributes();  // a failed query throws here, before anything is printed
    Out(Line(L"file", path));
    Out(Line(L"source", L"directory entry (Path::Query)"));
    PrintStats(stats);
}

void Stat(const std::wstring& path, bool entryOnly) {
    if (!entryOnly) {
        try {
            StatOpenFile(path);
            return;
        } catch (const TarnIO::FileOpenError&) {
            // Fall back to the directory entry; when that is missing too,
            // the open error (which names the file) is the one reported.
            TarnIO::PathStats stats;
            if (!TarnIO::Path(path).Query(stats))
                throw;
            StatEntry(path, stats);
            return;
        }
    }
    TarnIO::PathStats stats;
    TarnIO::Path(path).Query(stats);  // a failure is in stats: PrintStats throws it
    StatEntry(path, stats);
}

}  // namespace

int StatCommand(const Args& args) {
    bool entryOnly = false;
    std::vector<std::wstring> paths;
    for (const std::wstring& arg : args) {
        if (arg == L"-e")
            entryOnly = true;
        else
            paths.push_back(arg);
    }
    if (paths.empty())
        throw UsageError{"no file given"};
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i > 0)
            Out(L"\n");
        Stat(paths[i], entryOnly);
    }
    return 0;
}

}  // namespace tarn
