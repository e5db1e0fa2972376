#include "platform/player/TAudioPlayer2.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QCoreApplication>
#include <QEvent>
#include <QMediaDevices>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <vector>

#include "platform/audio/AudioError.h"
#include "platform/player/PlayerStream.h"

namespace quillet {

namespace {

constexpr int kTimerMs = 50;
// How often the sound thread notes the position heard, for the window's timer to read.
constexpr int kPositionMs = 5;
// The niceness of the sound thread: that of the sound server.
constexpr int kSoundNice = -11;
// What the sound server buffers ahead of the speaker: room for the sound thread to be late on
// a loaded machine. A stop drops it, so that Stop is still heard at once.
constexpr int kDeviceBufferMs = 200;
// Below this much queued audio the player asks for more than the one array per array played:
// enough that the window's thread may be away for a good while (a dialog opening, a loaded
// machine) before the device runs dry.
constexpr int kLowWaterMs = 400;
// A caller that leaves a request unanswered this long is asked again.
constexpr int kStarvedTicksBeforeAskingAgain = 10;

QString NoDeviceText() {
    return QStringLiteral("There is no audio output device: sound cannot be played.");
}

// Events that carry nothing: the state they announce is read under a lock.
QEvent::Type CommandEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}
QEvent::Type ServiceEvent() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

// The sink and what it needs, on the sound thread. The window's thread hands it commands, which
// run there in order; the sound thread reports back through the player's Service.
class TAudioPlayer2::Output : public QObject {
  public:
    Output(TAudioPlayer2& player, PlayerStream& stream) : player_(player), stream_(stream) {
        position_.setInterval(kPositionMs);
        connect(&position_, &QTimer::timeout, this, [this] { NotePosition(); });
        stream_.onChange = [this] { player_.PostService(); };
    }

    // Any thread.
    void Post(std::function<void()> command) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            commands_.push_back(std::move(command));
        }
        QCoreApplication::postEvent(this, new QEvent(CommandEvent()));
    }
    // The window's thread: runs command there and waits for it.
    void Run(std::function<void()> command) {
        bool done = false;
        Post([&] {
            command();
            const std::lock_guard<std::mutex> lock(mutex_);
            done = true;
            ran_.notify_all();
        });
        std::unique_lock<std::mutex> lock(mutex_);
        ran_.wait(lock, [&] { return done; });
    }

    // The sound thread, from here on.
    bool Start(const QAudioDevice& device, const QAudioFormat& format, qsizetype bufferBytes,
               uint64_t run) {
        StopSink();
        heard_.store(0);
        auto sink = std::make_unique<QAudioSink>(device, format);
        sink->setBufferSize(bufferBytes);
        sink->start(&stream_);
        if (sink->state() == QAudio::StoppedState || sink->error() == QAudio::OpenError ||
            sink->error() == QAudio::FatalError) {
            Retire(std::move(sink));
            return false;
        }
        connect(sink.get(), &QAudioSink::stateChanged, this,
                [this](QAudio::State state) { StateChanged(state); });
        sink_ = std::move(sink);
        rate_ = format.sampleRate();
        run_ = run;
        position_.start();
        return true;
    }
    void StopSink() {
        position_.stop();
        if (!sink_) return;
        disconnect(sink_.get(), nullptr, this, nullptr);
        sink_->stop();
        Retire(std::move(sink_));
    }
    // The device stopped pulling when it found nothing: there is more now.
    void WakeSink() { emit stream_.readyRead(); }
    void Shutdown() {
        StopSink();
        DeleteRetired();
    }

    // Any thread.
    int64_t Heard() const { return heard_.load(); }
    uint64_t LostRun() const { return lostRun_.load(); }

  protected:
    void customEvent(QEvent* event) override {
        if (event->type() != CommandEvent()) return;
        // One at a time: a sink's destructor handles events, and with them later commands.
        for (;;) {
            std::function<void()> command;
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                if (commands_.empty()) return;
                command = std::move(commands_.front());
                commands_.pop_front();
            }
            command();
        }
    }

  private:
    void NotePosition() {
        if (sink_) heard_.store(sink_->processedUSecs() * rate_ / 1000000);
    }
    void StateChanged(QAudio::State state) {
        // IdleState means the queue ran dry for a moment or the server underran: more is coming,
        // so it ends nothing. A stop with an error means the device went away.
        if (state != QAudio::StoppedState || !sink_ || sink_->error() == QAudio::NoError) return;
        lostRun_.store(run_);
        player_.PostService();
    }
    // Stopped sinks are deleted from the event loop: a sink's destructor processes events,
    // which must not happen inside a command.
    void Retire(std::unique_ptr<QAudioSink> sink) {
        retired_.push_back(std::move(sink));
        QMetaObject::invokeMethod(
            this, [this] { DeleteRetired(); }, Qt::QueuedConnection);
    }
    void DeleteRetired() {
        // Taken out first: the destructors may process events that retire further sinks.
        auto doomed = std::move(retired_);
        retired_.clear();
        doomed.clear();
    }

    TAudioPlayer2& player_;
    PlayerStream& stream_;
    std::mutex mutex_;
    std::condition_variable ran_;
    std::deque<std::function<void()>> commands_;
    std::unique_ptr<QAudioSink> sink_;
    std::vector<std::unique_ptr<QAudioSink>> retired_;
    QTimer position_{this};
    int rate_ = 44100;
    uint64_t run_ = 0;
    std::atomic<int64_t> heard_{0};
    std::atomic<uint64_t> lostRun_{0};
};

TAudioPlayer2::TAudioPlayer2(QObject* parent)
    : QObject(parent), stream_(std::make_unique<PlayerStream>()) {
    soundThread_.setObjectName(QStringLiteral("quillet-sound"));
    output_ = std::make_unique<Output>(*this, *stream_);
    stream_->moveToThread(&soundThread_);
    output_->moveToThread(&soundThread_);
    soundThread_.start();
    // The device is fed from here: on a busy machine it is served before ordinary work, as the
    // sound server's own threads are. Where the system does not allow it, it stays as it is.
    output_->Post([] { ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kSoundNice); });
    timer_.setInterval(kTimerMs);
    connect(&timer_, &QTimer::timeout, this, &TAudioPlayer2::Tick);
}

TAudioPlayer2::~TAudioPlayer2() {
    StopOutput();
    Output& output = *output_;
    output.Run([&output] { output.Shutdown(); });
    soundThread_.quit();
    soundThread_.wait();
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
    // Whole 20 ms periods, the unit in which the sink pulls.
    const qint64 periodBytes = qint64{sampleRate_} * 20 / 1000 * format.bytesPerFrame();
    const uint64_t run = ++run_;
    bool started = false;
    Output& output = *output_;
    output.Run(
        [&] { started = output.Start(device, format, periodBytes * (kDeviceBufferMs / 20), run); });
    if (!started) throw AudioError(NoDeviceText());
    playing_ = true;
    unanswered_ = 0;
    starvedTicks_ = 0;
    arraysTold_ = 0;
    timer_.start();
}

void TAudioPlayer2::QueueSamples(const SampleArray& samples) {
    if (!playing_) return;  // nothing to play into: Stop dropped the queue
    if (unanswered_ > 0) --unanswered_;
    if (stream_->Append(samples.Data(), samples.ByteCount())) {
        Output& output = *output_;
        output.Post([&output] { output.WakeSink(); });
    }
    RequestIfLow();
}

void TAudioPlayer2::EndAfter(int64_t frames) { stream_->EndAfter(frames); }

void TAudioPlayer2::Stop() { StopOutput(); }

void TAudioPlayer2::StopOutput() {
    ++run_;
    playing_ = false;
    timer_.stop();
    unanswered_ = 0;
    // Nothing more reaches the device from now on; the sound thread closes it right away.
    stream_->Reset(channels_ * 4, channels_);
    Output& output = *output_;
    output.Post([&output] { output.StopSink(); });
}

void TAudioPlayer2::PostService() {
    if (servicePosted_.exchange(true)) return;
    QCoreApplication::postEvent(this, new QEvent(ServiceEvent()));
}

void TAudioPlayer2::customEvent(QEvent* event) {
    if (event->type() == ServiceEvent()) Service();
}

void TAudioPlayer2::Service() {
    servicePosted_.store(false);
    if (!playing_) return;
    if (output_->LostRun() == run_) {
        Finish();
        return;
    }
    const uint64_t run = run_;
    // One event per array played, as the arrays were queued.
    const int64_t played = stream_->BlocksHanded();
    while (arraysTold_ < played) {
        ++arraysTold_;
        ++unanswered_;
        emit OnEndArrayPlay();
        if (run != run_) return;  // the handler stopped or restarted playback
    }
    RequestIfLow();
}

void TAudioPlayer2::Tick() {
    if (!playing_) return;
    const int64_t handed = stream_->FramesHanded();
    const int64_t heard = output_->Heard();
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
    const bool starved = stream_->Starved();
    if (starved && unanswered_ > 0 && ++starvedTicks_ >= kStarvedTicksBeforeAskingAgain) {
        unanswered_ = 0;
        starvedTicks_ = 0;
    }
    if (!starved) starvedTicks_ = 0;
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

}  // namespace quillet
