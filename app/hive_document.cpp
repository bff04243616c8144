#include "app/hive_document.h"

#include <utility>

#include "stores/hive/hive_registry.h"

namespace vornex {

namespace {

class HiveFileDocument : public HiveDocument {
public:
    HiveFileDocument(std::unique_ptr<HiveRegistry> hive, RegResult writable)
        : hive_(std::move(hive)), writable_(writable) {}

    Registry& registry() override { return *hive_; }
    RegResult Writable() const override { return writable_; }
    bool Changed() const override { return hive_->dirty(); }
    std::vector<std::string> LogsRefused() const override {
        std::vector<std::string> names;
        for (const auto& log : hive_->logsRefused()) names.push_back(log.name);
        return names;
    }
    RegResult Backup(std::string* backupPath, std::string* error) override { return hive_->Backup(backupPath, error); }
    RegResult Commit(std::string* error) override { return hive_->Commit(error); }

private:
    std::unique_ptr<HiveRegistry> hive_;
    RegResult writable_;
};

}  // namespace

std::unique_ptr<HiveDocument> OpenHiveDocument(const std::string& utf8Path, RegResult* code, std::string* error) {
    RegResult writeCode = kRegOk;
    std::unique_ptr<HiveRegistry> hive = HiveRegistry::Open(utf8Path, HiveRegistry::Mode::kWrite, error, &writeCode);
    if (hive) return std::make_unique<HiveFileDocument>(std::move(hive), kRegOk);
    // A file that is missing, in use by Windows, not a file, or that could not
    // be read at all is not read a second time.
    if (writeCode == kRegFileNotFound || writeCode == kRegSharingViolation || writeCode == kRegInvalidParameter ||
        writeCode == kRegReadFault || writeCode == kRegNotEnoughMemory) {
        *code = writeCode;
        return nullptr;
    }
    // Refused for a change (a dirty hive with no usable log, a read-only
    // medium, a lock, the file's security): shown, never written.
    hive = HiveRegistry::Open(utf8Path, HiveRegistry::Mode::kReadOnly, error, code);
    if (!hive) return nullptr;
    const bool stale = hive->recovery() == hive::Recovery::kDirtyNoUsableLog;
    return std::make_unique<HiveFileDocument>(std::move(hive), stale ? kRegBadDatabase : writeCode);
}

}  // namespace vornex
