// Cut, Join and the stop command that ends either of them.
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressBar>

#include "app/Tfm_main.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "editor/PlaybackSession.h"
#include "tracks/TrackList.h"

namespace quillet {

namespace {

const char* const kSaveFilter =
    "MP3 Files(*.mp3);;WAV Files(*.wav);;WMA Files(*.wma);;OGG Files(*.ogg)";

}  // namespace

// The main window as Cut and Join see it. The window outlives the command: closing it only
// clears IsConverting (and drops the settings file, which the copy no longer reads), and the
// window is destroyed after the event loop has ended, that is after the command returned.
class WindowConversionHost : public ConversionHost {
  public:
    explicit WindowConversionHost(Tfm_main& window) : w_(window) {}

    RunState& Run() override { return w_.Run(); }
    bool IsPlaying() const override { return w_.Playback().IsPlaying(); }

    int RowCount() const override { return w_.Tracks().Rows(); }
    QString RowCaption(int row) const override { return w_.Tracks().Caption(row); }
    ConversionRow Row(int row) const override {
        const TrackInfo& track = w_.Tracks().Record(row);
        return {track.FilePath, track.StartPos, track.EndPos};
    }
    void SetRowStatus(int row, const QString& status) override {
        w_.Tracks().SetStatus(row, status);
    }
    int FormatIndex() const override { return w_.cb_format->currentIndex(); }

    SettingsFile& Settings() override { return *w_.Settings(); }
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
        int filterIndex = w_.saveFilterIndex_;
        const QString path =
            w_.Prompts().SaveFile(startFolder, QFileInfo(w_.saveFileName_).fileName(),
                                  QString::fromLatin1(kSaveFilter), filterIndex);
        if (path.isEmpty()) return std::nullopt;
        w_.saveFileName_ = path;
        w_.saveFilterIndex_ = filterIndex;
        return JoinTarget{path, filterIndex - 1};
    }

  private:
    void SetBarsVisible(bool visible) {
        w_.SkinObjects().Show(MainSkin::Bar::Begin, visible);
        w_.SkinObjects().Show(MainSkin::Bar::End, visible);
    }

    Tfm_main& w_;
};

// Both commands need the settings file, which exists from the first show to the close.
void Tfm_main::Cut1Click() {
    if (Closed()) return;
    WindowConversionHost host(*this);
    CutCommand(host).Run();
}

void Tfm_main::Join2Click() {
    if (Closed()) return;
    WindowConversionHost host(*this);
    JoinCommand(host).Run();
}

// The running Cut or Join sees the flag at its next check and stops there.
void Tfm_main::Stop1Click() { run_.IsConverting = false; }

}  // namespace quillet
