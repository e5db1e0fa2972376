// The threads of a conversion: the worker and queue they are made of, and Cut and Join on them
// stopped, failed and reclaimed at every point the window can reach.
#include <dirent.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "common/BoundedQueue.h"
#include "common/EngineLease.h"
#include "common/RunState.h"
#include "common/WorkerThread.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "settings/SettingsFile.h"
#include "support/Oracle.h"
#include "support/TmpfsMount.h"

namespace quillet {
namespace {

// Worker threads of this process, from the kernel's own list.
int Threads() {
    int n = 0;
    if (DIR* dir = ::opendir("/proc/self/task")) {
        while (const dirent* e = ::readdir(dir)) {
            if (e->d_name[0] == '.') continue;
            QFile comm(QStringLiteral("/proc/self/task/%1/comm").arg(e->d_name));
            if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "quillet-worker") ++n;
        }
        ::closedir(dir);
    }
    return n;
}

// The worker threads once those that were told to end have gone: a joined thread leaves the
// kernel's list a moment after the join returns. One that still runs never leaves it.
int ThreadsLeft(int expected) {
    for (int i = 0; i < 10000 && Threads() != expected; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return Threads();
}

// A gate a task waits at until the test opens it.
class Gate {
  public:
    void Open() {
        const std::lock_guard<std::mutex> lock(mutex_);
        open_ = true;
        cv_.notify_all();
    }
    void Pass() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return open_; });
    }

  private:
    std::mutex mutex_;
    std::condition_variable cv_;
    bool open_ = false;
};

TEST(WorkerThread, RunsTasksInOrderAndGivesResultsBack) {
    const int before = Threads();
    auto worker = std::make_unique<WorkerThread>();
    std::vector<int> order;
    const std::thread::id window = std::this_thread::get_id();
    std::thread::id ranOn;
    for (int i = 0; i < 5; ++i) worker->Post([&order, i] { order.push_back(i); });
    const int sum = worker->Call([&] {
        ranOn = std::this_thread::get_id();
        return static_cast<int>(order.size());
    });
    EXPECT_EQ(sum, 5);
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4}));
    EXPECT_NE(ranOn, window);
    // An error of a call comes back to the caller and the worker goes on.
    EXPECT_THROW(worker->Call([]() -> int { throw std::runtime_error("call"); }),
                 std::runtime_error);
    EXPECT_EQ(worker->Call([] { return 7; }), 7);
    // The worker is a thread of its own, which ends with it.
    EXPECT_EQ(Threads(), before + 1);
    worker.reset();
    EXPECT_EQ(ThreadsLeft(before), before);
}

TEST(WorkerThread, AFailedTaskDropsTheRestAndIsRaisedOnTheWindowsSide) {
    WorkerThread worker;
    Gate gate;
    std::atomic<int> ran{0};
    worker.Post([&] { gate.Pass(); });
    worker.Post([] { throw AudioError(QStringLiteral("disk full")); });
    worker.Post([&] { ++ran; });
    gate.Open();
    EXPECT_THROW(worker.Drain(), AudioError);
    EXPECT_EQ(ran, 0);
    EXPECT_TRUE(worker.Failed());
    EXPECT_THROW(worker.Post([&] { ++ran; }), AudioError);
    EXPECT_EQ(ran, 0);
}

TEST(WorkerThread, PostWaitsWhileMoreThanTheLimitIsQueued) {
    WorkerThread worker(100);
    Gate gate;
    worker.Post([&] { gate.Pass(); }, 10);  // begun at once: it weighs nothing any more
    worker.Post([] {}, 60);
    worker.Post([] {}, 40);
    std::atomic<bool> posted{false};
    std::thread opener([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(posted);  // 60 + 40 + 1 would be over the limit
        gate.Open();
    });
    worker.Post([] {}, 1);
    posted = true;
    opener.join();
    worker.Drain();
}

TEST(WorkerThread, ADroppedCallRunsOnTheCallersThreadOnceClosed) {
    WorkerThread worker;
    worker.Close();
    const std::thread::id window = std::this_thread::get_id();
    EXPECT_EQ(worker.Call([] { return std::this_thread::get_id(); }), window);
}

TEST(BoundedQueue, HoldsAtMostItsCapacityAndEndsWithTheProducersError) {
    BoundedQueue<int> queue(2);
    std::atomic<int> pushed{0};
    std::thread producer([&] {
        for (int i = 0; i < 5; ++i) {
            ASSERT_TRUE(queue.Push(i));
            ++pushed;
        }
        queue.Fail(std::make_exception_ptr(std::runtime_error("read")));
    });
    // Two go in; a third would have to wait for room, however long the producer is given.
    while (pushed < 2) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(pushed, 2);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(queue.Pop(Wait::Plain), i);
    EXPECT_THROW(queue.Pop(Wait::Plain), std::runtime_error);
    producer.join();
}

TEST(BoundedQueue, StopReleasesAWaitingProducerAndConsumer) {
    BoundedQueue<int> queue(1);
    ASSERT_TRUE(queue.Push(1));
    std::thread producer([&] { EXPECT_FALSE(queue.Push(2)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    queue.Stop();
    producer.join();
    EXPECT_EQ(queue.Pop(Wait::Plain), std::nullopt);
    queue.Reset();
    ASSERT_TRUE(queue.Push(3));
    EXPECT_EQ(queue.Pop(Wait::Plain), 3);
}

// A window stand-in with real engine objects and a real settings file; its message pump may
// stop the conversion or act as the application's error handler.
class PumpHost : public ConversionHost {
  public:
    explicit PumpHost(const QString& iniPath) : settings_(iniPath) {}

    RunState& Run() override { return run; }
    bool IsPlaying() const override { return false; }
    int RowCount() const override { return static_cast<int>(rows.size()); }
    QString RowCaption(int row) const override { return captions.at(static_cast<size_t>(row)); }
    ConversionRow Row(int row) const override { return rows.at(static_cast<size_t>(row)); }
    void SetRowStatus(int row, const QString& status) override {
        statuses.at(static_cast<size_t>(row)) = status;
    }
    int FormatIndex() const override { return 1; }  // WAV
    SettingsFile& Settings() override { return settings_; }
    TAudioFile2& Reader() override { return reader; }
    TAudioFile2& Writer() override { return writer; }
    TAudioFile2LameEnc& Mp3Encoder() override { return encoder_; }
    TAudioInformation2& Information() override { return information_; }
    void PumpMessages() override {
        ++pumps;
        if (onPump) onPump();
    }
    void SetProgress(int) override {}
    void ShowConverting() override {}
    void ShowIdle() override {}
    void ShowInformation(const QString& text) override { messages.push_back(text); }
    bool ConfirmOverwrite() override { return true; }
    std::optional<JoinTarget> ChooseJoinTarget(const QString&) override { return joinTarget; }

    void AddRow(const QString& path, int64_t end, const QString& caption) {
        rows.push_back({path, 0, end});
        captions.push_back(caption);
        statuses.push_back("unconverted");
    }
    // What the application's handler does with the files of a running conversion.
    void HandleError() {
        for (TAudioFile2* file : {&reader, &writer}) {
            EngineLease::Reclaim(file);
            try {
                if (file->IsOpen()) file->Close();
            } catch (const AudioError&) {
                // Closed all the same, as the handler has it.
            }
        }
        run.IsConverting = false;
    }

    RunState run;
    std::vector<ConversionRow> rows;
    std::vector<QString> captions;
    std::vector<QString> statuses;
    std::vector<QString> messages;
    std::optional<JoinTarget> joinTarget;
    int pumps = 0;
    std::function<void()> onPump;
    TAudioFile2 reader;
    TAudioFile2 writer;

  private:
    SettingsFile settings_;
    TAudioFile2LameEnc encoder_;
    TAudioInformation2 information_;
};

// 8000 Hz mono: a block of Cut is 8000 frames, written in slices of 800 with a pump between.
constexpr int kRate = 8000;
constexpr int kBlocks = 3;
// Pumps of one row: one before it, then per block two before its read and nine between its
// ten slices.
constexpr int kPumpsPerBlock = 2 + 9;

class CopyThreadsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        QFile ini(dir_.filePath("quillet.ini"));
        ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
        // WAV in the source's own format: the output is the input's samples, exactly.
        ini.write("[cut]\noutput directory=" + dir_.filePath("out").toUtf8() + "\n[wav]\nmode=1\n");
        ini.close();
        input_ = dir_.filePath("in.wav");
        test::MakeTone(input_, kRate * kBlocks, kRate, 1, {"-c:a", "pcm_s16le"}, "anoisesrc");
        source_ = test::DecodeWithFfmpeg(input_);
        ASSERT_EQ(source_.size(), size_t{kRate * kBlocks});
    }

    // The output holds the first `blocks` blocks of the input, exactly: the first output of
    // each length is judged by ffmpeg, the later ones must be the same bytes.
    void ExpectBlocks(const QString& output, int blocks, const std::string& what) {
        QFile f(output);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << what;
        const QByteArray bytes = f.readAll();
        QByteArray& known = judged_[blocks];
        if (known.isEmpty()) {
            const std::vector<float> written = test::DecodeWithFfmpeg(output);
            ASSERT_EQ(written.size(), size_t{kRate} * blocks) << what;
            ASSERT_TRUE(std::equal(written.begin(), written.end(), source_.begin())) << what;
            known = bytes;
        }
        EXPECT_EQ(bytes, known) << what;
    }
    // Whole blocks of the input from its start, however many.
    void ExpectWholeBlocks(const QString& output, const std::string& what) {
        QFile f(output);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << what;
        const qint64 size = f.size();
        for (int blocks = 0; blocks <= kBlocks; ++blocks) {
            if (!judged_[blocks].isEmpty() && judged_[blocks].size() == size) {
                EXPECT_EQ(f.readAll(), judged_[blocks]) << what;
                return;
            }
        }
        const std::vector<float> written = test::DecodeWithFfmpeg(output);
        ASSERT_EQ(written.size() % kRate, 0u) << what;
        ExpectBlocks(output, static_cast<int>(written.size() / kRate), what);
    }

    std::map<int, QByteArray> judged_;

    QTemporaryDir dir_;
    QString input_;
    std::vector<float> source_;
};

// Stop from inside the pump, at every pump of a row in turn, over and over: the row ends
// "finish" with exactly the blocks copied before the check that saw the stop, and no thread
// outlives the command.
TEST_F(CopyThreadsTest, StopAtEveryPumpKeepsWhatWasCopiedAndLeavesNoThread) {
    const int threadsBefore = Threads();
    const int rowPumps = 1 + kBlocks * kPumpsPerBlock;
    for (int round = 0; round < 300; ++round) {
        const int stopAt = 1 + round % (rowPumps + 2);
        PumpHost host(dir_.filePath("quillet.ini"));
        host.AddRow(input_, kRate * kBlocks, "cut.wav");
        host.onPump = [&host, stopAt] {
            if (host.pumps == stopAt) host.run.IsConverting = false;
        };
        CutCommand(host).Run();
        const std::string what = "stop at pump " + std::to_string(stopAt);
        ASSERT_TRUE(host.messages.empty()) << what;
        ASSERT_EQ(host.statuses[0], "finish") << what;
        // Block b is read once the check after its pump 3 + 11b found the flag still set.
        int blocks = 0;
        while (blocks < kBlocks && stopAt > 3 + kPumpsPerBlock * blocks) ++blocks;
        ExpectBlocks(dir_.filePath("out/cut.wav"), blocks, what);
        ASSERT_FALSE(host.reader.IsOpen() || host.writer.IsOpen()) << what;
        ASSERT_EQ(ThreadsLeft(threadsBefore), threadsBefore) << what;
        if (HasFailure()) return;
    }
}

// The same stop from the window's events, at whatever moment a timer fires while the command
// waits for its threads: whole blocks of the input, from its start, and nothing left running.
TEST_F(CopyThreadsTest, StopFromTheEventsWhileWaitingKeepsWholeBlocks) {
    const int threadsBefore = Threads();
    std::mt19937 random(13);
    for (int round = 0; round < 100; ++round) {
        PumpHost host(dir_.filePath("quillet.ini"));
        host.AddRow(input_, kRate * kBlocks, "cut.wav");
        QTimer stop;
        stop.setSingleShot(true);
        QObject::connect(&stop, &QTimer::timeout, [&host] { host.run.IsConverting = false; });
        stop.start(static_cast<int>(random() % 15));
        CutCommand(host).Run();
        ExpectWholeBlocks(dir_.filePath("out/cut.wav"), "round " + std::to_string(round));
        ASSERT_EQ(host.statuses[0], "finish");
        ASSERT_EQ(ThreadsLeft(threadsBefore), threadsBefore) << round;
    }
}

// The application's error handler, run from inside the pump (an error of another command),
// takes the files back from the threads and closes them: the conversion ends as after a
// Stop, the output keeps every block handed to the writer, and nothing touches the closed
// files again.
TEST_F(CopyThreadsTest, TheErrorHandlerReclaimsTheFilesAtAnyPump) {
    const int rowPumps = 1 + kBlocks * kPumpsPerBlock;
    for (int at = 1; at <= rowPumps; ++at) {
        PumpHost host(dir_.filePath("quillet.ini"));
        host.AddRow(input_, kRate * kBlocks, "cut.wav");
        host.AddRow(input_, kRate * kBlocks, "second.wav");
        host.onPump = [&host, at] {
            if (host.pumps == at) host.HandleError();
        };
        CutCommand(host).Run();
        const std::string what = "handler at pump " + std::to_string(at);
        ASSERT_TRUE(host.messages.empty()) << what << ": " << host.messages[0].toStdString();
        EXPECT_EQ(host.statuses, (std::vector<QString>{"finish", "unconverted"})) << what;
        // Every block handed over before the handler ran is in the output: those whose last
        // slice went before pump `at`.
        int blocks = 0;
        while (blocks < kBlocks && at > 1 + kPumpsPerBlock * (blocks + 1)) ++blocks;
        const std::vector<float> written = test::DecodeWithFfmpeg(dir_.filePath("out/cut.wav"));
        EXPECT_GE(written.size(), size_t{kRate} * blocks) << what;
        EXPECT_TRUE(std::equal(written.begin(), written.end(), source_.begin())) << what;
        EXPECT_FALSE(QFileInfo::exists(dir_.filePath("out/second.wav"))) << what;
        EXPECT_FALSE(host.reader.IsOpen() || host.writer.IsOpen()) << what;
    }
}

// A full disk in the middle of a Join: the encoding thread's error comes out of the command on
// the window's thread, with the row it belongs to still "Converting", the rows before it
// finished, and no thread left once the handler has closed the files.
TEST_F(CopyThreadsTest, AWriteErrorOfTheEncoderComesOutOfTheCommand) {
    const int threadsBefore = Threads();
    const QString disk = dir_.filePath("small");
    const test::TmpfsMount mount(disk, "96k");
    QUILLET_REQUIRE_MOUNT(mount);
    PumpHost host(dir_.filePath("quillet.ini"));
    // 48 kB of 16-bit samples each: the first row fits, the fourth cannot.
    for (const char* caption : {"a", "b", "c", "d"}) host.AddRow(input_, kRate * kBlocks, caption);
    host.joinTarget = JoinTarget{disk + "/joined.wav", 1};
    EXPECT_THROW(JoinCommand(host).Run(), AudioError);
    // The rows before the one being written are finished, the rows after it untouched.
    const auto failing = std::find(host.statuses.begin(), host.statuses.end(), "Converting");
    ASSERT_NE(failing, host.statuses.end());
    EXPECT_NE(failing, host.statuses.begin());
    EXPECT_TRUE(std::all_of(host.statuses.begin(), failing,
                            [](const QString& s) { return s == "finish"; }));
    EXPECT_TRUE(std::all_of(failing + 1, host.statuses.end(),
                            [](const QString& s) { return s == "unconverted"; }));
    EXPECT_FALSE(host.run.IsConverting);
    host.HandleError();
    EXPECT_FALSE(host.reader.IsOpen() || host.writer.IsOpen());
    EXPECT_EQ(ThreadsLeft(threadsBefore), threadsBefore);
}

}  // namespace
}  // namespace quillet
