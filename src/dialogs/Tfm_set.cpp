#include "dialogs/Tfm_set.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QTabWidget>
#include <QVBoxLayout>
#include <vector>

#include "common/Guard.h"
#include "dialogs/FormFont.h"
#include "dialogs/UpDown.h"
#include "settings/SettingsFile.h"
#include "settings/SettingsKeys.h"

namespace quillet {

namespace {

const QString kBitrateHint =
    QStringLiteral("8Kbps - poor quality, small file, 350Kbps - good quality, big file");
const QString kMp3QualityHint =
    QStringLiteral("Quality: 0 - best quality, low speed, 9 - low quality, fast speed. ");

// One control and the key it edits; the dialog shows the key's dialog default when the key is
// missing, junk, or an index outside the control's list.
struct Field {
    const NumberKey& key;
    QComboBox* list = nullptr;
    UpDown* upDown = nullptr;
    QCheckBox* check = nullptr;
};

// In the order the dialog reads and writes them.
std::vector<Field> Fields(Tfm_set& f) {
    return {
        {keys::Mp3Bitrate, f.cb_mp3_bitrate},
        {keys::Mp3Channel, f.cb_mp3_channel},
        {keys::Mp3Frequency, f.cb_mp3_frequency},
        {keys::Mp3Quality, nullptr, f.ud_mp3_quality},
        {keys::Mp3EnableVbr, nullptr, nullptr, f.cb_vbr},
        {keys::Mp3VbrBitrate, f.cb_mp3_vbr},
        {keys::Mp3VbrQuality, nullptr, f.ud_mp3_vbr},
        // "wav"/"mode" is the radio group's, handled beside this table.
        {keys::WavBit, f.cb_wav_bit},
        {keys::WavChannel, f.cb_wav_channel},
        {keys::WavFrequency, f.cb_wav_frequency},
        {keys::WmaFormat, f.cb_wma},
        {keys::OggChannel, f.cb_ogg_channel},
        {keys::OggFrequency, f.cb_ogg_fre},
        {keys::OggBitrate, f.cb_ogg_bitrate},
        {keys::OggMaxBitrate, f.cb_ogg_maxbit},
        {keys::OggMinBitrate, f.cb_ogg_minbit},
        {keys::OggEnableQuality, nullptr, nullptr, f.cb_ogg_quality},
        {keys::OggQuality, nullptr, f.ud_ogg_quality},
        {keys::Mp3KeepSourceAudio, nullptr, nullptr, f.cb_mp3_keep},
        {keys::OggKeepSourceAudio, nullptr, nullptr, f.cb_ogg_keep},
    };
}

// Position of "wav"/"mode" in the write order: after the MP3 keys.
constexpr size_t kWavModeSlot = 7;

// A stored index outside the list (a hand-edited file) shows the default, so that OK never
// stores -1, which Cut and Join could only refuse.
void ShowIndex(QComboBox& list, int stored, int def) {
    list.setCurrentIndex(stored >= 0 && stored < list.count() ? stored : def);
}

void Show(const Field& field, int stored) {
    if (field.list) ShowIndex(*field.list, stored, field.key.dialog);
    if (field.upDown) field.upDown->SetPosition(stored);
    if (field.check) field.check->setChecked(stored != 0);
}

void Read(const SettingsFile& settings, const Field& field) {
    const NumberKey& k = field.key;
    if (field.check) {
        Show(field, settings.ReadBool(k.Section(), k.Key(), k.dialog != 0) ? 1 : 0);
        return;
    }
    Show(field, settings.ReadInteger(k.Section(), k.Key(), k.dialog));
}

void Write(SettingsFile& settings, const Field& field) {
    if (field.list) WriteInteger(settings, field.key, field.list->currentIndex());
    if (field.upDown) WriteInteger(settings, field.key, field.upDown->Position());
    if (field.check) WriteBool(settings, field.key, field.check->isChecked());
}

QComboBox* List(QWidget* parent, const char* name, const QStringList& items) {
    auto* list = new QComboBox(parent);
    list->setObjectName(QLatin1String(name));
    list->addItems(items);
    list->setMaxVisibleItems(17);
    return list;
}

QLabel* Label(const QString& text, QWidget* parent) { return new QLabel(text, parent); }

// The text of a check box that wraps over two lines when the page is too narrow for one: the box
// itself carries the text for the keyboard and screen readers, and a click on the words works
// the box as on its own text.
class CheckBoxText : public QLabel {
  public:
    CheckBoxText(QCheckBox* box, const QString& text, QWidget* parent)
        : QLabel(text, parent), box_(box) {
        setWordWrap(true);
        setBuddy(box);
    }

  protected:
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->pos()) &&
            box_->isEnabled())
            box_->click();
        QLabel::mouseReleaseEvent(event);
    }

  private:
    QCheckBox* box_;
};

// "Keep the source's audio" and, under it, what it means for the page's other settings.
QCheckBox* KeepSourceAudio(const char* name, const QString& kind, QWidget* page,
                           QVBoxLayout* column) {
    const QString text =
        QStringLiteral("Keep the source's audio when it is already %1 (no re-encoding)").arg(kind);
    auto* box = new QWidget(page);
    auto* grid = new QGridLayout(box);
    grid->setContentsMargins(5, 0, 5, 0);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    grid->setColumnStretch(1, 1);
    auto* check = new QCheckBox(box);
    check->setObjectName(QLatin1String(name));
    check->setAccessibleName(text);
    auto* label = new CheckBoxText(check, text, box);
    label->setObjectName(QLatin1String(name) + QStringLiteral("_text"));
    auto* note = Label(
        QStringLiteral("The settings above then apply to other inputs only."), box);
    note->setObjectName(QLatin1String(name) + QStringLiteral("_note"));
    note->setWordWrap(true);
    grid->addWidget(check, 0, 0, Qt::AlignTop);
    grid->addWidget(label, 0, 1);
    grid->addWidget(note, 1, 1);
    column->addWidget(box);
    return check;
}

// A notebook page and the column its groups stand in.
QWidget* Page(const char* name, QWidget* notebook, QVBoxLayout*& column) {
    auto* page = new QWidget(notebook);
    page->setObjectName(QString::fromLatin1(name));
    column = new QVBoxLayout(page);
    column->setContentsMargins(2, 4, 2, 4);
    return page;
}

QGroupBox* Group(const QString& title, QWidget* parent) {
    auto* group = new QGroupBox(title, parent);
    return group;
}

QGridLayout* Grid(QGroupBox* group) {
    auto* grid = new QGridLayout(group);
    grid->setContentsMargins(5, 2, 5, 4);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(4);
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    grid->setColumnMinimumWidth(2, 60);
    return grid;
}

QLineEdit* QualityEdit(QWidget* parent, const char* name, int maxLength) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    edit->setMaxLength(maxLength);
    edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // Typed characters go through the key filter; this keeps pasted text to digits and the
    // separators the up-down shows.
    edit->setValidator(new QRegularExpressionValidator(
        QRegularExpression(maxLength == 1 ? QStringLiteral("[0-9]?") : QStringLiteral("[0-9,]*")),
        edit));
    return edit;
}

UpDown* Buddy(QLineEdit* edit, const char* name, int maximum, QWidget* parent) {
    auto* upDown = new UpDown(*edit, 0, maximum, parent);
    upDown->setObjectName(QLatin1String(name));
    return upDown;
}

// The edit and its up-down side by side, as one cell of a grid.
QWidget* QualityCell(QLineEdit* edit, UpDown* upDown, int editWidth, QWidget* parent) {
    auto* cell = new QWidget(parent);
    auto* row = new QHBoxLayout(cell);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    edit->setParent(cell);
    upDown->setParent(cell);
    edit->setFixedWidth(editWidth);
    row->addWidget(edit);
    row->addWidget(upDown);
    row->addStretch(1);
    return cell;
}

}  // namespace

const QStringList& Tfm_set::FrequencyItems() {
    static const QStringList items = {"8000 Hz",  "11025 Hz", "12000 Hz", "16000 Hz", "22050 Hz",
                                      "24000 Hz", "32000 Hz", "44100 Hz", "48000 Hz"};
    return items;
}

const QStringList& Tfm_set::BitrateItems() {
    static const QStringList items = {"8 Kbps",   "16 Kbps",  "24 Kbps",  "32 Kbps",  "40 Kbps",
                                      "48 Kbps",  "56 Kbps",  "64 Kbps",  "80 Kbps",  "96 Kbps",
                                      "112 Kbps", "128 Kbps", "160 Kbps", "192 Kbps", "224 Kbps",
                                      "256 Kbps", "320 Kbps"};
    return items;
}

const QStringList& Tfm_set::ChannelItems() {
    static const QStringList items = {"Mono", "Stereo"};
    return items;
}

const QStringList& Tfm_set::BitsItems() {
    static const QStringList items = {"8 bps", "16 bps"};
    return items;
}

// The stored index + 1 is the writer's profile number. 20 and 22 read the same, and the 8 kHz
// entries have two blanks after the comma: users know the list this way.
const QStringList& Tfm_set::WmaProfiles() {
    static const QStringList items = {
        "WMA9 48KHz, 192Kbps, Stereo, CBR",   "WMA9 48KHz, 160Kbps, Stereo, CBR",
        "WMA9 48KHz, 128Kbps, Stereo, CBR",   "WMA9 48KHz, 96Kbps, Stereo, CBR",
        "WMA9 48KHz, 64Kbps, Stereo, CBR",    "WMA9 44KHz, 320Kbps, Stereo, CBR",
        "WMA9 44KHz, 256Kbps, Stereo, CBR",   "WMA9 44KHz, 192Kbps, Stereo, CBR",
        "WMA9 44KHz, 160Kbps, Stereo, CBR",   "WMA9 44KHz, 128Kbps, Stereo, CBR",
        "WMA9 44KHz, 96Kbps, Stereo, CBR",    "WMA9 44KHz, 80Kbps, Stereo, CBR",
        "WMA9 44KHz, 64Kbps, Stereo, CBR",    "WMA9 44KHz, 48Kbps, Stereo, CBR",
        "WMA9 44KHz, 32Kbps, Stereo, CBR",    "WMA9 44KHz, 48Kbps, Mono, CBR",
        "WMA9 44KHz, 32Kbps, Mono, CBR",      "WMA9 44KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 48Kbps, Stereo, CBR",    "WMA9 32KHz, 40Kbps, Stereo, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",    "WMA9 32KHz, 20Kbps, Mono, CBR",
        "WMA9 32KHz, 32Kbps, Stereo, CBR",    "WMA9 32KHz, 22Kbps, Stereo, CBR",
        "WMA9 22KHz, 20Kbps, Stereo, CBR",    "WMA9 22KHz, 20Kbps, Mono, CBR",
        "WMA9 22KHz, 16Kbps, Mono, CBR",      "WMA9 16KHz, 20Kbps, Stereo, CBR",
        "WMA9 16KHz, 16Kbps, Stereo, CBR",    "WMA9 16KHz, 16Kbps, Mono, CBR",
        "WMA9 16KHz, 12Kbps, Mono, CBR",      "WMA9 16KHz, 10Kbps, Mono, CBR",
        "WMA9 11KHz, 10Kbps, Mono, CBR",      "WMA9 11KHz, 8Kbps, Mono, CBR",
        "WMA9 8KHz,  12Kbps, Stereo, CBR",    "WMA9 8KHz,  8Kbps, Mono, CBR",
        "WMA9 8KHz,  6Kbps, Mono, CBR",       "WMA9 8KHz,  5Kbps, Mono, CBR",
        "WMA9 48KHz, Stereo, VBR Quality 98", "WMA9 48KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 98", "WMA9 44KHz, Stereo, VBR Quality 90",
        "WMA9 44KHz, Stereo, VBR Quality 75", "WMA9 44KHz, Stereo, VBR Quality 50",
        "WMA9 44KHz, Stereo, VBR Quality 25", "WMA9 44KHz, Stereo, VBR Quality 10",
        "WMA9 44KHz, Stereo, Lossless"};
    return items;
}

Tfm_set::Tfm_set(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("fm_set"));
    setWindowTitle(QStringLiteral("Settings"));
    // 349 high before the pages held the choice to keep the source's audio.
    SetUpFixedForm(*this, 391, 401);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(4, 2, 4, 6);
    layout->setSpacing(6);

    gb_output = new QGroupBox(QStringLiteral("Output Settings"), this);
    gb_output->setObjectName(QStringLiteral("gb_output"));
    auto* outputLayout = new QVBoxLayout(gb_output);
    outputLayout->setContentsMargins(0, 2, 0, 0);
    pc = new QTabWidget(gb_output);
    pc->setObjectName(QStringLiteral("pc"));
    outputLayout->addWidget(pc);
    layout->addWidget(gb_output, 1);

    BuildMp3Page();
    BuildWavPage();
    BuildOggPage();
    BuildWmaPage();
    layout->addLayout(BuildButtons());

    for (QLineEdit* edit : {edt_mp3_quality, edt_mp3_vbr, edt_ogg_quality})
        edit->installEventFilter(this);
    connect(cb_vbr, &QCheckBox::clicked, this, &Tfm_set::cb_vbrClick);
    connect(cb_ogg_quality, &QCheckBox::clicked, this, &Tfm_set::cb_ogg_qualityClick);
    for (QRadioButton* rb : {rb_cdquality, rb_bestsuited, rb_custom})
        connect(rb, &QRadioButton::clicked, this, &Tfm_set::rb_cdqualityClick);
    connect(edt_ogg_quality, &QLineEdit::textChanged, this,
            Guarded([this] { edt_ogg_qualityChange(); }));

    btn_defaultClick();
}

void Tfm_set::BuildMp3Page() {
    QVBoxLayout* page = nullptr;
    ts_mp3 = Page("ts_mp3", pc, page);
    page->setSpacing(6);

    QGroupBox* general = Group(QStringLiteral("General Options"), ts_mp3);
    QGridLayout* grid = Grid(general);
    cb_mp3_frequency = List(general, "cb_mp3_frequency", FrequencyItems());
    cb_mp3_bitrate = List(general, "cb_mp3_bitrate", BitrateItems());
    cb_mp3_channel = List(general, "cb_mp3_channel", ChannelItems());
    edt_mp3_quality = QualityEdit(general, "edt_mp3_quality", 1);
    ud_mp3_quality = Buddy(edt_mp3_quality, "ud_mp3_quality", 9, general);
    grid->addWidget(Label(QStringLiteral("Frequency: "), general), 0, 0);
    grid->addWidget(cb_mp3_frequency, 0, 1);
    grid->addWidget(Label(QStringLiteral("Bitrate: "), general), 0, 2, Qt::AlignRight);
    grid->addWidget(cb_mp3_bitrate, 0, 3);
    grid->addWidget(Label(QStringLiteral("Channel: "), general), 1, 0);
    grid->addWidget(cb_mp3_channel, 1, 1);
    grid->addWidget(Label(QStringLiteral("Quality: "), general), 1, 2, Qt::AlignRight);
    grid->addWidget(QualityCell(edt_mp3_quality, ud_mp3_quality, 28, general), 1, 3);
    grid->addWidget(Label(kBitrateHint, general), 2, 0, 1, 4);
    grid->addWidget(Label(kMp3QualityHint, general), 3, 0, 1, 4);
    page->addWidget(general);

    QGroupBox* vbr = Group(QStringLiteral("VBR (Variable Bit Rate)"), ts_mp3);
    grid = Grid(vbr);
    cb_vbr = new QCheckBox(QStringLiteral("Enable VBR"), vbr);
    cb_vbr->setObjectName(QStringLiteral("cb_vbr"));
    cb_mp3_vbr = List(vbr, "cb_mp3_vbr", BitrateItems());
    edt_mp3_vbr = QualityEdit(vbr, "edt_mp3_vbr", 1);
    ud_mp3_vbr = Buddy(edt_mp3_vbr, "ud_mp3_vbr", 9, vbr);
    grid->addWidget(cb_vbr, 0, 0, 1, 4);
    grid->addWidget(Label(QStringLiteral("VBR Bitrate: "), vbr), 1, 0);
    grid->addWidget(cb_mp3_vbr, 1, 1);
    grid->addWidget(Label(QStringLiteral("VBR Quality: "), vbr), 1, 2, Qt::AlignRight);
    grid->addWidget(QualityCell(edt_mp3_vbr, ud_mp3_vbr, 28, vbr), 1, 3);
    grid->addWidget(Label(kMp3QualityHint, vbr), 2, 0, 1, 4);
    page->addWidget(vbr);
    cb_mp3_keep = KeepSourceAudio("cb_mp3_keep", QStringLiteral("MP3"), ts_mp3, page);
    page->addStretch(1);

    pc->addTab(ts_mp3, QStringLiteral("MP3"));
}

void Tfm_set::BuildWavPage() {
    QVBoxLayout* page = nullptr;
    ts_wav = Page("ts_wav", pc, page);
    page->setSpacing(6);

    QGroupBox* mode = Group(QStringLiteral("Mode"), ts_wav);
    auto* modeLayout = new QVBoxLayout(mode);
    modeLayout->setContentsMargins(5, 2, 5, 4);
    modeLayout->setSpacing(2);
    rb_cdquality =
        new QRadioButton(QStringLiteral("CD quality WAV format (for burning audio CD)"), mode);
    rb_cdquality->setObjectName(QStringLiteral("rb_cdquality"));
    rb_bestsuited = new QRadioButton(QStringLiteral("Best suited WAV format"), mode);
    rb_bestsuited->setObjectName(QStringLiteral("rb_bestsuited"));
    rb_custom = new QRadioButton(QStringLiteral("Custom format"), mode);
    rb_custom->setObjectName(QStringLiteral("rb_custom"));
    wavMode_ = new QButtonGroup(this);
    wavMode_->addButton(rb_cdquality, 0);
    wavMode_->addButton(rb_bestsuited, 1);
    wavMode_->addButton(rb_custom, 2);
    modeLayout->addWidget(rb_cdquality);
    modeLayout->addWidget(rb_bestsuited);
    modeLayout->addWidget(rb_custom);
    modeLayout->addWidget(Label(
        QStringLiteral("To set the parameters below, please choose \"Custom Format\" "), mode));
    page->addWidget(mode);

    QGroupBox* general = Group(QStringLiteral("General Options"), ts_wav);
    QGridLayout* grid = Grid(general);
    cb_wav_frequency = List(general, "cb_wav_frequency", FrequencyItems());
    cb_wav_bit = List(general, "cb_wav_bit", BitsItems());
    cb_wav_channel = List(general, "cb_wav_channel", ChannelItems());
    grid->addWidget(Label(QStringLiteral("Frequency: "), general), 0, 0);
    grid->addWidget(cb_wav_frequency, 0, 1);
    grid->addWidget(Label(QStringLiteral("Bit Per Sample:"), general), 0, 2, Qt::AlignRight);
    grid->addWidget(cb_wav_bit, 0, 3);
    grid->addWidget(Label(QStringLiteral("Channel:"), general), 1, 0);
    grid->addWidget(cb_wav_channel, 1, 1);
    grid->addWidget(
        Label(QStringLiteral("To small created file, low frequency or bit per sample, but "),
              general),
        2, 0, 1, 4);
    grid->addWidget(Label(QStringLiteral("quality will be lowed accordingly. "), general), 3, 0, 1,
                    4);
    page->addWidget(general);
    page->addStretch(1);

    pc->addTab(ts_wav, QStringLiteral("WAV"));
}

void Tfm_set::BuildOggPage() {
    QVBoxLayout* page = nullptr;
    ts_ogg = Page("ts_ogg", pc, page);
    page->setSpacing(6);

    QGroupBox* general = Group(QStringLiteral("General Options"), ts_ogg);
    QGridLayout* grid = Grid(general);
    cb_ogg_fre = List(general, "cb_ogg_fre", FrequencyItems());
    cb_ogg_channel = List(general, "cb_ogg_channel", ChannelItems());
    cb_ogg_bitrate = List(general, "cb_ogg_bitrate", BitrateItems());
    grid->addWidget(Label(QStringLiteral("Frequency: "), general), 0, 0);
    grid->addWidget(cb_ogg_fre, 0, 1);
    grid->addWidget(Label(QStringLiteral("Channel: "), general), 0, 2, Qt::AlignRight);
    grid->addWidget(cb_ogg_channel, 0, 3);
    grid->addWidget(Label(QStringLiteral("Bitrate: "), general), 1, 0);
    grid->addWidget(cb_ogg_bitrate, 1, 1);
    grid->addWidget(Label(kBitrateHint, general), 2, 0, 1, 4);
    page->addWidget(general);

    QGroupBox* vbr = Group(QStringLiteral("VBR (Variable Bit Rate)"), ts_ogg);
    grid = Grid(vbr);
    cb_ogg_quality = new QCheckBox(QStringLiteral("Enable Quality"), vbr);
    cb_ogg_quality->setObjectName(QStringLiteral("cb_ogg_quality"));
    edt_ogg_quality = QualityEdit(vbr, "edt_ogg_quality", 5);
    ud_ogg_quality = Buddy(edt_ogg_quality, "ud_ogg_quality", 1000, vbr);
    cb_ogg_minbit = List(vbr, "cb_ogg_minbit", BitrateItems());
    cb_ogg_maxbit = List(vbr, "cb_ogg_maxbit", BitrateItems());
    grid->addWidget(cb_ogg_quality, 0, 0, 1, 2);
    grid->addWidget(Label(QStringLiteral("VBR Quality: "), vbr), 0, 2, Qt::AlignRight);
    grid->addWidget(QualityCell(edt_ogg_quality, ud_ogg_quality, 44, vbr), 0, 3);
    grid->addWidget(
        Label(QStringLiteral("0 - best quality, low speed, 1000 - low quality, fast speed . "),
              vbr),
        1, 0, 1, 4);
    grid->addWidget(Label(QStringLiteral("Min Bitrate: "), vbr), 2, 0);
    grid->addWidget(cb_ogg_minbit, 2, 1);
    grid->addWidget(Label(QStringLiteral("Max Bitrate: "), vbr), 2, 2, Qt::AlignRight);
    grid->addWidget(cb_ogg_maxbit, 2, 3);
    grid->addWidget(
        Label(QStringLiteral("If quality enabled, the bitrate just affects the convertation "),
              vbr),
        3, 0, 1, 4);
    grid->addWidget(
        Label(QStringLiteral("speed and the quality of the result file, not decide. "), vbr), 4, 0,
        1, 4);
    page->addWidget(vbr);
    cb_ogg_keep = KeepSourceAudio("cb_ogg_keep", QStringLiteral("Ogg Vorbis"), ts_ogg, page);
    page->addStretch(1);

    pc->addTab(ts_ogg, QStringLiteral("OGG"));
}

void Tfm_set::BuildWmaPage() {
    QVBoxLayout* page = nullptr;
    ts_wma = Page("ts_wma", pc, page);

    QGroupBox* format = Group(QStringLiteral("WMA Format"), ts_wma);
    auto* formatLayout = new QVBoxLayout(format);
    formatLayout->setContentsMargins(8, 4, 8, 8);
    cb_wma = List(format, "cb_wma", WmaProfiles());
    formatLayout->addWidget(cb_wma);
    page->addWidget(format);
    page->addStretch(1);

    pc->addTab(ts_wma, QStringLiteral("WMA"));
}

QHBoxLayout* Tfm_set::BuildButtons() {
    auto* row = new QHBoxLayout();
    row->setSpacing(6);
    cbx_session = new QCheckBox(QStringLiteral("Keep the list"), this);
    cbx_session->setObjectName(QStringLiteral("cbx_session"));
    cbx_session->setToolTip(
        QStringLiteral("The files of the list, their names and chosen stretches come back at "
                       "the next start."));
    row->addWidget(cbx_session);
    row->addStretch(1);
    btn_ok = new QPushButton(QStringLiteral("OK"), this);
    btn_ok->setObjectName(QStringLiteral("btn_ok"));
    btn_default = new QPushButton(QStringLiteral("Default"), this);
    btn_default->setObjectName(QStringLiteral("btn_default"));
    btn_cancel = new QPushButton(QStringLiteral("Cancel"), this);
    btn_cancel->setObjectName(QStringLiteral("btn_cancel"));
    for (QPushButton* button : {btn_ok, btn_default, btn_cancel}) {
        button->setAutoDefault(false);
        button->setMinimumSize(75, 25);
        row->addWidget(button);
    }
    btn_ok->setDefault(true);
    connect(btn_ok, &QPushButton::clicked, this, Guarded([this] { btn_okClick(); }));
    connect(btn_default, &QPushButton::clicked, this, &Tfm_set::btn_defaultClick);
    connect(btn_cancel, &QPushButton::clicked, this, &Tfm_set::btn_cancelClick);
    return row;
}

void Tfm_set::showEvent(QShowEvent* event) {
    // Only the dialog's own showing reloads, not the window system's re-exposing it.
    if (!event->spontaneous()) FormShow();
    QDialog::showEvent(event);
}

void Tfm_set::FormShow() {
    pc->setCurrentWidget(ts_mp3);
    if (!settings_) {
        btn_defaultClick();
        return;
    }
    for (const Field& field : Fields(*this)) Read(*settings_, field);
    SetWavMode(
        settings_->ReadInteger(keys::WavMode.Section(), keys::WavMode.Key(), keys::WavMode.dialog));
    shownKeepSession_ = settings_->ReadBool(keys::KeepSession.Section(), keys::KeepSession.Key(),
                                            keys::KeepSession.dialog != 0);
    cbx_session->setChecked(shownKeepSession_);
    ApplyEnablingRules();
}

void Tfm_set::btn_okClick() {
    if (settings_) {
        const std::vector<Field> fields = Fields(*this);
        for (size_t i = 0; i < fields.size(); ++i) {
            if (i == kWavModeSlot && WavMode() >= 0)
                WriteInteger(*settings_, keys::WavMode, WavMode());
            Write(*settings_, fields[i]);
        }
        if (cbx_session->isChecked() != shownKeepSession_)
            WriteBool(*settings_, keys::KeepSession, cbx_session->isChecked());
    }
    accept();
}

void Tfm_set::btn_defaultClick() {
    for (const Field& field : Fields(*this)) Show(field, field.key.dialog);
    SetWavMode(keys::WavMode.dialog);
    cbx_session->setChecked(keys::KeepSession.dialog != 0);
    ApplyEnablingRules();
}

void Tfm_set::btn_cancelClick() { reject(); }

void Tfm_set::cb_vbrClick() {
    const bool on = cb_vbr->isChecked();
    cb_mp3_vbr->setEnabled(on);
    ud_mp3_vbr->setEnabled(on);
    edt_mp3_vbr->setEnabled(on);
}

void Tfm_set::cb_ogg_qualityClick() {
    const bool on = cb_ogg_quality->isChecked();
    ud_ogg_quality->setEnabled(on);
    edt_ogg_quality->setEnabled(on);
    cb_ogg_minbit->setEnabled(!on);
    cb_ogg_maxbit->setEnabled(!on);
}

void Tfm_set::rb_cdqualityClick() {
    const bool custom = rb_custom->isChecked();
    cb_wav_frequency->setEnabled(custom);
    cb_wav_bit->setEnabled(custom);
    cb_wav_channel->setEnabled(custom);
}

void Tfm_set::edt_ogg_qualityChange() {
    const QString text = edt_ogg_quality->text();
    if (text.trimmed().isEmpty()) {
        // Left empty while typing; leaving the edit puts the 0 in.
        ud_ogg_quality->SetPositionQuietly(0);
        return;
    }
    int value = 0;
    // Only digits and separators get in; a lone separator changes nothing.
    if (!UpDown::Parse(text, value)) return;
    ud_ogg_quality->SetPosition(value > 999 ? 1000 : value);
}

void Tfm_set::edt_ogg_qualityExit() {
    if (edt_ogg_quality->text().trimmed().isEmpty()) edt_ogg_quality->setText(QStringLiteral("0"));
}

bool Tfm_set::eventFilter(QObject* watched, QEvent* event) {
    auto* edit = qobject_cast<QLineEdit*>(watched);
    if (!edit) return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::KeyPress) {
        const QString typed = static_cast<QKeyEvent*>(event)->text();
        // Only digits may be typed; backspace and the editing keys carry control characters.
        if (typed.size() == 1 && typed[0].isPrint() &&
            (typed[0] < QLatin1Char('0') || typed[0] > QLatin1Char('9')))
            return true;
    }
    if (event->type() == QEvent::FocusOut) {
        if (edit == edt_ogg_quality) {
            edt_ogg_qualityExit();
        } else if (edit->text().trimmed().isEmpty()) {
            // An emptied MP3 quality keeps its last position; show it again.
            UpDown* upDown = edit == edt_mp3_quality ? ud_mp3_quality : ud_mp3_vbr;
            edit->setText(upDown->Format(upDown->Position()));
        }
    }
    return QDialog::eventFilter(watched, event);
}

void Tfm_set::ApplyEnablingRules() {
    cb_vbrClick();
    rb_cdqualityClick();
    cb_ogg_qualityClick();
}

int Tfm_set::WavMode() const { return wavMode_->checkedId(); }

void Tfm_set::SetWavMode(int mode) {
    // An unknown stored mode shows the default, as an index outside a list does.
    QAbstractButton* button = wavMode_->button(mode);
    if (!button) button = wavMode_->button(keys::WavMode.dialog);
    button->setChecked(true);
}

}  // namespace quillet
