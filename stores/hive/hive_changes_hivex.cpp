// The changes through hivex: each one re-serialises the whole hive, which is
// then parsed again so that reads see it. Linux only (memfd).
#include <hivex.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "core/text.h"
#include "stores/hive/hive_changes.h"
#include "stores/hive/unique_fd.h"

namespace vornex::hive {

namespace {

// hivex addresses a node by its file offset: the cell's offset in the bins
// plus the base block.
constexpr std::size_t kHiveBinsStart = 4096;

std::size_t Node(KeyRef key) { return kHiveBinsStart + key.cell; }

// A UTF-8 name for hivex's ASCIIZ arguments; false when the name cannot be
// given as one (a NUL inside, or a lone surrogate that UTF-8 cannot carry).
bool NameForHivex(const Text& name, std::string* out) {
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char16_t c = name[i];
        if (c == u'\0') return false;
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF) return false;
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            return false;
        }
    }
    *out = ToUtf8(name);
    return true;
}

struct HiveCloser {
    void operator()(hive_h* hive) const { hivex_close(hive); }
};

bool WriteAll(int fd, const std::vector<unsigned char>& bytes) {
    std::size_t put = 0;
    while (put < bytes.size()) {
        const ssize_t n = pwrite(fd, bytes.data() + put, bytes.size() - put, static_cast<off_t>(put));
        if (n <= 0) return false;
        put += static_cast<std::size_t>(n);
    }
    return true;
}

bool ReadAll(int fd, std::vector<unsigned char>* bytes) {
    struct stat info {};
    if (fstat(fd, &info) != 0) return false;
    bytes->resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes->size()) {
        const ssize_t n = pread(fd, bytes->data() + got, bytes->size() - got, static_cast<off_t>(got));
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

struct HiveChanges::Engine {
    std::unique_ptr<hive_h, HiveCloser> hive;
};

HiveChanges::HiveChanges(RegfImage image) : image_(std::move(image)), engine_(std::make_unique<Engine>()) {}

HiveChanges::~HiveChanges() = default;

namespace {

// hivex takes the bytes read (the replayed image of a dirty hive) from an
// anonymous file: its offsets are then the reader's, and it never reads the
// primary's older state.
hive_h* OpenHivex(const RegfImage& image) {
    UniqueFd fd(memfd_create("vornex-hive", 0));
    if (fd.get() < 0 || !WriteAll(fd.get(), image.Bytes())) return nullptr;
    const std::string name = "/proc/self/fd/" + std::to_string(fd.get());
    return hivex_open(name.c_str(), HIVEX_OPEN_WRITE);
}

// hivex keeps its changes in memory; its commit to an anonymous file gives
// the bytes the next reads see, the same bytes a commit writes.
std::optional<RegfImage> Serialised(hive_h* hive) {
    UniqueFd fd(memfd_create("vornex-hive", 0));
    if (fd.get() < 0) return std::nullopt;
    const std::string name = "/proc/self/fd/" + std::to_string(fd.get());
    std::vector<unsigned char> bytes;
    if (hivex_commit(hive, name.c_str(), 0) != 0 || !ReadAll(fd.get(), &bytes)) return std::nullopt;
    std::string why;
    return RegfImage::Parse(std::move(bytes), &why);
}

// The values of a key that stay when one goes, as hivex must write them back.
struct KeptValues {
    std::vector<std::string> names;
    std::vector<std::vector<char>> datas;
    std::vector<std::uint32_t> types;
};

// hivex replaces a node's values as a whole: every other value goes back byte
// for byte. One it could not write back exactly (a name it cannot take)
// refuses the deletion rather than lose it.
RegResult ValuesKept(const RegfImage& image, KeyRef key, const ValueInfo& gone, KeptValues* kept) {
    const Result<std::vector<ValueInfo>> values = image.Values(key);
    if (!values.ok()) return kRegBadDatabase;
    for (const ValueInfo& value : values.value) {
        if (value.cell == gone.cell) continue;
        std::string utf8;
        if (!NameForHivex(value.name, &utf8)) return kRegNotSupported;
        const Result<std::vector<unsigned char>> bytes = image.ValueData(value);
        if (!bytes.ok()) return kRegBadDatabase;
        kept->names.push_back(std::move(utf8));
        kept->datas.emplace_back(bytes.value.begin(), bytes.value.end());
        kept->types.push_back(value.type);
    }
    return kRegOk;
}

}  // namespace

RegResult HiveChanges::CanDeleteValue(KeyRef key, const ValueInfo& value) const {
    KeptValues kept;
    return ValuesKept(image_, key, value, &kept);
}

namespace {

// After hivex changed its copy: the image becomes what it wrote.
RegResult Adopt(hive_h* hive, RegfImage* image, bool* broken) {
    std::optional<RegfImage> changed = Serialised(hive);
    if (!changed) {
        // Reads would no longer show what is written: nothing more is done.
        *broken = true;
        return kRegWriteFault;
    }
    *image = std::move(*changed);
    return kRegOk;
}

}  // namespace

RegResult HiveChanges::DeleteValue(KeyRef key, const ValueInfo& value) {
    if (broken_) return kRegWriteFault;
    KeptValues kept;
    if (const RegResult checked = ValuesKept(image_, key, value, &kept); checked != kRegOk) return checked;
    if (!engine_->hive) engine_->hive.reset(OpenHivex(image_));
    if (!engine_->hive) return kRegWriteFault;
    std::vector<hive_set_value> values;
    for (std::size_t i = 0; i < kept.names.size(); ++i) {
        values.push_back({kept.names[i].data(), static_cast<hive_type>(kept.types[i]), kept.datas[i].size(),
                          kept.datas[i].empty() ? nullptr : kept.datas[i].data()});
    }
    if (hivex_node_set_values(engine_->hive.get(), Node(key), values.size(), values.data(), 0) != 0) {
        // hivex's copy may be half changed: the next change starts again from the image.
        engine_->hive.reset();
        return kRegWriteFault;
    }
    return Adopt(engine_->hive.get(), &image_, &broken_);
}

RegResult HiveChanges::DeleteKey(KeyRef /*parent*/, KeyRef child) {
    if (broken_) return kRegWriteFault;
    if (!engine_->hive) engine_->hive.reset(OpenHivex(image_));
    if (!engine_->hive) return kRegWriteFault;
    if (hivex_node_delete_child(engine_->hive.get(), Node(child)) != 0) {
        engine_->hive.reset();
        return kRegWriteFault;
    }
    return Adopt(engine_->hive.get(), &image_, &broken_);
}

const std::vector<unsigned char>* HiveChanges::CommitBytes() { return broken_ ? nullptr : &image_.Bytes(); }

}  // namespace vornex::hive
