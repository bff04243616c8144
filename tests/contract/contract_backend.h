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
    // Deletes a key and everything below it.
    virtual void RemoveTree(const Text& path) = 0;
};

// Each test program links the one backend it tests.
std::unique_ptr<ContractBackend> MakeContractBackend();

}  // namespace vornex::testing
