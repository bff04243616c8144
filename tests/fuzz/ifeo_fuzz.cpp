// Builds an IFEO tree from the input bytes, runs the scan, a selection and one
// repair over it, and checks what must hold on every registry: list, table
// and count agree, exactly the string Debugger values are listed, and a
// repair changes exactly what its button says.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "core/registry_upcase.h"
#include "app/frm_main.h"
#include "core/ifeo.h"
#include "tests/doubles/memory_registry.h"
#include "app/texts.h"
#include "tests/doubles/fake_window.h"

namespace {

using namespace vornex;

class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t Next() { return at_ < size_ ? data_[at_++] : 0; }
    bool Empty() const { return at_ >= size_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}
void Require(bool ok, const char* what) {
    if (!ok) Fail(what);
}

const char16_t kAlphabet[] = u"aAbB.e x-\u0101\u0100\uFF41\u202E\u0301\u00E9\u00C9";

Text KeyName(Bytes& in) {
    static const Text kTemplates[] = {kSampleSubkey, u"your image file name here without a path",
                                      u"calc.exe", u"CALC.EXE", Text(u"calc.exe\0x", 10), Text(255, u'n')};
    const std::uint8_t pick = in.Next();
    if (pick < 48) return kTemplates[pick % 6];
    Text name;
    const std::size_t length = 1 + in.Next() % 12;
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t c = in.Next();
        name.push_back(c < 8 ? static_cast<char16_t>(0xD800 + c * 0x100) : kAlphabet[c % (sizeof kAlphabet / 2 - 1)]);
    }
    return name;
}

Text ValueName(Bytes& in) {
    static const Text kNames[] = {u"Debugger", u"DEBUGGER", u"debugger", Text(u"Debugger\0x", 10), u"Debuggerx",
                                  u"GlobalFlag", u"", Text(300, u'v'), u"D\u0115bugger"};
    return kNames[in.Next() % 9];
}

struct Model {
    struct Value {
        Text name;
        std::uint32_t type;
        std::vector<unsigned char> data;
    };
    struct Key {
        Text name;
        std::vector<Value> values;
        bool nested = false;
    };
    std::vector<Key> keys;

    Key& KeyNamed(const Text& name) {
        for (auto& key : keys) {
            if (RegistryNamesEqual(key.name, name)) return key;
        }
        keys.push_back({name, {}, false});
        return keys.back();
    }
    void Seed(MemoryRegistry& store) const {
        store.CreateKey(kIfeoKeyPath);
        for (const auto& key : keys) {
            const Text path = kIfeoKeyPath + u'\\' + key.name;
            store.CreateKey(path);
            for (const auto& value : key.values) store.SetValue(path, value.name, value.type, value.data);
            if (key.nested) store.CreateKey(path + u"\\inner");
        }
    }
    // The command the loader would run for this key, if any: computed here
    // on its own, not through the scan.
    static const Value* Redirection(const Key& key) {
        if (key.name == kSampleSubkey || key.name.find(u'\0') != Text::npos) return nullptr;
        for (const auto& value : key.values) {
            if (value.type == kRegSz && value.name.size() == 8 &&
                RegistryNamesEqual(value.name, u"debugger")) {
                return &value;
            }
        }
        return nullptr;
    }
};

Model BuildModel(Bytes& in) {
    Model model;
    const std::size_t keyCount = in.Next() % 16;
    for (std::size_t k = 0; k < keyCount; ++k) {
        Model::Key& key = model.KeyNamed(KeyName(in));
        key.nested = key.nested || in.Next() < 24;
        const std::size_t valueCount = in.Next() % 4;
        for (std::size_t v = 0; v < valueCount; ++v) {
            Model::Value value{ValueName(in), static_cast<std::uint32_t>(in.Next() % 5), {}};
            const std::size_t bytes = in.Next() % 10;
            for (std::size_t b = 0; b < bytes; ++b) value.data.push_back(in.Next() % 4 == 0 ? 0 : in.Next());
            bool replaced = false;
            for (auto& existing : key.values) {
                if (RegistryNamesEqual(existing.name, value.name)) {
                    existing.type = value.type;
                    existing.data = value.data;
                    replaced = true;
                }
            }
            if (!replaced) key.values.push_back(value);
        }
    }
    return model;
}

void CheckTableAgrees(const FrmMain& form, const testing::FakeWindow& window, const MemoryRegistry& store) {
    Require(store.OpenHandleCount() == 0, "a key was left open");
    Require(window.lines.size() <= FrmMain::kTableSize, "more lines than the table holds");
    for (std::size_t i = 0; i < window.lines.size(); ++i) {
        Require(form.strKeyName[i] == window.lines[i], "line and table entry differ");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes in(data, size);
    Model model = BuildModel(in);
    MemoryRegistry store;
    model.Seed(store);
    testing::FakeWindow window;
    LiveSession live(store, texts::kWindowTitle);
    FrmMain form(live, window);

    const std::uint8_t faults = in.Next();
    const bool injected = faults < 64;
    if (injected) store.FailCall(1 + in.Next() % 40);

    form.Form_Load();
    CheckTableAgrees(form, window, store);
    if (!injected) {
        std::vector<std::pair<Text, Text>> expected;
        for (const auto& key : model.keys) {
            if (const Model::Value* value = Model::Redirection(key)) {
                Text command;
                for (std::size_t b = 0; b + 1 < value->data.size(); b += 2) {
                    const auto unit = static_cast<char16_t>(value->data[b] | (value->data[b + 1] << 8));
                    if (unit == 0) break;
                    command.push_back(unit);
                }
                if (expected.size() < FrmMain::kTableSize) expected.emplace_back(key.name, command);
            }
        }
        Require(window.lines.size() == expected.size(), "listed a different number of entries");
        for (const auto& [name, command] : expected) {
            bool found = false;
            for (std::size_t i = 0; i < window.lines.size(); ++i) {
                if (window.lines[i] == name) {
                    Require(form.strDebugger[i] == command, "a line leads to another key's command");
                    found = true;
                }
            }
            Require(found, "a redirection was not listed");
        }
        Require(window.countCaption == texts::CountCaption(expected.size()), "count caption disagrees");
    }
    if (window.lines.empty() || in.Empty()) return 0;

    window.Select(in.Next() % static_cast<int>(window.lines.size()));
    form.lstListKey_Click();
    const Text selected = window.lines[static_cast<std::size_t>(window.selected)];
    Require(window.detailCaption == texts::DetailHeading(selected), "heading is not the selected name's");

    // One repair; with the registry left unchanged by faults, its effect is
    // checked against the same edit made to the model.
    const std::uint8_t action = in.Next() % 3;
    const std::string before = store.Dump();
    const std::vector<Text> listed = window.lines;
    window.messages.clear();
    Model edited = model;
    if (action == 0) {
        form.cmdDelete_Click();
        for (auto& key : edited.keys) {
            if (key.name != selected) continue;
            for (std::size_t v = 0; v < key.values.size(); ++v) {
                if (RegistryNamesEqual(key.values[v].name, kDebuggerValue)) {
                    key.values.erase(key.values.begin() + static_cast<std::ptrdiff_t>(v));
                    break;
                }
            }
        }
    } else if (action == 1) {
        form.cmdDelete1_Click();
        for (std::size_t k = 0; k < edited.keys.size(); ++k) {
            if (edited.keys[k].name == selected) edited.keys.erase(edited.keys.begin() + static_cast<std::ptrdiff_t>(k));
        }
    } else {
        form.cmdFix_Click();
        for (const Text& name : listed) {
            for (std::size_t k = 0; k < edited.keys.size(); ++k) {
                if (edited.keys[k].name == name) edited.keys.erase(edited.keys.begin() + static_cast<std::ptrdiff_t>(k));
            }
        }
    }
    CheckTableAgrees(form, window, store);
    const bool noticed = std::any_of(window.messages.begin(), window.messages.end(),
                                     [](const auto& m) { return m.title == texts::kNoticeTitle; });
    if (!noticed && action != 2) Require(store.Dump() == before, "a failed repair changed the registry");
    if (noticed && !injected) {
        MemoryRegistry expectedStore;
        edited.Seed(expectedStore);
        Require(store.Dump() == expectedStore.Dump(), "a repair changed more or less than it says");
    }
    return 0;
}
