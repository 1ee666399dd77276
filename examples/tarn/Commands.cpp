#include "Commands.h"

namespace tarn {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {L"path", "path TEXT...", "show each path's wide text, narrow form and length",
         PathCommand},
    };
    return commands;
}

}  // namespace tarn
