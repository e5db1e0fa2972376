#pragma once

#include <QDialog>
#include <QStringList>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QHBoxLayout;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;

namespace quillet {

class SettingsFile;
class UpDown;

// The settings dialog: the encoder settings of the four output formats. Created hidden at start-up
// and reused for every showing; it reads the settings file each time it is shown and writes every
// encoder key, of all four pages, on OK only.
class Tfm_set : public QDialog {
    Q_OBJECT
  public:
    explicit Tfm_set(QWidget* parent = nullptr);

    // The main window's settings file; nullptr once the main window has released it, when the
    // dialog shows its defaults and OK stores nothing.
    void SetSettingsFile(SettingsFile* settings) { settings_ = settings; }

    // The items of the lists, in the order of their stored indices.
    static const QStringList& FrequencyItems();
    static const QStringList& BitrateItems();
    static const QStringList& ChannelItems();
    static const QStringList& BitsItems();
    static const QStringList& WmaProfiles();

    QGroupBox* gb_output;
    QTabWidget* pc;
    QWidget* ts_mp3;
    QWidget* ts_wav;
    QWidget* ts_ogg;
    QWidget* ts_wma;

    QComboBox* cb_mp3_frequency;
    QComboBox* cb_mp3_bitrate;
    QComboBox* cb_mp3_channel;
    QLineEdit* edt_mp3_quality;
    UpDown* ud_mp3_quality;
    QCheckBox* cb_vbr;
    QComboBox* cb_mp3_vbr;
    QLineEdit* edt_mp3_vbr;
    UpDown* ud_mp3_vbr;
    QCheckBox* cb_mp3_keep;  // "mp3"/"keep source audio"

    QRadioButton* rb_cdquality;
    QRadioButton* rb_bestsuited;
    QRadioButton* rb_custom;
    QComboBox* cb_wav_frequency;
    QComboBox* cb_wav_bit;
    QComboBox* cb_wav_channel;

    QComboBox* cb_ogg_fre;
    QComboBox* cb_ogg_channel;
    QComboBox* cb_ogg_bitrate;
    QCheckBox* cb_ogg_quality;
    QLineEdit* edt_ogg_quality;
    UpDown* ud_ogg_quality;
    QComboBox* cb_ogg_minbit;
    QComboBox* cb_ogg_maxbit;
    QCheckBox* cb_ogg_keep;  // "ogg"/"keep source audio"

    QComboBox* cb_wma;

    // Beside the buttons: whether the list is kept between runs ("keep session" of [basic]).
    QCheckBox* cbx_session;

    QPushButton* btn_ok;
    QPushButton* btn_default;
    QPushButton* btn_cancel;

    void FormShow();
    void btn_okClick();
    void btn_defaultClick();
    void btn_cancelClick();
    void cb_vbrClick();
    void cb_ogg_qualityClick();
    void rb_cdqualityClick();
    void edt_ogg_qualityChange();
    void edt_ogg_qualityExit();

  protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void BuildMp3Page();
    void BuildWavPage();
    void BuildOggPage();
    void BuildWmaPage();
    QHBoxLayout* BuildButtons();
    void ApplyEnablingRules();
    // "wav"/"mode" as the radio buttons show it; -1 when none is selected.
    int WavMode() const;
    void SetWavMode(int mode);

    SettingsFile* settings_ = nullptr;
    QButtonGroup* wavMode_;
    // "keep session" as the file had it at showing: OK writes the key only when it changed,
    // so that the file of a user who never touches the box stays as it was.
    bool shownKeepSession_ = true;
};

}  // namespace quillet
