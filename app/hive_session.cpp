#include "app/hive_session.h"

#include <utility>

#include "app/texts.h"

namespace vornex {

namespace {

// The registry of a session whose hive is not open: it holds nothing.
class ClosedRegistry : public Registry {
public:
    RegResult OpenKey(KeyHandle, const Text&, std::uint32_t, KeyHandle*) override { return kRegInvalidHandle; }
    RegResult QueryInfoKey(KeyHandle, std::uint32_t*, std::uint32_t*) override { return kRegInvalidHandle; }
    RegResult EnumKey(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*) override { return kRegInvalidHandle; }
    RegResult EnumValue(KeyHandle, std::uint32_t, char16_t*, std::uint32_t*, std::uint32_t*, unsigned char*,
                        std::uint32_t*) override {
        return kRegInvalidHandle;
    }
    RegResult CloseKey(KeyHandle) override { return kRegInvalidHandle; }
    RegResult DeleteValue(KeyHandle, const Text&) override { return kRegInvalidHandle; }
    RegResult DeleteKey(KeyHandle, const Text&) override { return kRegInvalidHandle; }
};

}  // namespace

HiveSession::HiveSession(Text path, HiveOpener opener)
    : path_(std::move(path)), opener_(std::move(opener)), closed_(std::make_unique<ClosedRegistry>()) {}

HiveSession::~HiveSession() = default;

RegResult HiveSession::Open(Text* message) {
    document_.reset();
    RegResult code = kRegOk;
    std::string error;
    document_ = opener_(&code, &error);
    if (document_) return kRegOk;
    if (code == kRegOk) code = kRegGenFailure;
    *message = texts::HiveOpenFailure(path_, code);
    return code;
}

void HiveSession::ReloadIfFailed() {
    if (!reload_) return;
    reload_ = false;
    Text ignored;
    Open(&ignored);
}

Registry& HiveSession::registry() {
    ReloadIfFailed();
    return document_ ? document_->registry() : *closed_;
}

Text HiveSession::Caption() const { return texts::HiveCaption(path_); }

Text HiveSession::Warning() const {
    if (!document_) return Text();
    Text warning;
    if (document_->Writable() != kRegOk) warning = texts::HiveReadOnlyWarning(path_, document_->Writable());
    std::vector<Text> refused;
    for (const std::string& name : document_->LogsRefused()) refused.push_back(FromUtf8(name));
    if (!refused.empty()) warning += (warning.empty() ? Text() : Text(u"\n\n")) + texts::LogsNotRead(refused);
    return warning;
}

bool HiveSession::Current() const { return document_ && document_->Writable() != kRegBadDatabase; }

RegResult HiveSession::BeforeChange(Text* message) {
    ReloadIfFailed();
    if (!document_) {
        *message = texts::HiveNotOpen(path_);
        return kRegInvalidHandle;
    }
    if (const RegResult writable = document_->Writable(); writable != kRegOk) {
        *message = texts::HiveChangeRefused(writable);
        return writable;
    }
    if (backedUp_) return kRegOk;
    std::string backupPath;
    std::string error;
    const RegResult backup = document_->Backup(&backupPath, &error);
    if (backup != kRegOk) {
        *message = texts::HiveBackupFailed(backup);
        return backup;
    }
    backedUp_ = true;
    return kRegOk;
}

RegResult HiveSession::AfterChange(Text* message) {
    if (!document_ || !document_->Changed()) return kRegOk;
    std::string error;
    const RegResult commit = document_->Commit(&error);
    if (commit == kRegOk) return kRegOk;
    reload_ = true;
    *message = texts::HiveWriteFailed(commit);
    return commit;
}

}  // namespace vornex
