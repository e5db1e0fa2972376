#include "editor/StretchCommands.h"

#include <algorithm>

#include "editor/SegmentEdit.h"
#include "editor/StretchEditorHost.h"
#include "editor/TypedTime.h"
#include "settings/SettingsKeys.h"

namespace quillet {

StretchCommands::StretchCommands(StretchEditorHost& host, QObject* parent)
    : QObject(parent), host_(host) {
    connect(&host_, &StretchEditorHost::RowChanged, this, &StretchCommands::LoadRow);
    connect(&host_, &StretchEditorHost::StretchChanged, this,
            &StretchCommands::StretchChangedElsewhere);
    if (host_.HasRow()) stretch_ = {host_.StartPos(), host_.EndPos()};
}

void StretchCommands::LoadRow() {
    history_.Clear();
    stretch_ = host_.HasRow() ? Stretch{host_.StartPos(), host_.EndPos()} : Stretch{};
    emit RowLoaded();
}

void StretchCommands::Sync() {
    if (host_.HasRow()) stretch_ = {host_.StartPos(), host_.EndPos()};
    emit StretchShown();
}

void StretchCommands::StretchChangedElsewhere() {
    if (committing_ || !host_.HasRow()) return;
    const Stretch now{host_.StartPos(), host_.EndPos()};
    if (now == stretch_) return;
    // The main window's bars change the same stretch: their changes are undone here as well.
    history_.Record(stretch_, now, QStringLiteral("Changed elsewhere"));
    Sync();
}

// ---- Settings ----

void StretchCommands::SelectHandle(Handle handle) {
    if (handle == handle_) return;
    handle_ = handle;
    emit HandleChanged();
}

int StretchCommands::StepIndex() const {
    const SettingsFile* s = Settings();
    const int step = s ? ReadInteger(*s, keys::StretchStep) : step_;
    // A hand-edited index outside the list is the default.
    return step >= 0 && step < StepCount ? step : keys::StretchStep.use;
}

void StretchCommands::SetStepIndex(int step) {
    if (step < 0 || step >= StepCount || step == StepIndex()) return;
    step_ = step;
    if (SettingsFile* s = Settings()) WriteInteger(*s, keys::StretchStep, step);
    emit StepChanged();
}

int64_t StretchCommands::StepFrames() const {
    const int rate = host_.HasRow() ? host_.SampleRate() : 0;
    switch (StepIndex()) {
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

namespace {

int Roll(const SettingsFile* s, const NumberKey& key, int kept) {
    const int ms = s ? ReadInteger(*s, key) : kept;
    return ms >= 0 && ms <= StretchCommands::kMaxRollMs ? ms : key.use;
}

}  // namespace

int StretchCommands::PreRollMs() const {
    return Roll(Settings(), keys::StretchPreRoll, preRollMs_);
}

int StretchCommands::PostRollMs() const {
    return Roll(Settings(), keys::StretchPostRoll, postRollMs_);
}

void StretchCommands::SetPreRollMs(int ms) {
    ms = std::clamp(ms, 0, kMaxRollMs);
    if (ms == PreRollMs()) return;
    preRollMs_ = ms;
    if (SettingsFile* s = Settings()) WriteInteger(*s, keys::StretchPreRoll, ms);
    emit RollsChanged();
}

void StretchCommands::SetPostRollMs(int ms) {
    ms = std::clamp(ms, 0, kMaxRollMs);
    if (ms == PostRollMs()) return;
    postRollMs_ = ms;
    if (SettingsFile* s = Settings()) WriteInteger(*s, keys::StretchPostRoll, ms);
    emit RollsChanged();
}

// ---- Changes ----

bool StretchCommands::Commit(const Stretch& next, const QString& reason) {
    committing_ = true;
    const bool taken = host_.SetStretch(next.begin, next.end, reason);
    committing_ = false;
    // What the program holds now, taken or not.
    if (host_.HasRow()) stretch_ = {host_.StartPos(), host_.EndPos()};
    return taken;
}

void StretchCommands::Change(const Stretch& next, const QString& reason) {
    const Stretch before = stretch_;
    if (Commit(next, reason)) history_.Record(before, stretch_, reason);
    Sync();
}

void StretchCommands::Refuse(bool begin) {
    if (inform_) inform_(QString::fromLatin1(begin ? kBeginRefused : kEndRefused));
}

void StretchCommands::Nudge(int steps, bool held) {
    if (!host_.HasRow()) return;
    const int64_t delta = steps * StepFrames();
    const bool begin = handle_ == Handle::Begin;
    Stretch next = stretch_;
    // Past the start or the end of the file the handle stops there.
    int64_t& moved = begin ? next.begin : next.end;
    moved = std::clamp<int64_t>(moved + delta, 0, host_.LengthPos());
    if (next == stretch_) return;
    if (next.begin >= next.end) return Refuse(begin);
    const QString reason = begin ? QStringLiteral("Begin moved") : QStringLiteral("End moved");
    if (!held) return Change(next, reason);
    const Stretch before = stretch_;
    if (Commit(next, reason)) history_.ExtendLast(before, stretch_, reason);
    Sync();
}

void StretchCommands::Undo() {
    if (!host_.HasRow()) return;
    const std::optional<Stretch> back = history_.Undo();
    if (!back) return;
    if (!Commit(*back, QStringLiteral("Undo"))) history_.Redo();
    Sync();
}

void StretchCommands::Redo() {
    if (!host_.HasRow()) return;
    const std::optional<Stretch> forward = history_.Redo();
    if (!forward) return;
    if (!Commit(*forward, QStringLiteral("Redo"))) history_.Undo();
    Sync();
}

// ---- Play head and playback ----

void StretchCommands::PlayPause() {
    if (!host_.HasRow()) return;
    if (host_.IsPlaying())
        host_.Pause();
    else
        host_.Play();
}

void StretchCommands::MarkBegin() {
    if (!host_.HasRow()) return;
    const int64_t head = host_.PlayHeadPos();
    if (head >= stretch_.end) return Refuse(true);
    SelectHandle(Handle::Begin);
    Change({head, stretch_.end}, QStringLiteral("Begin at play head"));
}

void StretchCommands::MarkEnd() {
    if (!host_.HasRow()) return;
    const int64_t head = host_.PlayHeadPos();
    if (head <= stretch_.begin) return Refuse(false);
    SelectHandle(Handle::End);
    Change({stretch_.begin, head}, QStringLiteral("End at play head"));
}

void StretchCommands::PlayHeadToBegin() {
    if (host_.HasRow()) host_.SetPlayHead(stretch_.begin);
}

void StretchCommands::PlayHeadToEnd() {
    if (host_.HasRow()) host_.SetPlayHead(stretch_.end);
}

void StretchCommands::PlayAround() {
    if (!host_.HasRow()) return;
    const int rate = host_.SampleRate();
    const int64_t at = handle_ == Handle::Begin ? stretch_.begin : stretch_.end;
    const int64_t from = std::max<int64_t>(0, at - MicrosToPosition(PreRollMs() * 1000LL, rate));
    const int64_t to =
        std::min(host_.LengthPos(), at + MicrosToPosition(PostRollMs() * 1000LL, rate));
    if (to > from) host_.PlayRange(from, to);
}

}  // namespace quillet
