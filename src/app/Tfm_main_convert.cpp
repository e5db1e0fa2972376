// Cut, Join and the stop command that ends either of them.
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressBar>
#include <QTreeWidget>

#include "app/Tfm_main.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"

namespace quillet {

namespace {

const char* const kSaveFilter =
    "MP3 Files(*.mp3);;WAV Files(*.wav);;WMA Files(*.wma);;OGG Files(*.ogg)";

// The main window as Cut and Join see it. The window outlives the command: closing it only
// clears IsConverting (and drops the settings file, which the copy no longer reads), and the
// window is destroyed after the event loop has ended, that is after the command returned.
class WindowConversionHost : public ConversionHost {
  public:
    explicit WindowConversionHost(Tfm_main& window) : w_(window) {}

    bool IsConverting() const override { return w_.IsConverting; }
    void SetConverting(bool on) override { w_.IsConverting = on; }
    bool IsPlaying() const override { return w_.IsPlaying; }
    void SetOutputDir(const QString& dir) override { w_.OutputDir = dir; }

    int RowCount() const override { return w_.RowCount(); }
    QString RowCaption(int row) const override { return w_.lv->topLevelItem(row)->text(0); }
    ConversionRow Row(int row) const override {
        const TrackInfo& track = w_.TrackTable[row];
        return {track.FilePath, track.StartPos, track.EndPos};
    }
    void SetRowStatus(int row, const QString& status) override { w_.SetRowStatus(row, status); }
    int FormatIndex() const override { return w_.cb_format->currentIndex(); }

    SettingsFile& Settings() override { return *w_.SettingsFile; }
    TAudioFile2& Reader() override { return w_.AudioFileRead; }
    TAudioFile2& Writer() override { return w_.AudioFileWrite; }
    TAudioFile2LameEnc& Mp3Encoder() override { return w_.AudioFile2LameEnc; }
    TAudioInformation2& Information() override { return w_.AudioInformation; }

    void PumpMessages() override { QCoreApplication::processEvents(); }
    void SetProgress(int percent) override { w_.pb->setValue(percent); }
    void ShowConverting() override {
        w_.SetConversionMenus(false);
        SetBarsVisible(false);
        w_.pb->setTextVisible(true);
    }
    void ShowIdle() override {
        w_.SetConversionMenus(true);
        SetBarsVisible(true);
        w_.pb->setTextVisible(false);
    }

    void ShowInformation(const QString& text) override { w_.Prompts().Information(text); }
    bool ConfirmOverwrite() override {
        return w_.Prompts().Question(QStringLiteral("File has existed. Overwrite?"));
    }
    std::optional<JoinTarget> ChooseJoinTarget(const QString& startFolder) override {
        int filterIndex = w_.SaveDialogFilterIndex;
        const QString path =
            w_.Prompts().SaveFile(startFolder, QFileInfo(w_.SaveDialogFileName).fileName(),
                                  QString::fromLatin1(kSaveFilter), filterIndex);
        if (path.isEmpty()) return std::nullopt;
        w_.SaveDialogFileName = path;
        w_.SaveDialogFilterIndex = filterIndex;
        return JoinTarget{path, filterIndex - 1};
    }

  private:
    void SetBarsVisible(bool visible) {
        if (w_.BeginBar.element) w_.BeginBar.element->SetVisible(visible);
        if (w_.EndBar.element) w_.EndBar.element->SetVisible(visible);
    }

    Tfm_main& w_;
};

}  // namespace

// Both commands need the settings file, which exists from the first show to the close.
void Tfm_main::Cut1Click() {
    if (!SettingsFile) return;
    WindowConversionHost host(*this);
    CutCommand(host).Run();
}

void Tfm_main::Join2Click() {
    if (!SettingsFile) return;
    WindowConversionHost host(*this);
    JoinCommand(host).Run();
}

// The running Cut or Join sees the flag at its next check and stops there.
void Tfm_main::Stop1Click() { IsConverting = false; }

}  // namespace quillet
