// The player against a real sound server (the PulseAudio null sink the test script starts),
// driven the way the program drives it: Play first, two arrays at once, one more per request.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTimer>
#include <cmath>
#include <cstring>
#include <vector>

#include "platform/audio/AudioError.h"
#include "platform/player/TAudioPlayer2.h"

namespace quillet {
namespace {

constexpr int kBlock = 4410;
constexpr float kAmplitude = 0.5f;

std::vector<float> Sine(int frames, int rate, int channels) {
    std::vector<float> samples(static_cast<size_t>(frames) * channels);
    for (int i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            samples[static_cast<size_t>(i) * channels + c] =
                kAmplitude * static_cast<float>(std::sin(2 * M_PI * 440.0 * i / rate));
    return samples;
}

// Plays a source the way the program does and records what the player reports.
class Listener : public QObject {
  public:
    Listener(TAudioPlayer2& player, int frames, int rate, int channels)
        : player_(player), source_(Sine(frames, rate, channels)), channels_(channels) {
        connect(&player, &TAudioPlayer2::OnRequestOnLoadArray, this, [this] {
            CheckNotInsideACall();
            ++requests;
            if (answer) Answer();
        });
        connect(&player, &TAudioPlayer2::OnEndArrayPlay, this, [this] {
            CheckNotInsideACall();
            ++endArrays;
            if (answer) Answer();
        });
        connect(&player, &TAudioPlayer2::OnTimer, this, [this](int current, int left, int right) {
            CheckNotInsideACall();
            currents.push_back(current);
            maxLeft = std::max(maxLeft, left);
            maxRight = std::max(maxRight, right);
            if (onTimer) onTimer(current);
        });
        connect(&player, &TAudioPlayer2::OnEndPlay, this, [this] {
            CheckNotInsideACall();
            ++endPlays;
            if (loop_) loop_->quit();
        });
    }

    // Play, then two arrays at once, as a fresh start does.
    void Start(int fromFrame = 0) {
        position_ = fromFrame;
        Call([&] { player_.Play(); });
        QueueNext();
        QueueNext();
    }

    // Reads the next array (empty at the end) and queues it.
    void QueueNext() {
        const int total = static_cast<int>(source_.size()) / channels_;
        const int count = std::max(0, std::min(kBlock, total - position_));
        std::vector<uint8_t> bytes(static_cast<size_t>(count) * channels_ * sizeof(float));
        if (count > 0)
            std::memcpy(bytes.data(), source_.data() + static_cast<size_t>(position_) * channels_,
                        bytes.size());
        position_ += count;
        ++queued;
        if (count > 0) ++queuedWithData;
        maxInFlight = std::max(maxInFlight, queuedWithData - endArrays);
        Call([&] { player_.QueueSamples(SampleArray(std::move(bytes))); });
    }

    void Answer() {
        if (answerDelayMs == 0) {
            QueueNext();
        } else {
            QTimer::singleShot(answerDelayMs, this, [this] { QueueNext(); });
        }
    }

    // Runs the event loop until OnEndPlay or the guard time (a hang guard, not a measurement).
    bool WaitForEnd(int guardMs = 20000) {
        if (endPlays > 0) return true;
        QEventLoop loop;
        loop_ = &loop;
        QTimer::singleShot(guardMs, &loop, &QEventLoop::quit);
        loop.exec();
        loop_ = nullptr;
        return endPlays > 0;
    }

    template <typename F>
    void Call(F&& f) {
        inside_ = true;
        try {
            f();
        } catch (...) {
            inside_ = false;
            throw;
        }
        inside_ = false;
    }

    int requests = 0;
    int endArrays = 0;
    int endPlays = 0;
    int queued = 0;
    int queuedWithData = 0;
    int maxInFlight = 0;
    int maxLeft = 0;
    int maxRight = 0;
    bool answer = true;
    int answerDelayMs = 0;
    bool eventInsideCall = false;
    std::vector<int> currents;
    std::function<void(int)> onTimer;

  private:
    void CheckNotInsideACall() {
        if (inside_) eventInsideCall = true;
    }

    TAudioPlayer2& player_;
    std::vector<float> source_;
    int channels_;
    int position_ = 0;
    bool inside_ = false;
    QEventLoop* loop_ = nullptr;
};

void Pump(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

bool NonDecreasing(const std::vector<int>& v) { return std::is_sorted(v.begin(), v.end()); }

struct PlayCase {
    int rate;
    int channels;
    double seconds;
};

class AudioPlayerFormats : public ::testing::TestWithParam<PlayCase> {};

TEST_P(AudioPlayerFormats, PlaysTheWholeStreamInRealTimeAndEndsOnce) {
    const PlayCase c = GetParam();
    const int frames = static_cast<int>(c.rate * c.seconds);
    TAudioPlayer2 player;
    Listener listener(player, frames, c.rate, c.channels);
    player.SetFormat(c.rate, c.channels);
    QElapsedTimer clock;
    clock.start();
    ASSERT_NO_THROW(listener.Start());
    ASSERT_TRUE(listener.WaitForEnd()) << "no OnEndPlay";
    const qint64 elapsedMs = clock.elapsed();
    Pump(300);  // nothing may follow the end

    EXPECT_EQ(listener.endPlays, 1);
    EXPECT_FALSE(listener.eventInsideCall) << "an event came from inside Play or QueueSamples";
    ASSERT_GE(listener.currents.size(), 3u);
    EXPECT_TRUE(NonDecreasing(listener.currents));
    EXPECT_NEAR(listener.currents.back(), frames, frames / 10);
    // Played through the device, not dumped: the stream takes its own duration to be heard.
    EXPECT_GE(elapsedMs, c.seconds * 1000 * 0.9);
    // Every array with audio was handed on. The player keeps a few tenths of a second queued,
    // so that the window's thread may be away that long, and no more than that and an array.
    EXPECT_EQ(listener.endArrays, (frames + kBlock - 1) / kBlock);
    EXPECT_GE(listener.maxInFlight * kBlock, c.rate * 3 / 10);
    EXPECT_LE(listener.maxInFlight * kBlock, c.rate * 4 / 10 + 2 * kBlock);
    // A sine of amplitude 0.5 peaks at half scale on both meters.
    EXPECT_NEAR(listener.maxLeft, 16384, 400);
    EXPECT_NEAR(listener.maxRight, 16384, 400);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioPlayerFormats,
                         ::testing::Values(PlayCase{44100, 2, 1.0}, PlayCase{22050, 1, 0.6},
                                           PlayCase{48000, 2, 0.5}, PlayCase{96000, 2, 0.5},
                                           PlayCase{8000, 1, 0.6}),
                         [](const auto& info) {
                             return std::to_string(info.param.rate) + "Hz_" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST(AudioPlayer, SoundReallyReachesTheServer) {
    QProcess recorder;
    recorder.start("parec", {"-d", "quillet_null.monitor", "--raw", "--format=float32le",
                             "--rate=44100", "--channels=2", "--latency-msec=20"});
    ASSERT_TRUE(recorder.waitForStarted(5000));
    TAudioPlayer2 player;
    Listener listener(player, 44100, 44100, 2);
    player.SetFormat(44100, 2);
    listener.Start();
    ASSERT_TRUE(listener.WaitForEnd());
    Pump(200);
    recorder.terminate();
    recorder.waitForFinished(5000);
    const QByteArray raw = recorder.readAllStandardOutput();
    std::vector<float> recorded(static_cast<size_t>(raw.size()) / sizeof(float));
    std::memcpy(recorded.data(), raw.constData(), recorded.size() * sizeof(float));
    size_t loud = 0;
    float peak = 0;
    for (float s : recorded) {
        peak = std::max(peak, std::fabs(s));
        if (std::fabs(s) > 0.1f) ++loud;
    }
    EXPECT_GT(peak, 0.45f);
    // About two thirds of a sine's samples exceed a fifth of its peak; a second of stereo.
    EXPECT_GT(loud, 44100u);
}

TEST(AudioPlayer, StopDropsTheQueueAndPlayStartsAgainFromZero) {
    const int frames = 44100 * 4;
    TAudioPlayer2 player;
    Listener listener(player, frames, 44100, 2);
    player.SetFormat(44100, 2);
    int currentAtStop = -1;
    listener.onTimer = [&](int current) {
        if (current >= 44100 / 4 && currentAtStop < 0) {
            currentAtStop = current;
            listener.Call([&] { player.Stop(); });  // as the program pauses from a timer event
        }
    };
    listener.Start();
    QElapsedTimer guard;
    guard.start();
    while (currentAtStop < 0 && guard.elapsed() < 20000) Pump(20);
    ASSERT_GE(currentAtStop, 0) << "playback never advanced";
    const int events = listener.requests + listener.endArrays + listener.endPlays;
    const size_t timers = listener.currents.size();
    Pump(400);
    EXPECT_EQ(listener.requests + listener.endArrays + listener.endPlays, events)
        << "events after Stop";
    EXPECT_EQ(listener.currents.size(), timers) << "OnTimer after Stop";

    // Queueing while stopped is ignored; a new Play starts clean, counting from 0.
    listener.QueueNext();
    listener.onTimer = nullptr;
    listener.currents.clear();
    const int rest = frames - 44100 * 3;
    listener.Start(44100 * 3);
    ASSERT_TRUE(listener.WaitForEnd());
    ASSERT_FALSE(listener.currents.empty());
    EXPECT_LT(listener.currents.front(), currentAtStop);
    EXPECT_TRUE(NonDecreasing(listener.currents));
    EXPECT_NEAR(listener.currents.back(), rest, rest / 10);
    EXPECT_EQ(listener.endPlays, 1);
    EXPECT_FALSE(listener.eventInsideCall);
}

TEST(AudioPlayer, PlayWhilePlayingStartsOverAndStopFromOutsideIsSilent) {
    TAudioPlayer2 player;
    Listener listener(player, 44100 * 3, 44100, 2);
    player.SetFormat(44100, 2);
    listener.Start();
    Pump(600);
    listener.currents.clear();
    listener.Start();  // Play again without Stop
    Pump(300);
    ASSERT_FALSE(listener.currents.empty());
    EXPECT_LT(listener.currents.front(), 44100 / 2);
    listener.Call([&] { player.Stop(); });
    const size_t timers = listener.currents.size();
    const int endArrays = listener.endArrays;
    Pump(300);
    EXPECT_EQ(listener.currents.size(), timers);
    EXPECT_EQ(listener.endArrays, endArrays);
    EXPECT_EQ(listener.endPlays, 0);
    player.Stop();  // a second Stop does nothing
    EXPECT_FALSE(listener.eventInsideCall);
}

TEST(AudioPlayer, LateAnswersDoNotEndPlaybackEarly) {
    const int frames = 44100;
    TAudioPlayer2 player;
    Listener listener(player, frames, 44100, 2);
    listener.answerDelayMs = 350;  // longer than what is queued: the device runs dry
    player.SetFormat(44100, 2);
    listener.Start();
    ASSERT_TRUE(listener.WaitForEnd(30000));
    Pump(200);
    EXPECT_EQ(listener.endPlays, 1);
    EXPECT_TRUE(NonDecreasing(listener.currents));
    EXPECT_EQ(listener.currents.back(), frames);
    EXPECT_EQ(listener.endArrays, (frames + kBlock - 1) / kBlock);
}

TEST(AudioPlayer, AsksForDataWhenNothingIsQueued) {
    TAudioPlayer2 player;
    Listener listener(player, 44100 / 2, 44100, 2);
    player.SetFormat(44100, 2);
    listener.Call([&] { player.Play(); });  // no arrays after Play
    ASSERT_TRUE(listener.WaitForEnd());
    EXPECT_GE(listener.requests, 1);
    EXPECT_EQ(listener.currents.back(), 44100 / 2);
    EXPECT_FALSE(listener.eventInsideCall);
}

TEST(AudioPlayer, EmptySourceEndsAtOnce) {
    TAudioPlayer2 player;
    Listener listener(player, 0, 44100, 2);
    player.SetFormat(44100, 2);
    listener.Start();
    ASSERT_TRUE(listener.WaitForEnd());
    EXPECT_EQ(listener.endPlays, 1);
    EXPECT_EQ(listener.endArrays, 0);
    EXPECT_EQ(listener.currents.back(), 0);
}

TEST(AudioPlayer, RejectsANonsenseFormat) {
    TAudioPlayer2 player;
    EXPECT_THROW(player.SetFormat(0, 2), AudioError);
    EXPECT_THROW(player.SetFormat(44100, 0), AudioError);
    // Beyond what any sound server takes: Play says so instead of playing noise.
    player.SetFormat(4000000, 2);
    try {
        player.Play();
        ADD_FAILURE() << "Play accepted 4 MHz";
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("cannot play 4000000 Hz")) << e.what();
    }
}

// Runs in a child process whose sound server does not exist (see the next test).
TEST(AudioPlayerNoDevice, PlayRaisesAReadableError) {
    if (qEnvironmentVariableIsEmpty("QUILLET_PLAYER_CHILD")) GTEST_SKIP() << "child only";
    TAudioPlayer2 player;
    player.SetFormat(44100, 2);
    try {
        player.Play();
        FAIL() << "Play succeeded without a sound server";
    } catch (const AudioError& e) {
        EXPECT_TRUE(QString::fromUtf8(e.what()).contains("no audio output device")) << e.what();
    }
    player.QueueSamples(SampleArray(std::vector<uint8_t>(8 * 100)));
    player.Stop();
}

TEST(AudioPlayer, WithoutASoundServerPlaySaysThereIsNoDevice) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PULSE_SERVER", "unix:/nonexistent/quillet/native");
    env.insert("QUILLET_PLAYER_CHILD", "1");
    QProcess child;
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=AudioPlayerNoDevice.PlayRaisesAReadableError"});
    ASSERT_TRUE(child.waitForFinished(60000));
    const QString out =
        QString::fromUtf8(child.readAllStandardOutput() + child.readAllStandardError());
    EXPECT_EQ(child.exitCode(), 0) << out.toStdString();
    EXPECT_TRUE(out.contains("[  PASSED  ] 1 test")) << out.toStdString();
    EXPECT_FALSE(out.contains("SKIPPED")) << out.toStdString();
}

}  // namespace
}  // namespace quillet
