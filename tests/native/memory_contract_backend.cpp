#include "tests/doubles/memory_registry.h"
#include "tests/contract/contract_backend.h"

namespace vornex::testing {

namespace {

class MemoryBackend : public ContractBackend {
public:
    MemoryBackend() { store_.CreateKey(Root()); }
    Registry& registry() override { return store_; }
    Text Root() override { return u"SOFTWARE\\VornexContract"; }
    void CreateKey(const Text& path) override { store_.CreateKey(path); }
    void SetValue(const Text& path, const Text& name, std::uint32_t type,
                  const std::vector<unsigned char>& data) override {
        store_.SetValue(path, name, type, data);
    }
    void RemoveTree(const Text& path) override { store_.RemoveTree(path); }
    bool CanGuardKeys() override { return true; }
    void ProtectKey(const Text& path) override { store_.ProtectKey(path); }
    void CreateLink(const Text& path, const Text& targetPath) override { store_.CreateLink(path, targetPath); }

private:
    MemoryRegistry store_;
};

}  // namespace

std::unique_ptr<ContractBackend> MakeContractBackend() { return std::make_unique<MemoryBackend>(); }

}  // namespace vornex::testing
