// tarn: a small command-line tool over TarnIO, and the library's tour.
#include "Commands.h"

#include <TarnError/Error.h>

#include <windows.h>

#include <cstdio>
#include <exception>
#include <string>

namespace tarn {

namespace {

void Write(HANDLE stream, const std::wstring& text) {
    DWORD mode = 0;
    DWORD done = 0;
    if (::GetConsoleMode(stream, &mode)) {
        ::WriteConsoleW(stream, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
        return;
    }
    int needed = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0, nullptr, nullptr);
    std::string bytes(static_cast<std::size_t>(needed > 0 ? needed : 0), '\0');
    if (needed > 0)
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0],
                              needed, nullptr, nullptr);
    ::WriteFile(stream, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr);
}

void PrintHelp() {
    std::wstring text = L"usage: tarn COMMAND [ARGS...]\n\ncommands:\n";
    for (const Command& command : Commands()) {
        std::wstring usage = Widen(command.usage);
        text += L"  " + usage;
        text += std::wstring(usage.size() < 40 ? 40 - usage.size() : 1, L' ');
        text += Widen(command.summary) + L"\n";
    }
    text += L"\nA failure prints the error on stderr and exits with status 1.\n";
    Out(text);
}

}  // namespace

void Out(const std::wstring& text) { Write(::GetStdHandle(STD_OUTPUT_HANDLE), text); }
void Err(const std::wstring& text) { Write(::GetStdHandle(STD_ERROR_HANDLE), text); }

std::wstring Widen(const std::string& text) {
    std::wstring wide;
    int needed = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
    if (needed > 0) {
        wide.resize(static_cast<std::size_t>(needed));
        ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), &wide[0],
                              needed);
    }
    return wide;
}

}  // namespace tarn

int wmain(int argc, wchar_t** argv) {
    using namespace tarn;
    if (argc < 2 || std::wstring(argv[1]) == L"--help" || std::wstring(argv[1]) == L"-h") {
        PrintHelp();
        return argc < 2 ? 2 : 0;
    }
    std::wstring name = argv[1];
    Args args(argv + 2, argv + argc);
    for (const Command& command : Commands()) {
        if (name != command.name)
            continue;
        try {
            return command.run(args);
        } catch (const UsageError& e) {
            Err(L"tarn: " + Widen(e.message) + L"\nusage: tarn " + Widen(command.usage) + L"\n");
            return 2;
        } catch (const std::exception& e) {
            Err(L"tarn: " + Widen(e.what()) + L"\n");
            return 1;
        }
    }
    Err(L"tarn: unknown command '" + name + L"' (try tarn --help)\n");
    return 2;
}
