#include "Commands.h"

namespace tarn {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {L"path", "path [split|root|normalize|absolute|expand|valid] TEXT...",
         "what TarnIO::Path makes of each text", PathCommand},
        {L"ls", "ls [-r] PATTERN", "list matching entries (-r: descend)", LsCommand},
        {L"mv", "mv FROM TO", "rename a file or directory", MvCommand},
        {L"mkdir", "mkdir [-p] DIR...", "make directories (-p: with their parents)", MkdirCommand},
        {L"rm", "rm [-r] PATH...", "remove files (-r: directories, never through links)",
         RmCommand},
        {L"cat", "cat [--backend handle|fd|stdio] FILE...", "write files to standard output",
         CatCommand},
        {L"cp", "cp [--backend handle|fd|stdio] SRC DST",
         "copy a file whole or not at all, with progress if large", CpCommand},
        {L"stat", "stat [-e] PATH...", "size, attributes and times (-e: of the entry only)",
         StatCommand},
    };
    return commands;
}

}  // namespace tarn
