// The editor's displays on the skin and the player's events.
#include <QTimer>

#include "app/Tfm_main.h"
#include "editor/PlaybackSession.h"
#include "widgets/TrackListView.h"

namespace quillet {

// EditorView

int Tfm_main::SelectedRow() const { return lv->SelectedRow(); }

void Tfm_main::SelectRow(int row) { lv->SelectRow(row); }

void Tfm_main::SetBar(Bar bar, int position, bool redraw) {
    skin_.SetPosition(bar, position, redraw);
}

void Tfm_main::ShowBar(Bar bar, bool visible) { skin_.Show(bar, visible); }

void Tfm_main::SetText(Text text, const QString& value) { skin_.SetText(text, value); }

void Tfm_main::Information(const QString& text) { Prompts().Information(text); }

void Tfm_main::ArmRestoreTimer() { Timer->start(); }

// Player events

void Tfm_main::AudioPlayerEndArrayPlay() { playback_->ArrayPlayed(); }

void Tfm_main::AudioPlayerRequestOnLoadArray() { playback_->RequestArray(); }

void Tfm_main::AudioPlayerEndPlay() { playback_->PlayEnded(); }

void Tfm_main::AudioPlayerTimer(int currentSamples, int, int) { playback_->Timer(currentSamples); }

}  // namespace quillet
