#pragma once
#include <gtest/gtest.h>

#include "app/frm_main.h"
#include "core/ifeo.h"
#include "tests/doubles/memory_registry.h"
#include "app/texts.h"
#include "tests/doubles/fake_window.h"

namespace vornex::testing {

// A store, a fake window and the handlers over them.
class FormTest : public ::testing::Test {
public:
    static Text SubkeyPath(const Text& name) { return kIfeoKeyPath + u'\\' + name; }

protected:
    static constexpr std::uint32_t kExpandSz = 2;

    FormTest() : live(store, texts::kWindowTitle), form(live, window) { store.CreateKey(kIfeoKeyPath); }

    void Redirect(const Text& name, const Text& command, const Text& valueName = u"Debugger",
                  std::uint32_t type = kRegSz) {
        store.SetString(SubkeyPath(name), valueName, command, type);
    }

    // Runs the scan and the handler checks every test wants: no key left open,
    // list and table in step.
    void Scan() {
        form.Form_Load();
        ExpectConsistent();
    }

    void ExpectConsistent() {
        EXPECT_EQ(store.OpenHandleCount(), 0u) << "a key was left open";
        ASSERT_LE(window.lines.size(), FrmMain::kTableSize);
        for (std::size_t i = 0; i < window.lines.size(); ++i) {
            EXPECT_EQ(form.strKeyName[i], window.lines[i]) << "line " << i;
        }
    }

    MemoryRegistry store;
    FakeWindow window;
    LiveSession live;
    FrmMain form;
};

}  // namespace vornex::testing
