// What the sound server really plays while the window's thread stalls, recorded from the null
// sink's monitor: run it through scripts/test.sh, which starts the null sink.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QAction>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/Tfm_main.h"
#include "editor/PlaybackSession.h"
#include "platform/player/TAudioPlayer2.h"
#include "settings/SettingsFile.h"
#include "support/MainWindowFixture.h"
#include "support/Oracle.h"

namespace quillet {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRate = 44100;
constexpr int kFrames = kRate * 5 / 2;  // 2.5 s
constexpr int kStallMs = 200;

// Starts a program with its standard output on outFd; -1 if it cannot.
pid_t Spawn(std::vector<const char*> argv, int outFd) {
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::execvp(argv[0], const_cast<char* const*>(argv.data()));
        ::_exit(127);
    }
    return pid;
}

void End(pid_t pid) {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
}

// The null sink of scripts/test.sh, on the server this process would play to.
bool NullSinkPresent() {
    QProcess pactl;
    pactl.start(QStringLiteral("pactl"),
                {QStringLiteral("list"), QStringLiteral("short"), QStringLiteral("sinks")});
    if (!pactl.waitForFinished(10000) || pactl.exitCode() != 0) return false;
    return pactl.readAllStandardOutput().contains("quillet_null");
}

// parec on the null sink's monitor, read on a thread of the test's own: it goes on while the
// window's thread stalls, and notes when each piece of the recording arrived.
class Recorder {
  public:
    Recorder() {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0) return;
        pid_ = Spawn({"parec", "-d", "quillet_null.monitor", "--raw", "--format=float32le",
                      "--rate=44100", "--channels=2", "--latency-msec=5"},
                     fds[1]);
        ::close(fds[1]);
        if (pid_ < 0) {
            ::close(fds[0]);
            return;
        }
        fd_ = fds[0];
        reader_ = std::thread([this] { Read(); });
    }
    ~Recorder() { Stop(); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    bool Started() const { return fd_ >= 0; }
    // The first of the recording has arrived.
    bool Recording() const { return recording_.load(); }
    void Stop() {
        if (fd_ < 0) return;
        End(pid_);
        reader_.join();  // the pipe's end ends the reads
        ::close(fd_);
        fd_ = -1;
    }

    struct Arrival {
        int64_t frames;  // recorded so far
        Clock::time_point at;
    };
    std::vector<float> samples;  // interleaved stereo
    std::vector<Arrival> arrivals;

  private:
    void Read() {
        std::vector<char> bytes;
        char chunk[4096];
        for (;;) {
            const ssize_t n = ::read(fd_, chunk, sizeof chunk);
            if (n <= 0) break;
            const Clock::time_point now = Clock::now();
            bytes.insert(bytes.end(), chunk, chunk + n);
            arrivals.push_back({static_cast<int64_t>(bytes.size() / (2 * sizeof(float))), now});
            recording_.store(true);
        }
        samples.resize(bytes.size() / sizeof(float));
        std::memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    }

    pid_t pid_ = -1;
    int fd_ = -1;
    std::atomic<bool> recording_{false};
    std::thread reader_;
};

// One busy process per core for the span of a play.
class BusyCores {
  public:
    BusyCores() {
        const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
        for (long i = 0; i < cores; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                for (volatile unsigned long x = 0;; x = x + 1) {
                }
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyCores() {
        for (pid_t pid : pids_) ::kill(pid, SIGKILL);
        for (pid_t pid : pids_) ::waitpid(pid, nullptr, 0);
    }

  private:
    std::vector<pid_t> pids_;
};

struct Format {
    const char* name;
    QStringList codec;
};

class PlaybackRecordingTest : public test::MainWindowFixture,
                              public ::testing::WithParamInterface<Format> {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        RemoveSettings();
        Open();
    }
    // The 2.5 s tone in the format under test, as the list's only row.
    void AddTone(const Format& format) {
        const QString path = dir_.filePath(QStringLiteral("tone.%1").arg(format.name));
        test::MakeTone(path, kFrames, kRate, 2, format.codec);
        AddAll({path});
    }
    QTemporaryDir dir_;
};

// The longest run of silent frames between the first and the last sound, in frames.
int64_t LongestGap(const std::vector<float>& stereo, int64_t& first, int64_t& last) {
    const int64_t frames = static_cast<int64_t>(stereo.size() / 2);
    auto loud = [&](int64_t i) { return std::fabs(stereo[static_cast<size_t>(i) * 2]) > 0.01f; };
    first = 0;
    while (first < frames && !loud(first)) ++first;
    last = frames - 1;
    while (last > first && !loud(last)) --last;
    int64_t longest = 0;
    int64_t run = 0;
    for (int64_t i = first; i <= last; ++i) {
        const bool silent = std::fabs(stereo[static_cast<size_t>(i) * 2]) < 1e-4f &&
                            std::fabs(stereo[static_cast<size_t>(i) * 2 + 1]) < 1e-4f;
        run = silent ? run + 1 : 0;
        longest = std::max(longest, run);
    }
    return longest;
}

TEST_P(PlaybackRecordingTest, PlaysOnThroughAStallOfTheWindowOnABusyMachine) {
    if (!NullSinkPresent()) GTEST_SKIP() << "no sound server with the null sink of scripts/test.sh";
    const Format format = GetParam();
    AddTone(format);

    struct Shown {
        Clock::time_point at;
        int64_t head;  // the position the timer event put the head at
    };
    std::vector<Shown> shown;
    // After the window's own handler, as the user sees it.
    QObject::connect(W().AudioPlayer, &TAudioPlayer2::OnTimer, W().AudioPlayer,
                     [&](int current, int, int) {
                         shown.push_back({Clock::now(), current + P().OffsetPos()});
                     });

    Recorder recorder;
    ASSERT_TRUE(recorder.Started());
    // The null sink answers a new stream only after a second or so; the sound begins once the
    // recording has.
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.Recording(); }, 10000));
    QTest::qWait(200);
    int stallsWhilePlaying = 0;
    {
        const BusyCores busy;
        // Two stalls of the window's thread, while it plays.
        for (int at : {700, 1500})
            QTimer::singleShot(at, &W(), [&] {
                if (P().IsPlaying()) ++stallsWhilePlaying;
                std::this_thread::sleep_for(std::chrono::milliseconds(kStallMs));
            });
        W().Play1->trigger();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, 20000));
    }
    QTest::qWait(200);
    recorder.Stop();
    ASSERT_TRUE(prompts_->boxes.isEmpty()) << prompts_->boxes[0].toStdString();
    EXPECT_EQ(stallsWhilePlaying, 2);

    int64_t first = 0;
    int64_t last = 0;
    const int64_t gap = LongestGap(recorder.samples, first, last);
    EXPECT_LE(gap, kRate * 5 / 1000) << format.name << ": a gap of " << gap * 1000 / kRate << " ms";
    // All of it was heard, once: the sound lasts the file's length.
    EXPECT_NEAR(static_cast<double>(last - first + 1), kFrames, kRate * 0.05) << format.name;

    // When each frame of the recording was played: the recording is one frame per 1/44100 s
    // from some start, and a piece can arrive late but never before it was played, so the
    // start is the earliest that any piece's arrival allows.
    ASSERT_FALSE(recorder.arrivals.empty());
    const auto perFrame = std::chrono::duration<double>(1.0 / kRate);
    Clock::time_point start = recorder.arrivals.front().at;
    for (const Recorder::Arrival& a : recorder.arrivals)
        start = std::min(start, a.at - std::chrono::duration_cast<Clock::duration>(
                                           perFrame * static_cast<double>(a.frames)));

    // The head against the sound: when a timer event showed position h, the sound of frame h
    // of the file was being played.
    ASSERT_GE(shown.size(), 10u);
    int64_t worst = 0;
    const int64_t end = shown.back().head;
    for (const Shown& s : shown) {
        if (s.head >= end) continue;  // the end of the range, shown once it is over
        const double played = (s.at - start) / perFrame;
        const int64_t heard = std::clamp<int64_t>(std::llround(played) - first, 0, kFrames);
        worst = std::max(worst, std::abs(s.head - heard));
    }
    std::printf("%s: longest gap %.1f ms, head at most %.1f ms off the sound\n", format.name,
                gap * 1000.0 / kRate, worst * 1000.0 / kRate);
    EXPECT_LE(worst, kRate * 50 / 1000)
        << format.name << ": the head was " << worst * 1000 / kRate << " ms off the sound";
}

// With pre-listen on, a stretch in the middle of a file sounds for its own length: the audio
// after its end, which the reads still fetch, is not heard before the timer stops playback.
TEST_P(PlaybackRecordingTest, AStretchSoundsForItsLengthAndNoMore) {
    if (!NullSinkPresent()) GTEST_SKIP() << "no sound server with the null sink of scripts/test.sh";
    const Format format = GetParam();
    AddTone(format);
    SettingsFile(SettingsFile::DefaultPath()).WriteString("cut", "pre-listen", "1");
    // 0.5 s to 1.5 s of the 2.5 s tone.
    L().SetBegin(0, kRate / 2, 0);
    L().SetEnd(0, kRate * 3 / 2, 1);

    Recorder recorder;
    ASSERT_TRUE(recorder.Started());
    ASSERT_TRUE(QTest::qWaitFor([&] { return recorder.Recording(); }, 10000));
    QTest::qWait(200);
    W().Play1->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !P().IsPlaying(); }, 20000));
    QTest::qWait(300);
    recorder.Stop();
    ASSERT_TRUE(prompts_->boxes.isEmpty()) << prompts_->boxes[0].toStdString();

    int64_t first = 0;
    int64_t last = 0;
    LongestGap(recorder.samples, first, last);
    const int64_t heard = last - first + 1;
    std::printf("%s: the stretch of %d frames sounded for %lld\n", format.name, kRate,
                static_cast<long long>(heard));
    // The timer stops playback up to half a thousandth of the range early, by its rounding.
    EXPECT_LE(heard, kRate + kRate * 2 / 1000) << format.name;
    EXPECT_GE(heard, kRate - kRate * 10 / 1000) << format.name;
}

INSTANTIATE_TEST_SUITE_P(Inputs, PlaybackRecordingTest,
                         ::testing::Values(Format{"mp3", {"-c:a", "libmp3lame", "-b:a", "192k"}},
                                           Format{"wav", {"-c:a", "pcm_s16le"}},
                                           Format{"wma", {"-c:a", "wmav2", "-b:a", "128k"}},
                                           Format{"ogg", {"-c:a", "libvorbis", "-b:a", "128k"}}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace quillet
