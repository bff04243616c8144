#pragma once
#include <memory>
#include <string>

#include "app/hive_session.h"

namespace vornex {

// A SOFTWARE hive file for the window: opened for change where it may be
// written (held, so no other program changes it meanwhile), else read only,
// with why it may not be written. Null, with the registry's code, when it
// cannot be read at all: missing, no hive or damaged, in use by Windows.
std::unique_ptr<HiveDocument> OpenHiveDocument(const std::string& utf8Path, RegResult* code, std::string* error);

}  // namespace vornex
