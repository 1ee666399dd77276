// tarn path: what TarnIO::Path makes of a text.
#include "Commands.h"

#include <TarnIO/Path.h>

namespace tarn {

namespace {

// Shows the text with its non-printable characters escaped, in quotes.
std::wstring Quoted(const std::wstring& text) {
    std::wstring out = L"\"";
    for (wchar_t c : text) {
        if (c < 0x20) {
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

}  // namespace

int PathCommand(const Args& args) {
    if (args.empty())
        throw UsageError{"no path given"};
    return ShowText(args);
}

}  // namespace tarn
