#pragma once

#include <gtest/gtest.h>

#include <QFile>
#include <memory>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "settings/SettingsFile.h"
#include "support/ScriptedPrompts.h"

namespace quillet::test {

// The real main window, offscreen, with its boxes and dialogs answered by prompts_.
class MainWindowFixture : public ::testing::Test {
  protected:
    void TearDown() override { forms_.fm_main.reset(); }

    static void RemoveSettings() { QFile::remove(SettingsFile::DefaultPath()); }

    // Start-up as the program's entry does it. A failed start-up is a fatal failure, so that
    // from SetUp the test body does not run.
    void Open() {
        forms_ = CreateMainForms();
        auto prompts = std::make_unique<ScriptedPrompts>();
        prompts_ = prompts.get();
        forms_.fm_main->SetPrompts(std::move(prompts));
        forms_.fm_main->show();
        ASSERT_EQ(forms_.fm_main->StartupError(), QString());
    }

    Tfm_main& W() { return *forms_.fm_main; }

    MainForms forms_;
    ScriptedPrompts* prompts_ = nullptr;
};

}  // namespace quillet::test
