// The track list: adding files and folders, removing, reordering and renaming rows, and loading a
// row into the editor. Record i of TrackTable always describes row i of lv.
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <algorithm>
#include <memory>
#include <vector>

#include "app/Tfm_main.h"
#include "common/FormatTime.h"
#include "common/MulDiv.h"
#include "dialogs/Tfm_dir.h"
#include "tracks/FolderScan.h"
#include "tracks/TrackProbe.h"
#include "tracks/TrackRowText.h"

namespace quillet {

namespace {

const QString kFilePath = QStringLiteral("file path");

// Descriptions as the list shows them; the bracket patterns let upper- and mixed-case
// extensions through, since the file system compares names with case.
const QString kOpenFilter = QStringLiteral(
    "All Supported Files(*.[mM][pP]3 *.[wW][aA][vV] *.[wW][mM][aA] *.[oO][gG][gG]);;"
    "MP3 Files(*.[mM][pP]3);;WAV Files(*.[wW][aA][vV]);;WMA Files(*.[wW][mM][aA]);;"
    "OGG Files(*.[oO][gG][gG])");

void SetBar(SkinBar& b, int position) {
    if (b.slider) b.slider->SetPosition(position);
}

void RedrawBar(SkinBar& b) {
    if (b.element) b.element->Redraw();
}

void ShowBar(SkinBar& b) {
    if (b.element) b.element->SetVisible(true);
}

// The window was closed while a command was pumping messages: the settings file is gone and
// the command must end without starting anything new.
bool Closed(const Tfm_main& w) { return !w.SettingsFile; }

void AppendRow(Tfm_main& w, const QString& caption, int lengthSec) {
    auto* item = new QTreeWidgetItem(
        {caption, SegmentText(0, lengthSec), FormatTime(lengthSec), kUnconverted});
    w.lv->addTopLevelItem(item);  // lv owns the item
}

// A newly selected first row of an add: its length on the End time, the bars on the whole file.
void PrepareEditor(Tfm_main& w, int row) {
    // The editor's commands act on CurrentTrack: keep it on the row the editor now shows.
    w.CurrentTrack = row;
    SetText(w.EndTime, FormatTime(w.TrackTable[row].LengthSec));
    SetBar(w.BeginBar, 0);
    ShowBar(w.BeginBar);
    SetBar(w.EndBar, 1000);
    ShowBar(w.EndBar);
    SetBar(w.CurrentBar, 0);
    SetText(w.CurrentTime, kZeroTime);
}

void SelectFirstAppended(Tfm_main& w, int firstAppended) {
    if (w.SelectedRow() >= 0 || firstAppended < 0 || firstAppended >= w.RowCount()) return;
    w.SelectRow(firstAppended);
    PrepareEditor(w, firstAppended);
}

// A rename still open ends on its own row before rows move: the skin's buttons take no focus
// from the box, and RenameRow is an index.
void EndRename(Tfm_main& w) {
    if (w.edt_title->isVisible()) w.edt_titleExit();
}

void ResetEditor(Tfm_main& w, bool withCurrentBar) {
    SetText(w.TotalTime, kZeroTime);
    if (withCurrentBar) {
        SetBar(w.CurrentBar, 0);
        RedrawBar(w.CurrentBar);
    }
    SetBar(w.BeginBar, 0);
    RedrawBar(w.BeginBar);
    SetBar(w.EndBar, 0);
    RedrawBar(w.EndBar);
    SetText(w.CurrentTime, kZeroTime);
    SetText(w.BeginTime, kZeroTime);
    SetText(w.EndTime, kZeroTime);
}

// IsAdding and the six menu items for the span of one add. A nested add (the skin's "Add"
// during an add) leaves them to the outer one; an error thrown out of the add still gives the
// menus back and brings TrackCount up to the rows.
class AddingScope {
  public:
    explicit AddingScope(Tfm_main& w) : w_(w), outer_(!w.IsAdding) {
        w_.IsAdding = true;
        if (outer_) w_.SetAddingMenus(false);
    }
    ~AddingScope() {
        w_.TrackCount = w_.RowCount();
        if (!outer_) return;
        w_.IsAdding = false;
        w_.SetAddingMenus(true);
    }
    AddingScope(const AddingScope&) = delete;
    AddingScope& operator=(const AddingScope&) = delete;

  private:
    Tfm_main& w_;
    bool outer_;
};

enum class AddResult { Added, Skipped, ListFull };

// Opens path through file to take its length and appends its record and row; tells the user
// why a file is left out.
AddResult AddOneFile(Tfm_main& w, TAudioFile2& file, const QString& path, const QString& caption) {
    const int row = w.RowCount();
    if (!TrackTable::HasRoom(row)) {
        w.Prompts().Message(ListFullMessage());
        return AddResult::ListFull;
    }
    const TrackProbe probe = ProbeTrack(file, path);
    switch (probe.outcome) {
        case TrackProbe::Outcome::Removed:
            w.Prompts().Message(RemovedMessage(path));
            return AddResult::Skipped;
        case TrackProbe::Outcome::Invalid:
            w.Prompts().Message(InvalidMessage(path));
            return AddResult::Skipped;
        case TrackProbe::Outcome::Usable:
            break;
    }
    w.TrackTable.FillNew(row, path, probe.length, probe.durationMs);
    AppendRow(w, caption, probe.durationMs / 1000);
    return AddResult::Added;
}

// One folder level at a time: the messages pumped, the rows appended, the count and total
// brought up to date as each level ends.
class ScanIntoList : public FolderScanListener {
  public:
    explicit ScanIntoList(Tfm_main& w) : w_(w) {}

    bool EnterFolder(const QString&, int) override {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        if (w_.IsConverting || Closed(w_)) return false;
        scopes_.push_back(std::make_unique<AddingScope>(w_));
        return true;
    }

    bool AcceptedEntry(const QString& path, const QString& name) override {
        if (AddOneFile(w_, probe_, path, name) == AddResult::ListFull) return false;
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
        return !Closed(w_);
    }

    void LeaveFolder(const QString&, int) override {
        SelectFirstAppended(w_, w_.TrackCount);
        w_.TrackCount = w_.RowCount();
        w_.ShowTotalTime();
        scopes_.pop_back();
    }

  private:
    Tfm_main& w_;
    // The scan checks files with a file object of its own: the skin's "Play" stays live while
    // it pumps messages, and playback reads from AudioFileRead.
    TAudioFile2 probe_;
    std::vector<std::unique_ptr<AddingScope>> scopes_;
};

}  // namespace

void Tfm_main::AddFiles() {
    if (IsConverting || Closed(*this)) return;
    const QString dir =
        SettingsFile->ReadString(kCut, kFilePath, QCoreApplication::applicationDirPath());
    const QStringList files = Prompts().OpenFiles(dir, kOpenFilter);
    if (files.isEmpty()) return;

    AddingScope adding(*this);
    const int countBefore = TrackCount;
    SettingsFile->WriteString(kCut, kFilePath, QFileInfo(files.front()).absolutePath());
    for (const QString& path : files) {
        QCoreApplication::processEvents();
        if (Closed(*this)) break;
        if (AddOneFile(*this, AudioFileWrite, path, QFileInfo(path).fileName()) ==
            AddResult::ListFull)
            break;
    }
    SelectFirstAppended(*this, countBefore);
    TrackCount = RowCount();
    ShowTotalTime();
}

void Tfm_main::RemoveSelected() {
    if (IsConverting) return;
    const int s = SelectedRow();
    if (s >= 0) {
        if (IsPlaying && s == PlayingTrack) {
            Prompts().Information(QStringLiteral("Please stop playing first."));
            return;
        }
        EndRename(*this);
        const std::unique_ptr<QTreeWidgetItem> removed(lv->takeTopLevelItem(s));
        if (s < PlayingTrack) --PlayingTrack;
        const int n = RowCount();
        if (n > 0) {
            lv->clearSelection();
            if (s == n) {
                SelectRow(n - 1);
            } else {
                SelectRow(s);
                TrackTable.RemoveRow(s, n);
            }
        }
    }
    TrackCount = RowCount();
    if (TrackCount == 0) {
        ResetEditor(*this, false);
        return;
    }
    ShowTotalTime();
    lvClick();
}

void Tfm_main::Clear1Click() {
    if (IsConverting) {
        Prompts().Information(QStringLiteral("Please stop converting first."));
        return;
    }
    if (IsPlaying) {
        Prompts().Information(QStringLiteral("Please stop playing first."));
        return;
    }
    EndRename(*this);
    lv->clear();
    TrackCount = 0;
    CurrentTrack = 0;
    ResetEditor(*this, true);
}

namespace {

// Exchanges rows s and t (neighbours) with their records; the selection follows the moved row,
// and so do the playing and the edited row.
void SwapRows(Tfm_main& w, int s, int t) {
    EndRename(w);
    if (w.PlayingTrack == s) {
        w.PlayingTrack = t;
    } else if (w.PlayingTrack == t) {
        w.PlayingTrack = s;
    }
    if (w.CurrentTrack == s) {
        w.CurrentTrack = t;
    } else if (w.CurrentTrack == t) {
        w.CurrentTrack = s;
    }
    QTreeWidgetItem* a = w.lv->topLevelItem(s);
    QTreeWidgetItem* b = w.lv->topLevelItem(t);
    for (int column = 0; column < w.lv->columnCount(); ++column) {
        const QString kept = a->text(column);
        a->setText(column, b->text(column));
        b->setText(column, kept);
    }
    a->setSelected(false);
    w.SelectRow(t);
    w.TrackTable.Swap(s, t);
}

}  // namespace

void Tfm_main::MoveUp() {
    const int s = SelectedRow();
    if (s <= 0 || IsConverting) return;
    SwapRows(*this, s, s - 1);
}

void Tfm_main::MoveDown() {
    const int s = SelectedRow();
    if (s < 0 || s >= RowCount() - 1 || IsConverting) return;
    SwapRows(*this, s, s + 1);
}

void Tfm_main::lvClick() {
    const int rows = RowCount();
    if (rows == 0) return;
    const int selected = SelectedRow();
    if (selected >= 0) {
        CurrentTrack = selected;
    } else {
        CurrentTrack = std::clamp(CurrentTrack, 0, rows - 1);
        SelectRow(CurrentTrack);
    }
    const TrackInfo& t = TrackTable[CurrentTrack];
    // A file shorter than one second has no scale: its bars stay at the ends.
    const auto barOf = [&](int32_t sec, int none) {
        const int32_t pos = MulDiv(sec, 1000, t.LengthSec);
        return pos < 0 ? none : std::min(pos, 1000);
    };
    SetText(BeginTime, FormatTime(t.StartSec));
    SetBar(BeginBar, barOf(t.StartSec, 0));
    SetText(EndTime, FormatTime(t.EndSec));
    SetBar(EndBar, barOf(t.EndSec, 1000));
    const int c = CurrentBar.slider ? CurrentBar.slider->GetPosition() : 0;
    SetText(CurrentTime, FormatTime(MulDiv(c, t.LengthSec, 1000)));
}

void Tfm_main::lvMouseDown() {
    if (SelectedRow() >= 0) return;
    lv->selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

void Tfm_main::lvDblClick() {
    const int s = SelectedRow();
    if (s < 0 || IsConverting) return;
    QTreeWidgetItem* item = lv->topLevelItem(s);
    const QRect rowRect = lv->visualItemRect(item);
    QWidget* holder = edt_title->parentWidget();
    const QPoint topLeft =
        holder->mapFromGlobal(lv->viewport()->mapToGlobal(QPoint(0, rowRect.top() - 1)));
    edt_title->setGeometry(topLeft.x(), topLeft.y(), lv->columnWidth(0), 16);
    edt_title->setText(item->text(0));
    RenameRow = s;
    edt_title->show();
    edt_title->raise();
    edt_title->setFocus();
}

void Tfm_main::edt_titleKeyDown(int key) {
    if (key != 13 && key != Qt::Key_Return && key != Qt::Key_Enter) return;
    // Hiding the focused box ends the edit through its focus loss; without focus (the window
    // not active) nothing else would.
    const bool focused = edt_title->hasFocus();
    edt_title->hide();
    if (!focused) edt_titleExit();
}

void Tfm_main::edt_titleExit() {
    const QString cleaned = CleanCaption(edt_title->text());
    edt_title->setText(cleaned);
    edt_title->hide();
    QTreeWidgetItem* item = lv->topLevelItem(RenameRow);
    if (item && !cleaned.isEmpty()) item->setText(0, cleaned);
}

void Tfm_main::AddPath1Click() {
    if (IsConverting || IsPlaying || IsAdding || Closed(*this)) return;
    fm_dir->SetSettingsFile(SettingsFile.get());
    fm_dir->lbl_action->clear();
    fm_dir->lbl_action->setText(QStringLiteral("Please select the folder you want to add."));
    fm_dir->setWindowTitle(QStringLiteral("Open Folder"));
    fm_dir->cbx_sub->show();
    ShowCentred(*fm_dir);
    if (!fm_dir->ChosenFolder.isEmpty())
        ScanFolder(fm_dir->ChosenFolder, fm_dir->IncludeSubFolders);
}

void Tfm_main::ScanFolder(const QString& folder, bool includeSubFolders) {
    ScanIntoList listener(*this);
    FolderScan(listener).Run(folder, includeSubFolders);
}

void Tfm_main::ChooseOutputDirectory() {
    if (IsConverting || Closed(*this)) return;
    fm_dir->SetSettingsFile(SettingsFile.get());
    fm_dir->setWindowTitle(QStringLiteral("Output Directory"));
    fm_dir->lbl_action->clear();
    fm_dir->lbl_action->setText(
        QStringLiteral("Please select the folder you want to save your files."));
    fm_dir->cbx_sub->hide();
    ShowCentred(*fm_dir);
    const QString folder = fm_dir->ChosenFolder;
    if (folder.isEmpty() || Closed(*this)) return;
    edt_dir->clear();
    edt_dir->setText(folder);
    SettingsFile->WriteString(kCut, kOutputDirectory, folder);
}

}  // namespace quillet
