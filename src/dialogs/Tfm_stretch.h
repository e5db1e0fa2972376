#pragma once

#include <QDialog>
#include <QString>
#include <cstdint>

#include "editor/StretchCommands.h"
#include "editor/StretchHistory.h"

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quillet {

class PeakBuilder;
class StretchEditorHost;
class UserPrompts;
class WaveformView;

// The stretch editor: the sound of one row, its chosen stretch to the frame, and the player.
// Modeless and resizable; everything it knows of the program comes through the host.
//
// Keys: Space play/pause; B and N set the begin and end at the play head; [ and ] move the
// play head to the begin and end; Left and Right move the selected handle by the step (Shift:
// ten steps); P plays around the selected handle; + and - zoom, Z shows the stretch, A the
// whole file, M mixes the channels; Ctrl+Z and Ctrl+Shift+Z undo and redo. The buttons take
// no focus, so Space always plays. The host must outlive the window.
//
// The commands, the selected handle, the step, the rolls and the undo history are those of a
// StretchCommands: the window's own, or one it shares with the program's other windows (and
// then also the peaks, with the main window's overview).
class Tfm_stretch : public QDialog {
    Q_OBJECT
  public:
    Tfm_stretch(StretchEditorHost& host, UserPrompts& prompts, QWidget* parent = nullptr);
    // Over shared commands, and peaks when given; both must outlive the window.
    Tfm_stretch(StretchCommands& commands, UserPrompts& prompts, PeakBuilder* peaks,
                QWidget* parent = nullptr);
    ~Tfm_stretch() override;

    // The steps of Left and Right, in the order of cb_step.
    enum Step {
        OneFrame = StretchCommands::OneFrame,
        TenMs = StretchCommands::TenMs,
        HundredMs = StretchCommands::HundredMs,
        OneSecond = StretchCommands::OneSecond
    };
    int64_t StepFrames() const;

    // Time played before and after the handle by P, in milliseconds (2000 each by default).
    void SetPreRollMs(int ms);
    void SetPostRollMs(int ms);
    int PreRollMs() const;
    int PostRollMs() const;

    const StretchHistory& History() const { return commands_.History(); }
    StretchCommands& Commands() { return commands_; }

    WaveformView* waveform;
    QLabel* lbl_file;
    QLabel* lbl_status;
    QLineEdit* edt_begin;
    QLineEdit* edt_end;
    QLineEdit* edt_length;
    QComboBox* cb_step;
    QDoubleSpinBox* ud_preroll;
    QDoubleSpinBox* ud_postroll;
    QCheckBox* cbx_mix;
    QPushButton* btn_play;
    QPushButton* btn_playaround;
    QPushButton* btn_zoomstretch;
    QPushButton* btn_zoomall;
    QPushButton* btn_zoomin;
    QPushButton* btn_zoomout;
    QPushButton* btn_undo;
    QPushButton* btn_redo;

    // The commands the keys and buttons run.
    void PlayPause();
    void MarkBegin();
    void MarkEnd();
    void PlayHeadToBegin();
    void PlayHeadToEnd();
    void Nudge(int steps, bool held);
    void PlayAround();
    void Undo();
    void Redo();

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void Build(PeakBuilder* peaks);
    void BuildLayout();
    void BindKeys();
    void ConnectCommands();
    void LoadRow();
    void ShowStretch();
    void ShowPlayback();
    void ShowSettings();
    void BeginTyped();
    void EndTyped();
    void LengthTyped();
    bool Typed(QLineEdit* edit, int64_t& position);
    void Refuse(bool beginMoved);
    const Stretch& Current() const { return commands_.Current(); }

    // The window's own commands when it shares none.
    StretchCommands* own_ = nullptr;
    StretchCommands& commands_;
    StretchEditorHost& host_;
    UserPrompts& prompts_;
};

}  // namespace quillet
