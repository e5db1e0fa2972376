#include "dialogs/Tfm_stretch.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShortcut>
#include <QVBoxLayout>
#include <algorithm>

#include "common/Guard.h"
#include "dialogs/UserPrompts.h"
#include "editor/SegmentEdit.h"
#include "editor/StretchEditorHost.h"
#include "editor/TypedTime.h"
#include "widgets/WaveformView.h"

namespace quillet {

namespace {

const QString kTitle = QStringLiteral("Stretch editor");

// The skin's palette (resources/skin/skin.json), so the editor is dark without the skin too.
QPalette DarkPalette() {
    QPalette p;
    const QColor window(0x1a, 0x1d, 0x24), text(0xe8, 0xeb, 0xf1), base(0x11, 0x13, 0x18);
    const QColor button(0x2b, 0x30, 0x3a), highlight(0x3a, 0xb7, 0xf5);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, QColor(0x16, 0x19, 0x20));
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, button);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, QColor(0x07, 0x12, 0x1a));
    p.setColor(QPalette::PlaceholderText, QColor(0x6b, 0x73, 0x83));
    p.setColor(QPalette::ToolTipBase, button);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::Light, QColor(0x3a, 0x40, 0x4c));
    p.setColor(QPalette::Midlight, QColor(0x30, 0x35, 0x3f));
    p.setColor(QPalette::Mid, QColor(0x25, 0x29, 0x32));
    p.setColor(QPalette::Dark, base);
    p.setColor(QPalette::Shadow, QColor(0x0a, 0x0b, 0x0e));
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Link, highlight);
    for (const auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        p.setColor(QPalette::Disabled, role, QColor(0x5d, 0x65, 0x74));
    return p;
}

QLineEdit* TimeEdit(const QString& name, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setToolTip(QStringLiteral("hh:mm:ss.mmm, mm:ss.mmm or seconds"));
    // Room for 00:00:00.000 and a little more.
    edit->setMinimumWidth(edit->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00.0000")));
    return edit;
}

QDoubleSpinBox* RollBox(const QString& name, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setAccessibleName(name);
    box->setRange(0.0, 30.0);
    box->setDecimals(2);
    box->setSingleStep(0.5);
    box->setSuffix(QStringLiteral(" s"));
    box->setValue(2.0);
    return box;
}

QPushButton* Button(const QString& text, const QString& tip, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setToolTip(tip);
    button->setAutoDefault(false);
    // Keys belong to the editor: Space plays, it does not press the button that has focus.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

}  // namespace

namespace {

constexpr auto kWindowFlags = Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                              Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;

}  // namespace

Tfm_stretch::Tfm_stretch(StretchEditorHost& host, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, kWindowFlags),
      own_(new StretchCommands(host, this)),
      commands_(*own_),
      host_(host),
      prompts_(prompts) {
    own_->SetInform([this](const QString& text) { prompts_.Information(text); });
    Build(nullptr);
}

Tfm_stretch::Tfm_stretch(StretchCommands& commands, UserPrompts& prompts, PeakBuilder* peaks,
                         QWidget* parent)
    : QDialog(parent, kWindowFlags),
      commands_(commands),
      host_(commands.Host()),
      prompts_(prompts) {
    Build(peaks);
}

void Tfm_stretch::Build(PeakBuilder* peaks) {
    setObjectName(QStringLiteral("fm_stretch"));
    setWindowTitle(kTitle);
    setModal(false);
    setSizeGripEnabled(true);
    setPalette(DarkPalette());
    setAutoFillBackground(true);
    BuildLayout();
    if (peaks) waveform->SetPeakBuilder(peaks);
    BindKeys();
    ConnectCommands();
    // Keys go to the picture first, so that Space plays rather than typing into a time.
    waveform->setFocus();

    connect(&host_, &StretchEditorHost::PlaybackChanged, this, &Tfm_stretch::ShowPlayback);

    // What reaches the player or the program runs guarded: an engine error goes to the
    // program's handler, not through Qt.
    connect(waveform, &WaveformView::PlayHeadClicked, this, [this](qint64 frame) {
        Guard([&] {
            host_.SetPlayHead(frame);
            ShowPlayback();
        });
    });
    connect(waveform, &WaveformView::StretchDragged, this, [this](qint64 begin, qint64 end) {
        edt_begin->setText(FormatPosition(begin, host_.SampleRate()));
        edt_end->setText(FormatPosition(end, host_.SampleRate()));
        edt_length->setText(FormatPosition(end - begin, host_.SampleRate()));
    });
    connect(waveform, &WaveformView::StretchDropped, this, [this](qint64 begin, qint64 end) {
        Guard([&] {
            commands_.Change({begin, end}, begin != Current().begin
                                               ? QStringLiteral("Begin dragged")
                                               : QStringLiteral("End dragged"));
        });
    });
    connect(waveform, &WaveformView::PeaksProgress, this, [this](qint64 ready, qint64 frames) {
        if (ready < frames)
            lbl_status->setText(QStringLiteral("Reading the waveform: %1 %")
                                    .arg(frames > 0 ? ready * 100 / frames : 0));
    });
    connect(waveform, &WaveformView::PeaksReady, lbl_status, &QLabel::clear);
    connect(waveform, &WaveformView::Failed, lbl_status, &QLabel::setText);

    connect(edt_begin, &QLineEdit::editingFinished, this,
            GuardedSlot(this, &Tfm_stretch::BeginTyped));
    connect(edt_end, &QLineEdit::editingFinished, this, GuardedSlot(this, &Tfm_stretch::EndTyped));
    connect(edt_length, &QLineEdit::editingFinished, this,
            GuardedSlot(this, &Tfm_stretch::LengthTyped));
    connect(cbx_mix, &QCheckBox::toggled, waveform, &WaveformView::SetChannelsMixed);
    connect(btn_play, &QPushButton::clicked, this, GuardedSlot(this, &Tfm_stretch::PlayPause));
    connect(btn_playaround, &QPushButton::clicked, this,
            GuardedSlot(this, &Tfm_stretch::PlayAround));
    connect(btn_zoomstretch, &QPushButton::clicked, waveform, &WaveformView::ZoomToStretch);
    connect(btn_zoomall, &QPushButton::clicked, waveform, &WaveformView::ZoomAll);
    connect(btn_zoomin, &QPushButton::clicked, waveform, &WaveformView::ZoomIn);
    connect(btn_zoomout, &QPushButton::clicked, waveform, &WaveformView::ZoomOut);
    connect(btn_undo, &QPushButton::clicked, this, GuardedSlot(this, &Tfm_stretch::Undo));
    connect(btn_redo, &QPushButton::clicked, this, GuardedSlot(this, &Tfm_stretch::Redo));

    resize(980, 440);
    ShowSettings();
    LoadRow();
}

// The handle, the step and the rolls are the commands'; the controls show them and set them.
void Tfm_stretch::ConnectCommands() {
    connect(&commands_, &StretchCommands::RowLoaded, this, &Tfm_stretch::LoadRow);
    connect(&commands_, &StretchCommands::StretchShown, this, &Tfm_stretch::ShowStretch);
    connect(&commands_, &StretchCommands::HandleChanged, this, &Tfm_stretch::ShowSettings);
    connect(&commands_, &StretchCommands::StepChanged, this, &Tfm_stretch::ShowSettings);
    connect(&commands_, &StretchCommands::RollsChanged, this, &Tfm_stretch::ShowSettings);
    connect(waveform, &WaveformView::HandleSelected, this, [this](WaveformView::Handle handle) {
        commands_.SelectHandle(handle == WaveformView::Handle::Begin
                                   ? StretchCommands::Handle::Begin
                                   : StretchCommands::Handle::End);
    });
    connect(cb_step, &QComboBox::currentIndexChanged, &commands_, &StretchCommands::SetStepIndex);
    connect(ud_preroll, &QDoubleSpinBox::valueChanged, this,
            [this](double s) { commands_.SetPreRollMs(static_cast<int>(std::lround(s * 1000))); });
    connect(ud_postroll, &QDoubleSpinBox::valueChanged, this,
            [this](double s) { commands_.SetPostRollMs(static_cast<int>(std::lround(s * 1000))); });
}

void Tfm_stretch::ShowSettings() {
    waveform->SelectHandle(commands_.SelectedHandle() == StretchCommands::Handle::Begin
                               ? WaveformView::Handle::Begin
                               : WaveformView::Handle::End);
    cb_step->setCurrentIndex(commands_.StepIndex());
    ud_preroll->setValue(commands_.PreRollMs() / 1000.0);
    ud_postroll->setValue(commands_.PostRollMs() / 1000.0);
}

Tfm_stretch::~Tfm_stretch() {
    // QDialog's destructor hides the window, which takes the focus from an edit and finishes
    // its editing: nothing of this class may answer by then.
    for (QObject* child : findChildren<QObject*>()) child->disconnect(this);
}

void Tfm_stretch::BuildLayout() {
    lbl_file = new QLabel(this);
    QFont bold = lbl_file->font();
    bold.setBold(true);
    lbl_file->setFont(bold);
    lbl_status = new QLabel(this);
    lbl_status->setAccessibleName(QStringLiteral("Waveform status"));
    QPalette muted = lbl_status->palette();
    muted.setColor(QPalette::WindowText, QColor(0x8a, 0x93, 0xa3));
    lbl_status->setPalette(muted);
    lbl_status->setWordWrap(true);

    waveform = new WaveformView(this);

    edt_begin = TimeEdit(QStringLiteral("Begin"), this);
    edt_end = TimeEdit(QStringLiteral("End"), this);
    edt_length = TimeEdit(QStringLiteral("Length"), this);
    cb_step = new QComboBox(this);
    cb_step->setAccessibleName(QStringLiteral("Step"));
    cb_step->addItems({QStringLiteral("One frame"), QStringLiteral("10 ms"),
                       QStringLiteral("100 ms"), QStringLiteral("1 s")});
    cb_step->setCurrentIndex(TenMs);
    cb_step->setToolTip(
        QStringLiteral("Left and Right move the selected handle by this much; "
                       "with Shift ten times as far"));
    ud_preroll = RollBox(QStringLiteral("Pre-roll"), this);
    ud_postroll = RollBox(QStringLiteral("Post-roll"), this);
    cbx_mix = new QCheckBox(QStringLiteral("Mix channels"), this);
    cbx_mix->setFocusPolicy(Qt::NoFocus);
    cbx_mix->setToolTip(QStringLiteral("All channels in one lane (M)"));

    btn_play = Button(QStringLiteral("Play"), QStringLiteral("Play or pause (Space)"), this);
    btn_playaround = Button(QStringLiteral("Play around"),
                            QStringLiteral("Play around the selected handle (P)"), this);
    btn_zoomstretch = Button(QStringLiteral("Zoom to stretch"),
                             QStringLiteral("Show the chosen stretch (Z)"), this);
    btn_zoomall =
        Button(QStringLiteral("Whole file"), QStringLiteral("Show the whole file (A)"), this);
    btn_zoomin = Button(QStringLiteral("+"), QStringLiteral("Zoom in (+, Ctrl+wheel)"), this);
    btn_zoomin->setAccessibleName(QStringLiteral("Zoom in"));
    btn_zoomout = Button(QStringLiteral("-"), QStringLiteral("Zoom out (-, Ctrl+wheel)"), this);
    btn_zoomout->setAccessibleName(QStringLiteral("Zoom out"));
    btn_undo = Button(QStringLiteral("Undo"), QString(), this);
    btn_redo = Button(QStringLiteral("Redo"), QString(), this);

    const auto label = [this](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    auto* top = new QHBoxLayout;
    top->addWidget(lbl_file);
    top->addStretch(1);
    top->addWidget(lbl_status, 2);

    auto* times = new QHBoxLayout;
    times->addWidget(label(QStringLiteral("&Begin"), edt_begin));
    times->addWidget(edt_begin);
    times->addSpacing(8);
    times->addWidget(label(QStringLiteral("&End"), edt_end));
    times->addWidget(edt_end);
    times->addSpacing(8);
    times->addWidget(label(QStringLiteral("&Length"), edt_length));
    times->addWidget(edt_length);
    times->addStretch(1);
    times->addWidget(label(QStringLiteral("&Step"), cb_step));
    times->addWidget(cb_step);
    times->addSpacing(8);
    times->addWidget(label(QStringLiteral("P&re-roll"), ud_preroll));
    times->addWidget(ud_preroll);
    times->addWidget(label(QStringLiteral("P&ost-roll"), ud_postroll));
    times->addWidget(ud_postroll);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btn_play);
    buttons->addWidget(btn_playaround);
    buttons->addSpacing(16);
    buttons->addWidget(btn_zoomstretch);
    buttons->addWidget(btn_zoomall);
    buttons->addWidget(btn_zoomin);
    buttons->addWidget(btn_zoomout);
    buttons->addWidget(cbx_mix);
    buttons->addStretch(1);
    buttons->addWidget(btn_undo);
    buttons->addWidget(btn_redo);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(waveform, 1);
    layout->addLayout(times);
    layout->addLayout(buttons);
}

void Tfm_stretch::BindKeys() {
    const auto bind = [this](const QKeySequence& keys, void (Tfm_stretch::*command)()) {
        auto* shortcut = new QShortcut(keys, this);
        connect(shortcut, &QShortcut::activated, this, GuardedSlot(this, command));
    };
    bind(QKeySequence(Qt::Key_Space), &Tfm_stretch::PlayPause);
    bind(QKeySequence(Qt::Key_B), &Tfm_stretch::MarkBegin);
    bind(QKeySequence(Qt::Key_N), &Tfm_stretch::MarkEnd);
    bind(QKeySequence(Qt::Key_BracketLeft), &Tfm_stretch::PlayHeadToBegin);
    bind(QKeySequence(Qt::Key_BracketRight), &Tfm_stretch::PlayHeadToEnd);
    bind(QKeySequence(Qt::Key_P), &Tfm_stretch::PlayAround);
    bind(QKeySequence(Qt::CTRL | Qt::Key_Z), &Tfm_stretch::Undo);
    bind(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), &Tfm_stretch::Redo);
    for (const auto key : {Qt::Key_Plus, Qt::Key_Equal}) {
        auto* in = new QShortcut(QKeySequence(key), this);
        connect(in, &QShortcut::activated, waveform, &WaveformView::ZoomIn);
    }
    const auto view = [this](int key, auto command) {
        auto* shortcut = new QShortcut(QKeySequence(key), this);
        connect(shortcut, &QShortcut::activated, waveform, command);
    };
    view(Qt::Key_Minus, &WaveformView::ZoomOut);
    view(Qt::Key_Z, &WaveformView::ZoomToStretch);
    view(Qt::Key_A, &WaveformView::ZoomAll);
    auto* mix = new QShortcut(QKeySequence(Qt::Key_M), this);
    connect(mix, &QShortcut::activated, cbx_mix, &QCheckBox::toggle);
}

void Tfm_stretch::keyPressEvent(QKeyEvent* event) {
    // Left and Right reach here when the focused control has no use for them (the waveform,
    // the buttons); a held key is one change for undo.
    const bool left = event->key() == Qt::Key_Left;
    if ((left || event->key() == Qt::Key_Right) &&
        (event->modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) == 0) {
        const int steps = (left ? -1 : 1) * (event->modifiers() & Qt::ShiftModifier ? 10 : 1);
        Guard([&] { Nudge(steps, event->isAutoRepeat()); });
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- The row ----

void Tfm_stretch::LoadRow() {
    btn_undo->setEnabled(false);
    btn_redo->setEnabled(false);
    lbl_status->clear();
    const bool row = host_.HasRow();
    for (QWidget* w : std::initializer_list<QWidget*>{edt_begin, edt_end, edt_length, btn_play,
                                                      btn_playaround, btn_zoomstretch})
        w->setEnabled(row);
    if (!row) {
        waveform->SetFile(QString(), 0, 0);
        lbl_file->setText(QStringLiteral("No row to show"));
        setWindowTitle(kTitle);
        for (QLineEdit* e : {edt_begin, edt_end, edt_length}) e->clear();
        ShowPlayback();
        return;
    }
    const QString name = QFileInfo(host_.FilePath()).fileName();
    lbl_file->setText(name);
    setWindowTitle(QStringLiteral("%1 - %2").arg(kTitle, name));
    waveform->SetFile(host_.FilePath(), host_.LengthPos(), host_.SampleRate());
    ShowStretch();
    ShowPlayback();
}

void Tfm_stretch::ShowStretch() {
    if (!host_.HasRow()) return;
    const Stretch stretch{host_.StartPos(), host_.EndPos()};
    const int rate = host_.SampleRate();
    waveform->SetStretch(stretch.begin, stretch.end);
    // setText also clears the edits' modified flags: a text the program wrote is no typing.
    edt_begin->setText(FormatPosition(stretch.begin, rate));
    edt_end->setText(FormatPosition(stretch.end, rate));
    edt_length->setText(FormatPosition(stretch.end - stretch.begin, rate));
    const StretchHistory& history = commands_.History();
    btn_undo->setEnabled(history.CanUndo());
    btn_redo->setEnabled(history.CanRedo());
    btn_undo->setToolTip(
        history.CanUndo() ? QStringLiteral("Undo %1 (Ctrl+Z)").arg(history.UndoReason().toLower())
                          : QStringLiteral("Nothing to undo"));
    btn_redo->setToolTip(
        history.CanRedo()
            ? QStringLiteral("Redo %1 (Ctrl+Shift+Z)").arg(history.RedoReason().toLower())
            : QStringLiteral("Nothing to redo"));
}

void Tfm_stretch::ShowPlayback() {
    const bool playing = host_.HasRow() && host_.IsPlaying();
    btn_play->setText(playing ? QStringLiteral("Pause") : QStringLiteral("Play"));
    if (!host_.HasRow()) return;
    const int64_t head = host_.PlayHeadPos();
    waveform->SetPlayHead(head);
    if (playing) waveform->Follow(head);
}

// ---- Changes ----

void Tfm_stretch::Refuse(bool beginMoved) {
    prompts_.Information(QString::fromLatin1(beginMoved ? kBeginRefused : kEndRefused));
}

bool Tfm_stretch::Typed(QLineEdit* edit, int64_t& position) {
    const TypedPosition typed = ParsePosition(edit->text(), host_.SampleRate());
    if (!typed.ok) {
        ShowStretch();
        prompts_.Information(typed.error);
        return false;
    }
    // A time past the end of the file means its end.
    position = std::min(typed.position, host_.LengthPos());
    return true;
}

void Tfm_stretch::BeginTyped() {
    if (!edt_begin->isModified() || !host_.HasRow()) return;
    int64_t begin = 0;
    if (!Typed(edt_begin, begin)) return;
    if (begin >= Current().end) {
        ShowStretch();
        return Refuse(true);
    }
    commands_.SelectHandle(StretchCommands::Handle::Begin);
    commands_.Change({begin, Current().end}, QStringLiteral("Begin typed"));
}

void Tfm_stretch::EndTyped() {
    if (!edt_end->isModified() || !host_.HasRow()) return;
    int64_t end = 0;
    if (!Typed(edt_end, end)) return;
    if (end <= Current().begin) {
        ShowStretch();
        return Refuse(false);
    }
    commands_.SelectHandle(StretchCommands::Handle::End);
    commands_.Change({Current().begin, end}, QStringLiteral("End typed"));
}

void Tfm_stretch::LengthTyped() {
    if (!edt_length->isModified() || !host_.HasRow()) return;
    int64_t length = 0;
    if (!Typed(edt_length, length)) return;
    const int64_t end = std::min(Current().begin + length, host_.LengthPos());
    if (end <= Current().begin) {
        ShowStretch();
        return Refuse(false);
    }
    commands_.SelectHandle(StretchCommands::Handle::End);
    commands_.Change({Current().begin, end}, QStringLiteral("Length typed"));
}

int64_t Tfm_stretch::StepFrames() const { return commands_.StepFrames(); }

void Tfm_stretch::Nudge(int steps, bool held) { commands_.Nudge(steps, held); }

// ---- Play head and playback ----

void Tfm_stretch::PlayPause() {
    commands_.PlayPause();
    ShowPlayback();
}

void Tfm_stretch::MarkBegin() { commands_.MarkBegin(); }

void Tfm_stretch::MarkEnd() { commands_.MarkEnd(); }

void Tfm_stretch::PlayHeadToBegin() {
    commands_.PlayHeadToBegin();
    ShowPlayback();
}

void Tfm_stretch::PlayHeadToEnd() {
    commands_.PlayHeadToEnd();
    ShowPlayback();
}

void Tfm_stretch::PlayAround() {
    commands_.PlayAround();
    ShowPlayback();
}

void Tfm_stretch::SetPreRollMs(int ms) { commands_.SetPreRollMs(ms); }

void Tfm_stretch::SetPostRollMs(int ms) { commands_.SetPostRollMs(ms); }

int Tfm_stretch::PreRollMs() const { return commands_.PreRollMs(); }

int Tfm_stretch::PostRollMs() const { return commands_.PostRollMs(); }

// ---- Undo ----

void Tfm_stretch::Undo() { commands_.Undo(); }

void Tfm_stretch::Redo() { commands_.Redo(); }

}  // namespace quillet
