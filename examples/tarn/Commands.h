// The subcommands of tarn. Each takes the arguments after its own name and
// returns the process exit code; failures are thrown and reported by main.
#pragma once

#include <string>
#include <vector>

namespace tarn {

typedef std::vector<std::wstring> Args;

struct Command {
    const wchar_t* name;
    const char* usage;
    const char* summary;
    int (*run)(const Args& args);
};

// All subcommands, in the order --help lists them.
const std::vector<Command>& Commands();

// Writes wide text to standard output or error: UTF-16 to a console, UTF-8
// to a pipe or file.
void Out(const std::wstring& text);
void Err(const std::wstring& text);
std::wstring Widen(const std::string& utf8OrAnsi);

// Thrown for a command line tarn cannot use; main prints the usage.
struct UsageError {
    std::string message;
};

int PathCommand(const Args& args);
int LsCommand(const Args& args);
int MvCommand(const Args& args);
int CatCommand(const Args& args);
int CpCommand(const Args& args);
int StatCommand(const Args& args);
int MkdirCommand(const Args& args);
int RmCommand(const Args& args);

}  // namespace tarn
