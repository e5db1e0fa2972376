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

Tfm_stretch::Tfm_stretch(StretchEditorHost& host, UserPrompts& prompts, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint),
      host_(host),
      prompts_(prompts) {
    setObjectName(QStringLiteral("fm_stretch"));
    setWindowTitle(kTitle);
    setModal(false);
    setSizeGripEnabled(true);
    setPalette(DarkPalette());
    setAutoFillBackground(true);
    BuildLayout();
    BindKeys();

    connect(&host_, &StretchEditorHost::RowChanged, this, &Tfm_stretch::LoadRow);
    connect(&host_, &StretchEditorHost::StretchChanged, this,
            &Tfm_stretch::StretchChangedElsewhere);
    connect(&host_, &StretchEditorHost::PlaybackChanged, this, &Tfm_stretch::ShowPlayback);

    connect(waveform, &WaveformView::PlayHeadClicked, this, [this](qint64 frame) {
        host_.SetPlayHead(frame);
        ShowPlayback();
    });
    connect(waveform, &WaveformView::StretchDragged, this, [this](qint64 begin, qint64 end) {
        edt_begin->setText(FormatPosition(begin, host_.SampleRate()));
        edt_end->setText(FormatPosition(end, host_.SampleRate()));
        edt_length->setText(FormatPosition(end - begin, host_.SampleRate()));
    });
    connect(waveform, &WaveformView::StretchDropped, this, [this](qint64 begin, qint64 end) {
        Change({begin, end}, begin != stretch_.begin ? QStringLiteral("Begin dragged")
                                                     : QStringLiteral("End dragged"));
    });
    connect(waveform, &WaveformView::PeaksProgress, this, [this](qint64 ready, qint64 frames) {
        if (ready < frames)
            lbl_status->setText(QStringLiteral("Reading the waveform: %1 %")
                                    .arg(frames > 0 ? ready * 100 / frames : 0));
    });
    connect(waveform, &WaveformView::PeaksReady, lbl_status, &QLabel::clear);
    connect(waveform, &WaveformView::Failed, lbl_status, &QLabel::setText);

    connect(edt_begin, &QLineEdit::editingFinished, this, &Tfm_stretch::BeginTyped);
    connect(edt_end, &QLineEdit::editingFinished, this, &Tfm_stretch::EndTyped);
    connect(edt_length, &QLineEdit::editingFinished, this, &Tfm_stretch::LengthTyped);
    connect(cbx_mix, &QCheckBox::toggled, waveform, &WaveformView::SetChannelsMixed);
    connect(btn_play, &QPushButton::clicked, this, &Tfm_stretch::PlayPause);
    connect(btn_playaround, &QPushButton::clicked, this, &Tfm_stretch::PlayAround);
    connect(btn_zoomstretch, &QPushButton::clicked, waveform, &WaveformView::ZoomToStretch);
    connect(btn_zoomall, &QPushButton::clicked, waveform, &WaveformView::ZoomAll);
    connect(btn_zoomin, &QPushButton::clicked, waveform, &WaveformView::ZoomIn);
    connect(btn_zoomout, &QPushButton::clicked, waveform, &WaveformView::ZoomOut);
    connect(btn_undo, &QPushButton::clicked, this, &Tfm_stretch::Undo);
    connect(btn_redo, &QPushButton::clicked, this, &Tfm_stretch::Redo);

    resize(980, 440);
    LoadRow();
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
        connect(shortcut, &QShortcut::activated, this, command);
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
        Nudge(steps, event->isAutoRepeat());
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- The row ----

void Tfm_stretch::LoadRow() {
    history_.Clear();
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
        stretch_ = {};
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
    stretch_ = {host_.StartPos(), host_.EndPos()};
    const int rate = host_.SampleRate();
    waveform->SetStretch(stretch_.begin, stretch_.end);
    // setText also clears the edits' modified flags: a text the program wrote is no typing.
    edt_begin->setText(FormatPosition(stretch_.begin, rate));
    edt_end->setText(FormatPosition(stretch_.end, rate));
    edt_length->setText(FormatPosition(stretch_.end - stretch_.begin, rate));
    btn_undo->setEnabled(history_.CanUndo());
    btn_redo->setEnabled(history_.CanRedo());
    btn_undo->setToolTip(
        history_.CanUndo() ? QStringLiteral("Undo %1 (Ctrl+Z)").arg(history_.UndoReason().toLower())
                           : QStringLiteral("Nothing to undo"));
    btn_redo->setToolTip(
        history_.CanRedo()
            ? QStringLiteral("Redo %1 (Ctrl+Shift+Z)").arg(history_.RedoReason().toLower())
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

void Tfm_stretch::StretchChangedElsewhere() {
    if (committing_ || !host_.HasRow()) return;
    const Stretch now{host_.StartPos(), host_.EndPos()};
    if (now == stretch_) return;
    // The main window's bars change the same stretch: their changes are undone here as well.
    history_.Record(stretch_, now, QStringLiteral("Changed elsewhere"));
    ShowStretch();
}

// ---- Changes ----

bool Tfm_stretch::Commit(const Stretch& next, const QString& reason) {
    committing_ = true;
    const bool taken = host_.SetStretch(next.begin, next.end, reason);
    committing_ = false;
    ShowStretch();  // what the program holds now, taken or not
    return taken;
}

void Tfm_stretch::Change(const Stretch& next, const QString& reason) {
    const Stretch before = stretch_;
    if (Commit(next, reason)) history_.Record(before, stretch_, reason);
    ShowStretch();
}

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
    if (begin >= stretch_.end) {
        ShowStretch();
        return Refuse(true);
    }
    waveform->SelectHandle(WaveformView::Handle::Begin);
    Change({begin, stretch_.end}, QStringLiteral("Begin typed"));
}

void Tfm_stretch::EndTyped() {
    if (!edt_end->isModified() || !host_.HasRow()) return;
    int64_t end = 0;
    if (!Typed(edt_end, end)) return;
    if (end <= stretch_.begin) {
        ShowStretch();
        return Refuse(false);
    }
    waveform->SelectHandle(WaveformView::Handle::End);
    Change({stretch_.begin, end}, QStringLiteral("End typed"));
}

void Tfm_stretch::LengthTyped() {
    if (!edt_length->isModified() || !host_.HasRow()) return;
    int64_t length = 0;
    if (!Typed(edt_length, length)) return;
    const int64_t end = std::min(stretch_.begin + length, host_.LengthPos());
    if (end <= stretch_.begin) {
        ShowStretch();
        return Refuse(false);
    }
    waveform->SelectHandle(WaveformView::Handle::End);
    Change({stretch_.begin, end}, QStringLiteral("Length typed"));
}

int64_t Tfm_stretch::StepFrames() const {
    const int rate = host_.HasRow() ? host_.SampleRate() : 0;
    switch (cb_step->currentIndex()) {
        case TenMs:
            return std::max<int64_t>(1, MicrosToPosition(10'000, rate));
        case HundredMs:
            return std::max<int64_t>(1, MicrosToPosition(100'000, rate));
        case OneSecond:
            return std::max<int64_t>(1, rate);
        default:
            return 1;
    }
}

void Tfm_stretch::Nudge(int steps, bool held) {
    if (!host_.HasRow()) return;
    const int64_t length = host_.LengthPos();
    const int64_t delta = steps * StepFrames();
    const bool begin = waveform->SelectedHandle() == WaveformView::Handle::Begin;
    Stretch next = stretch_;
    // Past the start or the end of the file the handle stops there.
    int64_t& moved = begin ? next.begin : next.end;
    moved = std::clamp<int64_t>(moved + delta, 0, length);
    if (next == stretch_) return;
    if (next.begin >= next.end) return Refuse(begin);
    const QString reason = begin ? QStringLiteral("Begin moved") : QStringLiteral("End moved");
    if (!held) return Change(next, reason);
    const Stretch before = stretch_;
    if (Commit(next, reason)) history_.ExtendLast(before, stretch_, reason);
    ShowStretch();
}

// ---- Play head and playback ----

void Tfm_stretch::PlayPause() {
    if (!host_.HasRow()) return;
    if (host_.IsPlaying())
        host_.Pause();
    else
        host_.Play();
    ShowPlayback();
}

void Tfm_stretch::MarkBegin() {
    if (!host_.HasRow()) return;
    const int64_t head = host_.PlayHeadPos();
    if (head >= stretch_.end) return Refuse(true);
    waveform->SelectHandle(WaveformView::Handle::Begin);
    Change({head, stretch_.end}, QStringLiteral("Begin at play head"));
}

void Tfm_stretch::MarkEnd() {
    if (!host_.HasRow()) return;
    const int64_t head = host_.PlayHeadPos();
    if (head <= stretch_.begin) return Refuse(false);
    waveform->SelectHandle(WaveformView::Handle::End);
    Change({stretch_.begin, head}, QStringLiteral("End at play head"));
}

void Tfm_stretch::PlayHeadToBegin() {
    if (!host_.HasRow()) return;
    host_.SetPlayHead(stretch_.begin);
    ShowPlayback();
}

void Tfm_stretch::PlayHeadToEnd() {
    if (!host_.HasRow()) return;
    host_.SetPlayHead(stretch_.end);
    ShowPlayback();
}

void Tfm_stretch::PlayAround() {
    if (!host_.HasRow()) return;
    const int rate = host_.SampleRate();
    const int64_t at =
        waveform->SelectedHandle() == WaveformView::Handle::Begin ? stretch_.begin : stretch_.end;
    const int64_t from = std::max<int64_t>(0, at - MicrosToPosition(PreRollMs() * 1000LL, rate));
    const int64_t to =
        std::min(host_.LengthPos(), at + MicrosToPosition(PostRollMs() * 1000LL, rate));
    if (to <= from) return;
    host_.PlayRange(from, to);
    ShowPlayback();
}

void Tfm_stretch::SetPreRollMs(int ms) { ud_preroll->setValue(ms / 1000.0); }

void Tfm_stretch::SetPostRollMs(int ms) { ud_postroll->setValue(ms / 1000.0); }

int Tfm_stretch::PreRollMs() const {
    return static_cast<int>(std::lround(ud_preroll->value() * 1000));
}

int Tfm_stretch::PostRollMs() const {
    return static_cast<int>(std::lround(ud_postroll->value() * 1000));
}

// ---- Undo ----

void Tfm_stretch::Undo() {
    if (!host_.HasRow()) return;
    const std::optional<Stretch> back = history_.Undo();
    if (!back) return;
    if (!Commit(*back, QStringLiteral("Undo"))) history_.Redo();
    ShowStretch();
}

void Tfm_stretch::Redo() {
    if (!host_.HasRow()) return;
    const std::optional<Stretch> forward = history_.Redo();
    if (!forward) return;
    if (!Commit(*forward, QStringLiteral("Redo"))) history_.Undo();
    ShowStretch();
}

}  // namespace quillet
