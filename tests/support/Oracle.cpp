#include "support/Oracle.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <cstring>

#if defined(__SANITIZE_THREAD__)
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <cerrno>
#include <vector>
#endif

namespace quillet::test {

#if defined(__SANITIZE_THREAD__)
// QProcess starts its child in the parent's memory without ThreadSanitizer seeing it, and the
// child's calls garble the parent thread's bookkeeping: every lock of that thread goes unseen
// afterwards. A plain fork, which ThreadSanitizer follows, serves its builds.
ToolResult RunTool(const QString& program, const QStringList& args, int timeoutMs) {
    ToolResult r;
    std::vector<QByteArray> argBytes{program.toLocal8Bit()};
    for (const QString& a : args) argBytes.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& a : argBytes) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return r;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]);
        ::close(out[1]);
        return r;
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_RDONLY);
        ::dup2(null, STDIN_FILENO);
        ::dup2(out[1], STDOUT_FILENO);
        ::dup2(err[1], STDERR_FILENO);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    QElapsedTimer clock;
    clock.start();
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    QByteArray* sinks[2] = {&r.out, &r.err};
    int open = 2;
    bool timedOut = false;
    while (open > 0 && pid > 0) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left)) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char chunk[65536];
            const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
            if (n > 0) {
                sinks[i]->append(chunk, static_cast<int>(n));
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (const pollfd& f : fds)
        if (f.fd >= 0) ::close(f.fd);
    if (pid <= 0) return r;
    if (timedOut) ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!timedOut && WIFEXITED(status) && WEXITSTATUS(status) != 127)
        r.exitCode = WEXITSTATUS(status);
    return r;
}
#else
ToolResult RunTool(const QString& program, const QStringList& args, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    ToolResult r;
    if (!p.waitForStarted(10000)) return r;
    p.closeWriteChannel();
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}
#endif

void Ffmpeg(const QStringList& args) {
    const ToolResult r =
        RunTool("ffmpeg", QStringList{"-y", "-hide_banner", "-loglevel", "error"} + args);
    ASSERT_EQ(r.exitCode, 0) << "ffmpeg " << args.join(' ').toStdString() << ": "
                             << r.err.toStdString();
}

void MakeTone(const QString& path, int frames, int rate, int channels,
              const QStringList& outputOptions, const QString& source) {
    const QString src =
        source == "sine"
            ? QStringLiteral("sine=frequency=440:sample_rate=%1").arg(rate)
            : QStringLiteral("anoisesrc=sample_rate=%1:amplitude=0.3:seed=7").arg(rate);
    // atrim with end_sample is exact to the frame, where -t is not for every source.
    const QStringList args{"-f",
                           "lavfi",
                           "-i",
                           src,
                           "-af",
                           QStringLiteral("atrim=end_sample=%1,aformat=channel_layouts=%2")
                               .arg(frames)
                               .arg(channels == 1 ? "mono" : "stereo"),
                           "-ar",
                           QString::number(rate)};
    Ffmpeg(args + outputOptions + QStringList{path});
}

std::vector<float> DecodeWithFfmpeg(const QString& path, int rate, int channels) {
    QStringList args{"-hide_banner", "-loglevel", "error", "-i", path};
    if (rate > 0) args << "-ar" << QString::number(rate);
    if (channels > 0) args << "-ac" << QString::number(channels);
    args << "-f"
         << "f32le"
         << "-";
    const ToolResult r = RunTool("ffmpeg", args);
    EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    std::vector<float> samples(static_cast<size_t>(r.out.size()) / sizeof(float));
    if (!samples.empty())
        std::memcpy(samples.data(), r.out.constData(), samples.size() * sizeof(float));
    return samples;
}

QString ProbeStream(const QString& path, const QString& field) {
    const ToolResult r =
        RunTool("ffprobe", {"-v", "error", "-select_streams", "a:0", "-show_entries",
                            "stream=" + field, "-of", "default=nw=1:nk=1", path});
    if (r.exitCode != 0) return {};
    return QString::fromUtf8(r.out).trimmed();
}

QString ProbeTag(const QString& path, const QString& tag) {
    const ToolResult r = RunTool(
        "ffprobe", {"-v", "error", "-show_entries", "format_tags=" + tag + ":stream_tags=" + tag,
                    "-of", "default=nw=1:nk=1", path});
    if (r.exitCode != 0) return {};
    return QString::fromUtf8(r.out).trimmed().section('\n', 0, 0);
}

QString BinDir() { return QCoreApplication::applicationDirPath(); }

}  // namespace quillet::test
