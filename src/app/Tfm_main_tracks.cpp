// The track list's commands: adding files and folders, removing, reordering, sorting and
// renaming rows, loading a row into the editor, and keeping the list between runs.
#include <QApplication>
#include <QCoreApplication>
#include <QItemSelectionModel>

#include "app/Tfm_main.h"
#include "dialogs/Tfm_dir.h"
#include "editor/PlaybackSession.h"
#include "editor/SegmentEditor.h"
#include "platform/audio/TAudioFile2.h"
#include "settings/SettingsKeys.h"
#include "tracks/PathOpener.h"
#include "tracks/SessionKeeper.h"
#include "tracks/TrackList.h"
#include "tracks/TrackRowText.h"
#include "tracks/TrackSort.h"
#include "widgets/RenameBox.h"
#include "widgets/TrackListView.h"

namespace quillet {

namespace {

// The dialog matches the patterns without regard to case: SONG.MP3 is offered too.
const QString kOpenFilter = QStringLiteral(
    "All Supported Files(*.mp3 *.wav *.wma *.ogg);;MP3 Files(*.mp3);;WAV Files(*.wav);;"
    "WMA Files(*.wma);;OGG Files(*.ogg)");

}  // namespace

// AddView

void Tfm_main::PumpMessages() { QCoreApplication::processEvents(); }

void Tfm_main::SelectFirstAppended(int row) { editor_->SelectFirstAppended(row); }

void Tfm_main::ShowTotalTime() { editor_->ShowTotalTime(); }

// Commands

void Tfm_main::AddFiles() {
    if (run_.IsConverting || Closed()) return;
    const QString dir =
        ReadString(*settings_, keys::FilePath, QCoreApplication::applicationDirPath());
    const QStringList files = Prompts().OpenFiles(dir, kOpenFilter);
    adder_->AddFiles(AudioFileWrite, files, *settings_);
}

void Tfm_main::RemoveSelected() {
    if (run_.IsConverting) return;
    const int s = lv->SelectedRow();
    if (s >= 0) {
        if (playback_->IsPlaying() && s == playback_->PlayingTrack()) {
            Prompts().Information(QStringLiteral("Please stop playing first."));
            return;
        }
        EndRename();
        tracks_->Remove(s);
        const int n = tracks_->Rows();
        if (n > 0) {
            lv->clearSelection();
            lv->SelectRow(s == n ? n - 1 : s);
        }
    }
    tracks_->UpdateCount();
    if (tracks_->Count() == 0) {
        editor_->Reset(false);
        return;
    }
    ShowTotalTime();
    lvClick();
}

// Clear and Sort by Name change every row: refused, in words, while converting or playing.
bool Tfm_main::RefusedWhileBusy() {
    const char* why = run_.IsConverting        ? "Please stop converting first."
                      : playback_->IsPlaying() ? "Please stop playing first."
                                               : nullptr;
    if (why) Prompts().Information(QString::fromLatin1(why));
    return why != nullptr;
}

void Tfm_main::Clear1Click() {
    if (RefusedWhileBusy()) return;
    EndRename();
    tracks_->Clear();
    run_.CurrentTrack = 0;
    editor_->Reset(true);
}

// The skin's buttons take no focus from the rename box, and RenameRow is an index.
void Tfm_main::EndRename() {
    if (edt_title->isVisible()) edt_titleExit();
}

// Exchanges neighbouring rows s and t; the selection follows the moved row, and so do the
// playing row (in the session) and the current one.
void Tfm_main::SwapRows(int s, int t) {
    EndRename();
    quillet::SwapRows(*tracks_, run_.CurrentTrack, s, t);
    lv->clearSelection();
    lv->SelectRow(t);
}

void Tfm_main::MoveUp() {
    const int s = lv->SelectedRow();
    if (s <= 0 || run_.IsConverting) return;
    SwapRows(s, s - 1);
}

void Tfm_main::MoveDown() {
    const int s = lv->SelectedRow();
    if (s < 0 || s >= tracks_->Rows() - 1 || run_.IsConverting) return;
    SwapRows(s, s + 1);
}

void Tfm_main::lvRowDropped(int from, int before) {
    if (run_.IsConverting || !tracks_->IsRow(from)) return;
    const int to = std::min(before > from ? before - 1 : before, tracks_->Rows() - 1);
    if (to == from) return;
    EndRename();
    MoveRow(*tracks_, run_.CurrentTrack, from, to);
    lv->clearSelection();
    lv->SelectRow(to);
}

void Tfm_main::SortbyName1Click() {
    if (RefusedWhileBusy()) return;
    // Rows still being appended keep their places until the add ends.
    if (run_.IsAdding) return;
    EndRename();
    SortByName(*tracks_, run_.CurrentTrack);
}

void Tfm_main::lvClick() { editor_->LoadCurrentRow(); }

void Tfm_main::lvMouseDown() {
    if (lv->SelectedRow() >= 0) return;
    lv->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void Tfm_main::lvDblClick() {
    const int s = lv->SelectedRow();
    if (s < 0 || run_.IsConverting) return;
    run_.RenameRow = s;
    edt_title->Open(lv->visualRect(tracks_->index(s, TrackList::CaptionColumn)), lv->columnWidth(0),
                    tracks_->Caption(s));
}

void Tfm_main::edt_titleExit() {
    const QString cleaned = CleanCaption(edt_title->text());
    edt_title->setText(cleaned);
    edt_title->hide();
    if (!cleaned.isEmpty()) tracks_->Rename(run_.RenameRow, cleaned);
}

void Tfm_main::lvFilesDropped(const QStringList& paths) {
    if (run_.IsConverting || run_.IsAdding || Closed()) return;
    OpenPaths(paths);
}

void Tfm_main::OpenPaths(const QStringList& paths) {
    QStringList absolute;
    for (const QString& path : paths) absolute << PathOpener::Absolute(path);
    opener_->Open(absolute);
}

bool Tfm_main::BusyForPaths() const {
    return !started_ || run_.IsConverting || run_.IsAdding ||
           QApplication::activeModalWidget() != nullptr;
}

void Tfm_main::KeepSession(const QString& path) { session_->SetFile(path); }

void Tfm_main::StartSession() {
    if (Closed()) return;
    started_ = true;
    if (!session_->HasFile() || !ReadBool(*settings_, keys::KeepSession)) return;
    // A file object of its own, as the folder scan has: the skin's buttons stay live.
    TAudioFile2 probe;
    session_->Start(probe);
}

void Tfm_main::AddPath1Click() {
    if (run_.IsConverting || playback_->IsPlaying() || run_.IsAdding || Closed()) return;
    fm_dir->SetSettingsFile(settings_.get());
    fm_dir->SetMode(Tfm_dir::Mode::AddFolder);
    ShowCentred(*fm_dir);
    if (!fm_dir->ChosenFolder.isEmpty())
        adder_->ScanFolder(fm_dir->ChosenFolder, fm_dir->IncludeSubFolders);
}

void Tfm_main::ChooseOutputDirectory() {
    if (run_.IsConverting || Closed()) return;
    fm_dir->SetSettingsFile(settings_.get());
    fm_dir->SetMode(Tfm_dir::Mode::OutputDirectory);
    ShowCentred(*fm_dir);
    const QString folder = fm_dir->ChosenFolder;
    if (folder.isEmpty() || Closed()) return;
    edt_dir->clear();
    edt_dir->setText(folder);
    WriteString(*settings_, keys::CutOutputDirectory, folder);
}

}  // namespace quillet
