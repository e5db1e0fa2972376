// Measures the stretch editor's waveform on a real file: the peaks (computed, then from the
// cache), the longest wait of a 1 ms timer on the thread that receives them, the peak memory,
// the redraw time of the waveform at several zoom levels, and screenshots of the editor.
//   quillet-waveform-bench peaks  <file> <cache-dir>   computes the peaks (the cache emptied first)
//   quillet-waveform-bench cached <file> <cache-dir>   opens them again from the cache
//   quillet-waveform-bench redraw <file> <cache-dir>   paints the waveform offscreen, 1600 x 400
//   quillet-waveform-bench shots  <file> <out-dir>     the editor at three zoom levels as PNGs
#include <sys/resource.h>
#include <time.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "dialogs/UserPrompts.h"
#include "dialogs/Tfm_stretch.h"
#include "editor/PeakBuilder.h"
#include "editor/StretchEditorHost.h"
#include "editor/WaveformPeaks.h"
#include "platform/audio/AudioDecoder.h"
#include "widgets/WaveformView.h"

namespace quillet {
namespace {

double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

long PeakKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Times one job of the builder to its end and the longest gap between ticks of a 1 ms timer
// on this thread meanwhile.
int TimePeaks(const QString& file, const QString& cacheDir, bool wantCache) {
    PeakBuilder builder;
    builder.SetCacheDir(cacheDir);
    QEventLoop loop;
    QString failure;
    QObject::connect(&builder, &PeakBuilder::Finished, &loop, &QEventLoop::quit);
    QObject::connect(&builder, &PeakBuilder::Failed, &loop, [&](const QString& m) {
        failure = m;
        loop.quit();
    });
    QElapsedTimer ticks;
    qint64 longest = 0;
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        longest = std::max(longest, ticks.nsecsElapsed());
        ticks.restart();
    });
    QElapsedTimer clock;
    clock.start();
    ticks.start();
    tick.start();
    builder.Start(file);
    loop.exec();
    const double seconds = clock.nsecsElapsed() / 1e9;
    tick.stop();
    if (!failure.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(failure));
        return 1;
    }
    if (builder.FromCache() != wantCache) {
        std::fprintf(stderr, "the peaks %s from the cache\n", wantCache ? "did not come" : "came");
        return 1;
    }
    const WaveformPeaks& p = builder.Peaks();
    std::printf("seconds %.3f longest_wait_ms %.1f frames %lld peaks_bytes %zu peak_rss_kib %ld\n",
                seconds, longest / 1e6, static_cast<long long>(p.Frames()), p.MemoryBytes(),
                PeakKiB());
    return 0;
}

bool WaitFor(const std::function<bool()>& done, int ms) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

int Redraw(const QString& file, const QString& cacheDir) {
    int64_t frames = 0;
    int rate = 0;
    {
        AudioDecoder decoder(file);
        frames = decoder.Length();
        rate = decoder.SampleRate();
    }
    WaveformView view;
    view.SetCacheDir(cacheDir);
    view.resize(1600, 400);
    view.show();
    view.SetFile(file, frames, rate);
    view.SetStretch(frames / 3, frames / 2);
    view.SetPlayHead(frames / 2 + rate);
    if (!WaitFor([&] { return view.PeaksComplete(); }, 600000)) return 1;
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    struct Zoom {
        const char* name;
        double seconds;  // shown across the width; 0 for the whole file
    };
    const Zoom zooms[] = {{"whole", 0}, {"10 min", 600}, {"1 min", 60},   {"10 s", 10},
                          {"1 s", 1},   {"100 ms", 0.1}, {"10 ms", 0.01}, {"32 px/frame", -1}};
    std::printf("%-12s %14s %8s %8s %8s\n", "zoom", "frames/pixel", "mean_ms", "max_ms", "samples");
    for (const Zoom& z : zooms) {
        if (z.seconds == 0)
            view.ZoomAll();
        else if (z.seconds < 0)
            view.ZoomAt(1e9, 800);
        else
            view.ZoomAt(view.View().FramesPerPixel() / (z.seconds * rate / 1600.0), 800);
        view.ScrollTo(frames / 2 - view.View().VisibleFrames() / 2);
        if (view.View().FramesPerPixel() < WaveformView::kSampleDetail)
            WaitFor([&] { return view.DrawsSamples(); }, 10000);
        double total = 0, longest = 0;
        const int rounds = 30;
        const double cpu0 = ThreadCpuMs();
        for (int i = 0; i < rounds; ++i) {
            QElapsedTimer t;
            t.start();
            view.render(&image);
            const double ms = t.nsecsElapsed() / 1e6;
            total += ms;
            longest = std::max(longest, ms);
        }
        const double cpu = (ThreadCpuMs() - cpu0) / rounds;
        std::printf("%-12s %14.3f %8.2f %8.2f %8.2f %8s\n", z.name, view.View().FramesPerPixel(),
                    total / rounds, longest, cpu, view.DrawsSamples() ? "yes" : "no");
    }
    return 0;
}

// A row that stays as it is and a player that does not play: enough to look at the editor.
class StillHost : public StretchEditorHost {
  public:
    StillHost(QString path, int rate, int64_t length)
        : path_(std::move(path)), rate_(rate), length_(length) {}
    bool HasRow() const override { return true; }
    QString FilePath() const override { return path_; }
    int SampleRate() const override { return rate_; }
    int64_t LengthPos() const override { return length_; }
    int64_t StartPos() const override { return start_; }
    int64_t EndPos() const override { return end_; }
    bool SetStretch(int64_t s, int64_t e, const QString&) override {
        start_ = s;
        end_ = e;
        emit StretchChanged();
        return true;
    }
    int64_t PlayHeadPos() const override { return head_; }
    bool IsPlaying() const override { return false; }
    void SetPlayHead(int64_t pos) override {
        head_ = pos;
        emit PlaybackChanged();
    }
    void Play() override {}
    void Pause() override {}
    void PlayRange(int64_t, int64_t) override {}

  private:
    QString path_;
    int rate_;
    int64_t length_;
    int64_t start_ = 0;
    int64_t end_ = 0;
    int64_t head_ = 0;
};

int Shots(const QString& file, const QString& outDir) {
    int64_t frames = 0;
    int rate = 0;
    {
        AudioDecoder decoder(file);
        frames = decoder.Length();
        rate = decoder.SampleRate();
    }
    StillHost host(file, rate, frames);
    host.SetStretch(frames * 3 / 10, frames * 6 / 10, QString());
    host.SetPlayHead(frames * 45 / 100);
    QtUserPrompts prompts(nullptr);
    Tfm_stretch editor(host, prompts);
    editor.resize(1100, 470);
    editor.show();
    WaveformView& w = *editor.waveform;
    if (!WaitFor([&] { return w.PeaksComplete(); }, 600000)) return 1;
    const auto shoot = [&](const char* name) {
        WaitFor([] { return false; }, 300);
        editor.grab().save(QDir(outDir).filePath(QString::fromLatin1(name)));
    };
    w.ZoomAll();
    shoot("stretch-editor-whole.png");
    // A few seconds around the end of the stretch.
    w.SelectHandle(WaveformView::Handle::End);
    w.ZoomAt(w.View().FramesPerPixel() / (4.0 * rate / w.width()), w.XOfFrame(host.EndPos()));
    shoot("stretch-editor-seconds.png");
    // Eight pixels per sample: each one with its stem and dot.
    w.ZoomAt(w.View().FramesPerPixel() * 8, w.XOfFrame(host.EndPos()));
    w.ScrollTo(host.EndPos() - w.View().VisibleFrames() / 2);
    WaitFor([&] { return w.DrawsSamples(); }, 10000);
    shoot("stretch-editor-samples.png");
    return 0;
}

}  // namespace
}  // namespace quillet

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s peaks|cached|redraw|shots <file> <dir>\n", argv[0]);
        return 2;
    }
    const char* mode = argv[1];
    const bool widgets = std::strcmp(mode, "redraw") == 0 || std::strcmp(mode, "shots") == 0;
    std::unique_ptr<QCoreApplication> app;
    if (widgets)
        app = std::make_unique<QApplication>(argc, argv);
    else
        app = std::make_unique<QCoreApplication>(argc, argv);
    const QString file = QString::fromLocal8Bit(argv[2]);
    const QString dir = QString::fromLocal8Bit(argv[3]);
    try {
        if (std::strcmp(mode, "peaks") == 0) {
            QDir(dir).removeRecursively();
            return quillet::TimePeaks(file, dir, false);
        }
        if (std::strcmp(mode, "cached") == 0) return quillet::TimePeaks(file, dir, true);
        if (std::strcmp(mode, "redraw") == 0) return quillet::Redraw(file, dir);
        if (std::strcmp(mode, "shots") == 0) return quillet::Shots(file, dir);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    std::fprintf(stderr, "unknown mode %s\n", mode);
    return 2;
}
