#pragma once
#include <functional>
#include <vector>

#include "core/undo_record.h"

namespace vornex {

// A record as a Registry Editor file ("Windows Registry Editor Version 5.00",
// UTF-16LE with a byte-order mark, CRLF): importing it (a double click, or
// reg import) writes every recorded name, type and byte back.
struct RegFile {
    std::vector<unsigned char> bytes;
    // What the file holds only as a comment, because an import cannot put it
    // back: one line each, as in the file without its "; ".
    std::vector<Text> notRestorable;
};

// A key's self-relative security descriptor as text (SDDL where the
// platform has it); empty for "cannot tell".
using DescriptorText = std::function<Text(const std::vector<unsigned char>&)>;

RegFile EncodeRegFile(const UndoRecord& record, const DescriptorText& describe);

}  // namespace vornex
