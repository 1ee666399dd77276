#include "Commands.h"

namespace tarn {

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {L"path", "path [split|root|normalize|absolute|expand|valid] TEXT...",
         "what TarnIO::Path makes of each text", PathCommand},
    };
    return commands;
}

}  // namespace tarn
