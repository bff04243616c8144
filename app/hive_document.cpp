#include "app/hive_document.h"

#include <utility>

#include "stores/hive/hive_session.h"

namespace vornex {

namespace {

class HiveFileDocument : public HiveDocument {
public:
    explicit HiveFileDocument(std::unique_ptr<hive::HiveFileSession> hive) : hive_(std::move(hive)) {}

    Registry& registry() override { return hive_->registry(); }
    RegResult Writable() const override { return hive_->Writable(); }
    bool Changed() const override { return hive_->Changed(); }
    std::vector<std::string> LogsRefused() const override {
        std::vector<std::string> names;
        for (const auto& log : hive_->logsRefused()) names.push_back(log.name);
        return names;
    }
    RegResult Backup(std::string* backupPath, std::string* error) override { return hive_->Backup(backupPath, error); }
    RegResult Commit(std::string* error) override { return hive_->Commit(error); }

private:
    std::unique_ptr<hive::HiveFileSession> hive_;
};

}  // namespace

std::unique_ptr<HiveDocument> OpenHiveDocument(const std::string& utf8Path, RegResult* code, std::string* error) {
    std::unique_ptr<hive::HiveFileSession> hive =
        hive::HiveFileSession::Open(utf8Path, hive::HiveFileSession::Mode::kWriteIfAllowed, error, code);
    if (!hive) return nullptr;
    return std::make_unique<HiveFileDocument>(std::move(hive));
}

}  // namespace vornex
