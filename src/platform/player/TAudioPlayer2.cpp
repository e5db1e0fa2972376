#include "platform/player/TAudioPlayer2.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QMediaDevices>
#include <algorithm>
#include <limits>

#include "platform/audio/AudioError.h"
#include "platform/player/PlayerStream.h"

namespace quillet {

namespace {

constexpr int kTimerMs = 50;
// What the sound server buffers ahead of the speaker: short, so that Stop is heard at once.
constexpr int kDeviceBufferMs = 100;
// Below this much queued audio the player asks for more than the one array per array played.
constexpr int kLowWaterMs = 80;
// A caller that leaves a request unanswered this long is asked again.
constexpr int kStarvedTicksBeforeAskingAgain = 10;

QString NoDeviceText() {
    return QStringLiteral("There is no audio output device: sound cannot be played.");
}

}  // namespace

TAudioPlayer2::TAudioPlayer2(QObject* parent)
    : QObject(parent), stream_(std::make_unique<PlayerStream>()) {
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, &TAudioPlayer2::Tick);
    stream_->onBlockHanded = [this] { AskForData(&TAudioPlayer2::OnEndArrayPlay); };
    stream_->onStarved = [this] { RequestIfLow(); };
}

TAudioPlayer2::~TAudioPlayer2() {
    StopOutput();
    DeleteRetired();
}

void TAudioPlayer2::SetFormat(int sampleRate, int channels) {
    if (sampleRate <= 0 || channels <= 0)
        throw AudioError(QStringLiteral("Audio with %1 Hz and %2 channels cannot be played.")
                             .arg(sampleRate)
                             .arg(channels));
    sampleRate_ = sampleRate;
    channels_ = channels;
}

void TAudioPlayer2::Play() {
    StopOutput();  // a Play while playing starts over
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) throw AudioError(NoDeviceText());
    QAudioFormat format;
    format.setSampleRate(sampleRate_);
    format.setChannelCount(channels_);
    format.setSampleFormat(QAudioFormat::Float);
    if (!device.isFormatSupported(format))
        throw AudioError(
            QStringLiteral("The audio output device \"%1\" cannot play %2 Hz with %3 channels.")
                .arg(device.description())
                .arg(sampleRate_)
                .arg(channels_));

    stream_->Reset(format.bytesPerFrame(), channels_);
    auto sink = std::make_unique<QAudioSink>(device, format);
    // Whole 20 ms periods, the unit in which the sink pulls.
    const qint64 periodBytes = qint64{sampleRate_} * 20 / 1000 * format.bytesPerFrame();
    sink->setBufferSize(periodBytes * (kDeviceBufferMs / 20));
    sink->start(stream_.get());
    if (sink->state() == QAudio::StoppedState || sink->error() == QAudio::OpenError ||
        sink->error() == QAudio::FatalError) {
        Retire(std::move(sink));
        throw AudioError(NoDeviceText());
    }
    connect(sink.get(), &QAudioSink::stateChanged, this, &TAudioPlayer2::SinkStateChanged);
    sink_ = std::move(sink);
    ++run_;
    playing_ = true;
    unanswered_ = 0;
    starvedTicks_ = 0;
    timer_.start();
}

void TAudioPlayer2::QueueSamples(const SampleArray& samples) {
    if (!playing_) return;  // nothing to play into: Stop dropped the queue
    if (unanswered_ > 0) --unanswered_;
    stream_->Append(samples.Data(), samples.ByteCount());
}

void TAudioPlayer2::Stop() { StopOutput(); }

void TAudioPlayer2::StopOutput() {
    ++run_;
    playing_ = false;
    timer_.stop();
    unanswered_ = 0;
    if (sink_) {
        disconnect(sink_.get(), nullptr, this, nullptr);
        sink_->stop();
        Retire(std::move(sink_));
    }
    stream_->Reset(channels_ * 4, channels_);
}

void TAudioPlayer2::Retire(std::unique_ptr<QAudioSink> sink) {
    retired_.push_back(std::move(sink));
    QMetaObject::invokeMethod(this, &TAudioPlayer2::DeleteRetired, Qt::QueuedConnection);
}

void TAudioPlayer2::DeleteRetired() {
    // Taken out first: the destructors may process events that retire further sinks.
    auto doomed = std::move(retired_);
    retired_.clear();
    doomed.clear();
}

void TAudioPlayer2::Tick() {
    if (!playing_ || !sink_) return;
    const int64_t handed = stream_->FramesHanded();
    const int64_t heard = sink_->processedUSecs() * sampleRate_ / 1000000;
    // Silence that follows the end counts for nothing.
    const int64_t current = std::min(heard, handed);
    int left = 0;
    int right = 0;
    stream_->TakeLevels(heard, left, right);
    const uint64_t run = run_;
    emit OnTimer(static_cast<int>(std::min<int64_t>(current, std::numeric_limits<int>::max())),
                 left, right);
    if (run != run_) return;  // the handler stopped or restarted playback
    if (stream_->Drained() && heard >= handed) {
        Finish();
        return;
    }
    if (stream_->Starved() && unanswered_ > 0 &&
        ++starvedTicks_ >= kStarvedTicksBeforeAskingAgain) {
        unanswered_ = 0;
        starvedTicks_ = 0;
    }
    if (!stream_->Starved()) starvedTicks_ = 0;
    RequestIfLow();
}

void TAudioPlayer2::Finish() {
    StopOutput();
    emit OnEndPlay();
}

void TAudioPlayer2::AskForData(void (TAudioPlayer2::*event)()) {
    ++unanswered_;
    const uint64_t run = run_;
    QMetaObject::invokeMethod(
        this,
        [this, run, event] {
            if (run == run_ && playing_) emit(this->*event)();
        },
        Qt::QueuedConnection);
}

void TAudioPlayer2::RequestIfLow() {
    if (!playing_ || unanswered_ > 0 || stream_->EndOfSource()) return;
    if (stream_->FramesQueued() * 1000 >= qint64{kLowWaterMs} * sampleRate_) return;
    AskForData(&TAudioPlayer2::OnRequestOnLoadArray);
}

void TAudioPlayer2::SinkStateChanged(QAudio::State state) {
    // IdleState means the queue ran dry for a moment or the server underran: more is coming,
    // so it ends nothing. A stop with an error means the device went away.
    if (state != QAudio::StoppedState || !sink_ || sink_->error() == QAudio::NoError) return;
    const uint64_t run = run_;
    QMetaObject::invokeMethod(
        this,
        [this, run] {
            if (run == run_ && playing_) Finish();
        },
        Qt::QueuedConnection);
}

}  // namespace quillet
