#pragma once
// A key's or a value's name where it lies in its cell: UTF-16LE, or Latin-1
// bytes ("compressed") widened one to one.
#include <cstddef>
#include <string>

#include "core/registry_upcase.h"
#include "stores/hive/regf_layout.h"
#include "stores/hive/regf_result.h"

namespace vornex::hive {

struct NameView {
    const unsigned char* bytes = nullptr;
    std::size_t byteLength = 0;
    bool latin1 = false;

    std::size_t Units() const { return latin1 ? byteLength : byteLength / 2; }
    char16_t Unit(std::size_t i) const { return latin1 ? bytes[i] : static_cast<char16_t>(U16(bytes + 2 * i)); }
    std::u16string Decode() const {
        std::u16string name(Units(), u'\0');
        for (std::size_t i = 0; i < name.size(); ++i) name[i] = Unit(i);
        return name;
    }
    // As the registry compares names: unit by unit, upper-cased.
    bool Equals(const std::u16string& other) const {
        if (Units() != other.size()) return false;
        for (std::size_t i = 0; i < other.size(); ++i) {
            if (RegistryUpcase(Unit(i)) != RegistryUpcase(other[i])) return false;
        }
        return true;
    }
};

// The name of `length` bytes at `at` of a cell's payload, checked to lie in
// it (and, as UTF-16, to have an even length); `what` names the cell.
inline Failure ReadName(const unsigned char* payload, std::size_t payloadSize, std::size_t at, std::size_t length,
                        bool latin1, const std::string& what, NameView* out) {
    *out = {payload + at, length, latin1};
    if (length > payloadSize - at) {
        return {ReadError::kBadName, what + ": name of " + std::to_string(length) + " bytes runs past its cell"};
    }
    if (!latin1 && length % 2 != 0) {
        return {ReadError::kBadName, what + ": UTF-16 name of odd length " + std::to_string(length)};
    }
    return {};
}

}  // namespace vornex::hive
