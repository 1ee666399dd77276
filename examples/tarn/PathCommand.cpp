// tarn path: what TarnIO::Path makes of a text.
#include "Commands.h"

#include <TarnIO/Path.h>

namespace tarn {

namespace {

// Shows the text in quotes, with its control characters and quotes escaped
// as \xNN so that the closing quote is always the first one after the opening.
std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c < 0x20 || c == L'"') {
            wchar_t buffer[8];
            swprintf(buffer, 8, L"\\x%02X", static_cast<unsigned>(c));
            out += buffer;
        } else {
            out += c;
        }
    }
    return out + L"\"";
}

std::wstring QuotedNarrow(const std::string& text) {
    std::wstring out = L"\"";
    for (char c : text) {
        unsigned char b = static_cast<unsigned char>(c);
        if (b < 0x20 || b >= 0x7F) {
            wchar_t buffer[8];
            swprintf(buffer, 8, L"\\x%02X", static_cast<unsigned>(b));
            out += buffer;
        } else {
            out += static_cast<wchar_t>(b);
        }
    }
    return out + L"\"";
}

int ShowText(const Args& args) {
    for (const std::wstring& arg : args) {
        TarnIO::Path path(arg);
        Out(L"wide=" + Quoted(path.AsString()) + L" narrow=" + QuotedNarrow(path.AsNarrowString()) +
            L" length=" + std::to_wstring(path.GetLength()) + L"\n");
    }
    return 0;
}

std::wstring YesNo(bool value) {
    return value ? L"yes" : L"no";
}

// One line per text: the subcommand, the text, an arrow, then key="value"
// pairs (or a single quoted result).
std::wstring Split(const TarnIO::Path& path) {
    std::wstring directory, base;
    path.Split(&directory, &base);
    return L"dir=" + Quoted(directory) + L" base=" + Quoted(base);
}

std::wstring Root(const TarnIO::Path& path) {
    unsigned end = 0;
    std::wstring unc = path.IsUnc(&end) ? L" unc=" + Quoted(path.GetUncMountPointName()) +
                                              L" uncEnd=" + std::to_wstring(end)
                                        : L" unc=no";
    return L"root=" + Quoted(path.GetRootName()) + L" drive=" + Quoted(path.GetDriveName()) +
           unc + L" absolute=" + YesNo(path.IsAbsolute());
}

std::wstring Normalize(const TarnIO::Path& path) {
    return Quoted(path.Normalize().AsString());
}

std::wstring Absolute(const TarnIO::Path& path) {
    return Quoted(path.Absolute().AsString());
}

std::wstring Expand(const TarnIO::Path& path) {
    return Quoted(path.ExpandEnvironmentVariables().AsString());
}

std::wstring Valid(const TarnIO::Path& path) {
    return L"name=" + YesNo(TarnIO::Path::IsValidName(path.AsString())) +
           L" wildcards=" + YesNo(path.HasWildcards());
}

struct Operation {
    const wchar_t* name;
    std::wstring (*show)(const TarnIO::Path& path);
};

const Operation operations[] = {
    {L"split", Split},       {L"root", Root},     {L"normalize", Normalize},
    {L"absolute", Absolute}, {L"expand", Expand}, {L"valid", Valid},
};

}  // namespace

int PathCommand(const Args& args) {
    if (args.empty())
        throw UsageError{"no path given"};
    for (const Operation& operation : operations) {
        if (args[0] != operation.name)
            continue;
        if (args.size() < 2)
            throw UsageError{"no path given"};
        for (std::size_t i = 1; i < args.size(); ++i)
            Out(std::wstring(operation.name) + L" " + Quoted(args[i]) + L" -> " +
                operation.show(TarnIO::Path(args[i])) + L"\n");
        return 0;
    }
    return ShowText(args);
}

}  // namespace tarn
