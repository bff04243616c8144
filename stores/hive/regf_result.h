#pragma once
#include <string>
#include <utility>

namespace vornex::hive {

// Why a read gave no data, or a change was refused. Every read either
// succeeds or names the damage it met; "absent" is an empty optional or
// list with kNone, never an error.
enum class ReadError {
    kNone,
    kBadCell,       // offset outside the hive bins, not a cell start, or a free cell
    kBadSignature,  // the cell is not what the reference says it is
    kBadName,       // a name longer than its cell, or UTF-16 of odd length
    kBadList,       // a subkey or value list whose counts do not fit
    kDuplicate,     // the same cell listed twice
    kCycle,         // a list that leads back to itself
    kTooLarge,      // a length that claims more than the cells hold
    // Refusals of a change:
    kHasSubkeys,    // a key to delete that still has subkeys
    kShared,        // a cell to change or free that something else uses too
    kBadCount,      // a reference count that does not fit the keys using it
};

// The damage met, with where it was (cell offsets in hex).
struct Failure {
    ReadError error = ReadError::kNone;
    std::string where;

    explicit operator bool() const { return error != ReadError::kNone; }
};

template <typename T>
struct Result {
    T value{};
    ReadError error = ReadError::kNone;
    std::string where;

    bool ok() const { return error == ReadError::kNone; }

    static Result Of(T v) {
        Result result;
        result.value = std::move(v);
        return result;
    }
    static Result From(Failure failure) {
        Result result;
        result.error = failure.error;
        result.where = std::move(failure.where);
        return result;
    }
};

}  // namespace vornex::hive
