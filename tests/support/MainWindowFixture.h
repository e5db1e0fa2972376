#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QFile>
#include <QStringList>
#include <memory>

#include "app/MainForms.h"
#include "app/Tfm_main.h"
#include "editor/PlaybackSession.h"
#include "platform/skin/TSkin.h"
#include "settings/SettingsFile.h"
#include "support/Oracle.h"
#include "support/ScriptedPrompts.h"
#include "tracks/TrackList.h"
#include "widgets/RenameBox.h"
#include "widgets/TrackListView.h"

namespace quillet::test {

// The real main window, offscreen, with its boxes and dialogs answered by prompts_.
class MainWindowFixture : public ::testing::Test {
  protected:
    void TearDown() override {
        if (forms_.fm_main) P().StopPlayback();
        forms_.fm_main.reset();
    }

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
    TrackList& L() { return W().Tracks(); }
    RunState& R() { return W().Run(); }
    PlaybackSession& P() { return W().Playback(); }
    SettingsFile& S() { return *W().Settings(); }

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
    // A click on a row, as the list reports it.
    void Select(int row) {
        W().lv->SelectRow(row);
        W().lvClick();
    }
    int Rows() { return L().Rows(); }
    int Selected() { return W().lv->SelectedRow(); }
    // The texts of a row, as the list view shows them.
    QString Cell(int row, int column) {
        return W().lv->model()->index(row, column).data().toString();
    }
    // Add File with these files chosen in its dialog.
    void Add(const QStringList& files) {
        prompts_->files = files;
        W().AddFiles();
    }
    // A tone of the given seconds at 44.1 kHz stereo, added as the only row and played through
    // the sound server.
    void PlayTone(const QString& dir, int seconds = 10) {
        const QString path = dir + "/playing.wav";
        test::MakeTone(path, 44100 * seconds, 44100, 2, {"-c:a", "pcm_s16le"});
        AddAll({path});
        W().Play1Click();
        ASSERT_TRUE(P().IsPlaying());
    }
    // The same, for files that must all be taken.
    void AddAll(const QStringList& files) {
        Add(files);
        ASSERT_EQ(L().Count(), files.size());
    }
    using SkinBar = MainSkin::Bar;
    using SkinText = MainSkin::Text;
    static constexpr SkinBar kBeginBar = SkinBar::Begin;
    static constexpr SkinBar kEndBar = SkinBar::End;
    static constexpr SkinBar kCurrentBar = SkinBar::Current;
    static constexpr SkinText kBeginTime = SkinText::BeginTime;
    static constexpr SkinText kEndTime = SkinText::EndTime;
    static constexpr SkinText kCurrentTime = SkinText::CurrentTime;
    static constexpr SkinText kTotalTime = SkinText::TotalTime;
    static constexpr SkinText kFilename = SkinText::Filename;
    QString Text(SkinText t) { return W().SkinObjects().GetText(t); }
    int Bar(SkinBar b) { return W().SkinObjects().Position(b); }
    // The skin's own slider, for gestures a user makes on it.
    ISkinSlider* Slider(const QString& name) {
        ISkinObject* object = Object(name);
        return object ? object->Slider() : nullptr;
    }

    MainForms forms_;
    ScriptedPrompts* prompts_ = nullptr;
};

}  // namespace quillet::test
