// Cut, Join and the stop command that ends either of them.
#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressBar>

#include "app/Tfm_main.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "convert/ListConversionHost.h"
#include "platform/audio/OutputFormats.h"

namespace quillet {

// The main window as Cut and Join see it. The window outlives the command: closing it only
// clears IsConverting (and drops the settings file, which the copy no longer reads), and the
// window is destroyed after the event loop has ended, that is after the command returned.
class WindowConversionHost : public ListConversionHost {
  public:
    explicit WindowConversionHost(Tfm_main& w)
        : ListConversionHost(
              w.run_, *w.tracks_, *w.playback_, *w.settings_,
              {w.AudioFileRead, w.AudioFileWrite, w.AudioFile2LameEnc, w.AudioInformation}),
          w_(w) {}

    int FormatIndex() const override { return w_.cb_format->currentIndex(); }
    void PumpMessages() override { QCoreApplication::processEvents(); }
    void SetProgress(int percent) override { w_.pb->setValue(percent); }
    // The 13 items off, "Begin bar" and "End bar" hidden, the bar's caption on; and back.
    void ShowConverting() override { ShowRunning(true); }
    void ShowIdle() override { ShowRunning(false); }

    void ShowInformation(const QString& text) override { w_.Prompts().Information(text); }
    bool ConfirmOverwrite() override {
        return w_.Prompts().Question(QStringLiteral("File has existed. Overwrite?"));
    }
    std::optional<JoinTarget> ChooseJoinTarget(const QString& startFolder) override {
        int filterIndex = w_.saveFilterIndex_;
        const QString path =
            w_.Prompts().SaveFile(startFolder, QFileInfo(w_.saveFileName_).fileName(),
                                  OutputSaveFilters().join(QStringLiteral(";;")), filterIndex);
        if (path.isEmpty()) return std::nullopt;
        w_.saveFileName_ = path;
        w_.saveFilterIndex_ = filterIndex;
        return JoinTarget{path, filterIndex - 1};
    }

  private:
    void ShowRunning(bool running) {
        w_.SetConversionMenus(!running);
        w_.skin_.Show(MainSkin::Bar::Begin, !running);
        w_.skin_.Show(MainSkin::Bar::End, !running);
        w_.pb->setTextVisible(running);
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
