#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "core/registry.h"

namespace vornex::testing {

// A registry to run the contract suite against, with the few writes the suite
// needs to lay out its keys. Paths are below HKEY_LOCAL_MACHINE.
class ContractBackend {
public:
    virtual ~ContractBackend() = default;
    virtual Registry& registry() = 0;
    // A throwaway key that exists, empty, for the duration of one test.
    virtual Text Root() = 0;
    virtual void CreateKey(const Text& path) = 0;
    virtual void SetValue(const Text& path, const Text& name, std::uint32_t type,
                          const std::vector<unsigned char>& data) = 0;
    // Deletes a key and everything below it (a link as a link).
    virtual void RemoveTree(const Text& path) = 0;

    // Keys laid out as malware guards them, where the backend can (the tests
    // that need them skip elsewhere).
    virtual bool CanGuardKeys() { return false; }
    // Everyone may read the key, nobody may change it.
    virtual void ProtectKey(const Text&) {}
    // A registry link at path pointing at targetPath.
    virtual void CreateLink(const Text&, const Text&) {}
};

// Each test program links the one backend it tests.
std::unique_ptr<ContractBackend> MakeContractBackend();

}  // namespace vornex::testing
