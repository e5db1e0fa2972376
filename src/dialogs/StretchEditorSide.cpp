#include "dialogs/StretchEditorSide.h"

#include "dialogs/Tfm_stretch.h"
#include "dialogs/UserPrompts.h"
#include "editor/ListStretchHost.h"
#include "editor/StretchCommands.h"
#include "widgets/StretchKeys.h"
#include "widgets/StretchOverview.h"

namespace quillet {

StretchEditorSide::StretchEditorSide(TrackList& tracks, RunState& run, PlaybackSession& playback,
                                     SegmentEditor& editor, std::function<UserPrompts&()> prompts,
                                     std::function<SettingsFile*()> settings)
    : prompts_(std::move(prompts)),
      host_(std::make_unique<ListStretchHost>(tracks, run, playback, editor)),
      commands_(std::make_unique<StretchCommands>(*host_)),
      overview_(std::make_unique<StretchOverview>(*host_)) {
    commands_->SetInform([this](const QString& text) { prompts_().Information(text); });
    commands_->SetSettings(std::move(settings));
}

StretchEditorSide::~StretchEditorSide() = default;

void StretchEditorSide::AttachOverview(std::vector<ISkinWave*> waves) {
    overview_->Attach(std::move(waves));
}

void StretchEditorSide::Open(QWidget* parent) {
    if (!editor_)
        editor_ =
            std::make_unique<Tfm_stretch>(*commands_, prompts_(), &overview_->Peaks(), parent);
    editor_->show();
    editor_->raise();
    editor_->activateWindow();
}

void StretchEditorSide::CloseEditor() { editor_.reset(); }

bool StretchEditorSide::TakeKey(const QKeyEvent& key, const QWidget* focus) {
    return TakeStretchKey(*commands_, key, focus);
}

}  // namespace quillet
