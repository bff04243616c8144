#pragma once
#include <vector>

#include "core/text.h"

namespace vornex {

// What Vornex.exe was started on: nothing (the running system), or a hive
// file, given as `FILE` (what Explorer passes for a file dropped on the
// program's icon) or `--hive FILE`.
struct StartArguments {
    bool valid = true;
    bool hiveGiven = false;
    Text hivePath;  // as given
};

// `args` without the program's own name.
StartArguments ParseStartArguments(const std::vector<Text>& args);

}  // namespace vornex
