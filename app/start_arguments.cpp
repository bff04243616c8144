#include "app/start_arguments.h"

namespace vornex {

StartArguments ParseStartArguments(const std::vector<Text>& args) {
    StartArguments parsed;
    if (args.empty()) return parsed;
    if (args.size() == 1 && args[0] != u"--hive" && !args[0].empty()) {
        parsed.hiveGiven = true;
        parsed.hivePath = args[0];
        return parsed;
    }
    if (args.size() == 2 && args[0] == u"--hive" && !args[1].empty()) {
        parsed.hiveGiven = true;
        parsed.hivePath = args[1];
        return parsed;
    }
    parsed.valid = false;
    return parsed;
}

}  // namespace vornex
