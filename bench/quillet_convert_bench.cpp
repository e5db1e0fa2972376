// Runs Quillet's Cut or Join code on real files with the real engine, pumping the event loop as
// the window does, and reports the time, the longest wait a 1 ms timer saw between its ticks
// while the command ran, and the peak memory.
//   quillet-convert-bench cut  <format 0..3> <out-dir> <input>
//   quillet-convert-bench join <format 0..3> <out-file> <input>...
// Settings come from quillet.ini under $XDG_CONFIG_HOME (none: the conversion defaults).
#include <sys/resource.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <vector>

#include "common/RunState.h"
#include "convert/ConversionHost.h"
#include "convert/CutCommand.h"
#include "convert/JoinCommand.h"
#include "platform/audio/AudioError.h"
#include "platform/audio/TAudioFile2.h"
#include "platform/audio/TAudioFile2LameEnc.h"
#include "platform/audio/TAudioInformation2.h"
#include "settings/SettingsFile.h"

namespace quillet {
namespace {

class BenchHost : public ConversionHost {
  public:
    BenchHost(QString iniPath, int format, std::vector<ConversionRow> rows,
              std::optional<JoinTarget> target)
        : settings_(std::move(iniPath)),
          format_(format),
          rows_(std::move(rows)),
          target_(std::move(target)),
          statuses_(rows_.size()) {}

    RunState& Run() override { return run_; }
    bool IsPlaying() const override { return false; }
    int RowCount() const override { return static_cast<int>(rows_.size()); }
    QString RowCaption(int row) const override {
        return QFileInfo(rows_[static_cast<size_t>(row)].filePath).fileName();
    }
    ConversionRow Row(int row) const override { return rows_[static_cast<size_t>(row)]; }
    void SetRowStatus(int row, const QString& s) override {
        statuses_[static_cast<size_t>(row)] = s;
    }
    int FormatIndex() const override { return format_; }
    SettingsFile& Settings() override { return settings_; }
    TAudioFile2& Reader() override { return reader_; }
    TAudioFile2& Writer() override { return writer_; }
    TAudioFile2LameEnc& Mp3Encoder() override { return encoder_; }
    TAudioInformation2& Information() override { return information_; }
    void PumpMessages() override { QCoreApplication::processEvents(); }
    void SetProgress(int) override {}
    void ShowConverting() override {}
    void ShowIdle() override {}
    void ShowInformation(const QString& text) override {
        std::fprintf(stderr, "message: %s\n", qPrintable(text));
        failed_ = true;
    }
    bool ConfirmOverwrite() override { return true; }
    std::optional<JoinTarget> ChooseJoinTarget(const QString&) override { return target_; }

    bool Failed() const { return failed_; }
    bool AllFinished() const {
        return std::all_of(statuses_.begin(), statuses_.end(),
                           [](const QString& s) { return s == "finish"; });
    }

  private:
    SettingsFile settings_;
    int format_;
    std::vector<ConversionRow> rows_;
    std::optional<JoinTarget> target_;
    std::vector<QString> statuses_;
    RunState run_;
    bool failed_ = false;
    TAudioFile2 reader_;
    TAudioFile2 writer_;
    TAudioFile2LameEnc encoder_;
    TAudioInformation2 information_;
};

ConversionRow WholeFile(const QString& path) {
    TAudioFile2 probe;
    probe.OpenForRead(path, 0, 1);
    return {path, 0, probe.Length()};
}

int Run(const QStringList& args) {
    if (args.size() < 5 || (args[1] != "cut" && args[1] != "join")) {
        std::fprintf(stderr, "usage: quillet-convert-bench cut|join <format> <out> <input>...\n");
        return 2;
    }
    const bool cut = args[1] == "cut";
    const int format = args[2].toInt();
    std::vector<ConversionRow> rows;
    for (int i = 4; i < args.size(); ++i) rows.push_back(WholeFile(args[i]));

    QString ini = qEnvironmentVariable("XDG_CONFIG_HOME") + "/quillet.ini";
    if (cut) {
        SettingsFile(ini).WriteString("cut", "output directory", args[3]);
    }
    std::optional<JoinTarget> target;
    if (!cut) target = JoinTarget{args[3], format};
    BenchHost host(ini, format, rows, target);

    // A 1 ms timer stands in for the window's work; its longest wait is how long the user
    // would wait for a repaint or a click on Stop.
    QElapsedTimer sinceTick;
    qint64 longestWait = 0;
    QTimer ticker;
    ticker.setInterval(1);
    QElapsedTimer sinceStart;
    std::vector<std::pair<qint64, qint64>> longWaits;  // (ms since start, wait)
    // Waits of at least this many ms are listed on stderr (QUILLET_BENCH_WAIT_MS, default 50).
    const qint64 listFrom = qEnvironmentVariableIsSet("QUILLET_BENCH_WAIT_MS")
                                ? qEnvironmentVariableIntValue("QUILLET_BENCH_WAIT_MS")
                                : 50;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 wait = sinceTick.restart();
        longestWait = std::max(longestWait, wait);
        if (wait >= listFrom) longWaits.emplace_back(sinceStart.elapsed() - wait, wait);
    });
    ticker.start();
    sinceTick.start();

    QElapsedTimer clock;
    clock.start();
    sinceStart.start();
    if (cut)
        CutCommand(host).Run();
    else
        JoinCommand(host).Run();
    const qint64 elapsed = clock.elapsed();
    const qint64 lastWait = sinceTick.elapsed();
    longestWait = std::max(longestWait, lastWait);
    if (lastWait >= listFrom) longWaits.emplace_back(elapsed - lastWait, lastWait);

    for (const auto& [at, wait] : longWaits)
        std::fprintf(stderr, "wait of %lld ms from %lld ms (of %lld)\n",
                     static_cast<long long>(wait), static_cast<long long>(at),
                     static_cast<long long>(elapsed));

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("elapsed_ms %lld\nlongest_wait_ms %lld\npeak_rss_kb %ld\n",
                static_cast<long long>(elapsed), static_cast<long long>(longestWait),
                usage.ru_maxrss);
    return host.Failed() || !host.AllFinished() ? 1 : 0;
}

}  // namespace
}  // namespace quillet

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    try {
        return quillet::Run(app.arguments());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "error: %s\n", e.what());
        return 1;
    }
}
