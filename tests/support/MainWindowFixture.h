#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QStringList>
#include <QTreeWidget>
#include <memory>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "platform/skin/TSkin.h"
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

    ISkinObject* Object(const QString& name) {
        ISkinForm* form = W().Skin->GetFormObject(&W());
        return form ? form->FindObject(name) : nullptr;
    }
    // A click on the skin's real button, as the user gives it.
    void Press(const QString& name) {
        auto* button = dynamic_cast<QAbstractButton*>(Object(name));
        ASSERT_NE(button, nullptr) << name.toStdString();
        button->click();
    }
    void Select(int row) {
        W().lv->setCurrentItem(W().lv->topLevelItem(row));
        W().lvClick();
    }
    // Add File with these files chosen in its dialog.
    void Add(const QStringList& files) {
        prompts_->files = files;
        W().AddFiles();
    }
    // The same, for files that must all be taken.
    void AddAll(const QStringList& files) {
        Add(files);
        ASSERT_EQ(W().TrackCount, files.size());
    }
    static QString Text(SkinText& t) { return t.label->GetText(); }
    static int Bar(SkinBar& b) { return b.slider->GetPosition(); }

    MainForms forms_;
    ScriptedPrompts* prompts_ = nullptr;
};

}  // namespace quillet::test
