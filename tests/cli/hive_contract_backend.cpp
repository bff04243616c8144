// The registry contract suite against an offline hive: each test gets a new
// hive file made from the minimal empty hive and seeded with hivex's writes
// (HiveSeed) before the store opens it.
#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "stores/hive/hive_session.h"
#include "tests/cli/empty_hive.h"
#include "tests/cli/hive_seed.h"
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
        CreateKey(Root());
    }
    ~HiveBackend() override {
        hive_.reset();
        unlink(path_.c_str());
    }
    // The store opens the file as the seeding left it.
    Registry& registry() override {
        if (!hive_) {
            std::string error;
            hive_ = hive::HiveFileSession::Open(path_, hive::HiveFileSession::Mode::kWrite, &error);
            if (!hive_) throw std::runtime_error(error);
        }
        return hive_->registry();
    }
    Text Root() override { return u"SOFTWARE\\VornexContract"; }
    void CreateKey(const Text& path) override {
        Seed([&](HiveSeed& seed) { return seed.CreateKey(path); }, "CreateKey " + ToUtf8(path));
    }
    void SetValue(const Text& path, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data) override {
        Seed([&](HiveSeed& seed) { return seed.SetValue(path, name, type, data); }, "SetValue " + ToUtf8(name));
    }
    void RemoveTree(const Text&) override { hive_.reset(); }  // the file goes with the backend

private:
    // Seeding happens before the test reads: the store, closed, reopens the file after.
    template <typename Change>
    void Seed(Change change, const std::string& what) {
        hive_.reset();
        HiveSeed seed(path_);
        if (!change(seed) || !seed.Commit()) throw std::runtime_error(what);
    }

    std::string path_;
    std::unique_ptr<hive::HiveFileSession> hive_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<HiveBackend>(); }

}  // namespace vornex::testing
