// The registry contract suite against an offline hive: each test gets a new
// hive file made from the minimal empty hive and seeded with hivex's writes.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "stores/hive/hive_registry.h"
#include "tests/cli/empty_hive.h"
#include "tests/contract/contract_backend.h"

namespace vornex::testing {

namespace {

class HiveBackend : public ContractBackend {
public:
    HiveBackend() {
        char pattern[] = "/tmp/vornex-contract-XXXXXX";
        const int fd = mkstemp(pattern);
        if (fd < 0) throw std::runtime_error("mkstemp failed");
        close(fd);
        path_ = pattern;
        if (!WriteEmptyHive(path_)) throw std::runtime_error("cannot write the empty hive");
        std::string error;
        hive_ = HiveRegistry::Open(path_, HiveRegistry::Mode::kWrite, &error);
        if (!hive_) throw std::runtime_error(error);
        CreateKey(Root());
    }
    ~HiveBackend() override {
        hive_.reset();
        unlink(path_.c_str());
    }
    Registry& registry() override { return *hive_; }
    Text Root() override { return u"SOFTWARE\\VornexContract"; }
    void CreateKey(const Text& path) override {
        if (!hive_->CreateKey(path)) throw std::runtime_error("CreateKey " + ToUtf8(path));
    }
    void SetValue(const Text& path, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data) override {
        if (!hive_->SetValue(path, name, type, data)) throw std::runtime_error("SetValue " + ToUtf8(name));
    }
    void RemoveTree(const Text& path) override { hive_->RemoveTree(path); }

private:
    std::string path_;
    std::unique_ptr<HiveRegistry> hive_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<HiveBackend>(); }

}  // namespace vornex::testing
