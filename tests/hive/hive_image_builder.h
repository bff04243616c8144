#pragma once
// Writes registry hive images byte by byte, for tests and benchmarks that
// need shapes no registry writer makes: hostile counts, offsets and lengths.
// Cells go into 4 KiB bins in the order they are added; every field can be
// patched afterwards.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace vornex::hive::testing {

constexpr std::uint32_t kNone = 0xFFFFFFFFu;

struct KeyFields {
    std::u16string name;
    bool latin1 = true;  // stored one byte a unit (KEY_COMP_NAME)
    std::uint16_t flags = 0;
    std::uint32_t parent = 0;
    std::uint32_t subkeyCount = 0;
    std::uint32_t subkeyList = kNone;
    std::uint32_t valueCount = 0;
    std::uint32_t valueList = kNone;
};

struct ValueFields {
    std::u16string name;
    bool latin1 = true;  // VALUE_COMP_NAME
    std::uint32_t type = 1;
    std::uint32_t dataSize = 0;    // as stored: the inline flag 0x80000000 included
    std::uint32_t dataOffset = kNone;
};

class HiveImageBuilder {
public:
    explicit HiveImageBuilder(std::uint32_t minorVersion = 5);

    // An allocated cell holding `payload`; returns its offset in the bins.
    std::uint32_t AddCell(const std::vector<unsigned char>& payload);
    // A free cell (positive size) of `bytes` payload.
    std::uint32_t AddFreeCell(std::size_t bytes);

    std::uint32_t AddKey(const KeyFields& key);
    std::uint32_t AddValue(const ValueFields& value);
    // A value of REG_SZ text (NUL-terminated UTF-16), data in its own cell.
    std::uint32_t AddStringValue(const std::u16string& name, const std::u16string& text, bool latin1Name = true);
    std::uint32_t AddData(const std::vector<unsigned char>& bytes);
    // "li", "lf", "lh" or "ri" with these entries (hashes written as 0 for lf/lh
    // unless given).
    std::uint32_t AddList(const char* signature, const std::vector<std::uint32_t>& cells,
                          const std::vector<std::uint32_t>& hashes = {});
    std::uint32_t AddValueList(const std::vector<std::uint32_t>& values);
    // Points a key at a list and sets its subkey count to `count`.
    void SetSubkeys(std::uint32_t key, std::uint32_t list, std::uint32_t count);
    void SetValues(std::uint32_t key, std::uint32_t list, std::uint32_t count);

    // Changes bytes of a cell's payload (offset from the payload start).
    void Patch32(std::uint32_t cell, std::size_t offset, std::uint32_t value);
    void Patch16(std::uint32_t cell, std::size_t offset, std::uint16_t value);
    // Changes raw bytes of the hive bins (offset from the bins start).
    void PatchBins(std::uint32_t offset, const std::vector<unsigned char>& bytes);

    // Base block (checksum right) and bins; root is a key cell.
    std::vector<unsigned char> Build(std::uint32_t root) const;

    std::size_t BinsSize() const { return bins_.size(); }

private:
    void StartBin(std::size_t bytes);

    std::uint32_t minorVersion_;
    std::vector<unsigned char> bins_;
    std::size_t binStart_ = 0;
    std::size_t next_ = 0;  // where the next cell goes
};

// The lh hash of a name: units upper-cased (ASCII here), h = h * 37 + unit.
std::uint32_t NameHash(const std::u16string& name);

// UTF-16LE bytes of text, for value data.
std::vector<unsigned char> Utf16Bytes(const std::u16string& text);

// Writes bytes to a new file; false on failure.
bool WriteFile(const std::string& path, const std::vector<unsigned char>& bytes);

}  // namespace vornex::hive::testing
