#include "tracks/PathOpener.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>
#include <utility>

#include "common/FileNames.h"
#include "common/Guard.h"
#include "tracks/TrackAdder.h"

namespace quillet {

PathOpener::PathOpener(TrackAdder& adder, TAudioFile2& file,
                       std::function<SettingsFile*()> settings, std::function<bool()> busy,
                       QObject* parent)
    : QObject(parent),
      adder_(adder),
      file_(file),
      settings_(std::move(settings)),
      busy_(std::move(busy)) {
    timer_.setSingleShot(true);
    connect(&timer_, &QTimer::timeout, this, GuardedSlot(this, &PathOpener::TryNow));
}

QString PathOpener::Absolute(const QString& argument) {
    if (argument.startsWith(QLatin1String("file:"))) {
        const QString local = LocalFilePath(QUrl(argument));
        if (!local.isEmpty()) return QDir::cleanPath(local);
    }
    return AbsoluteFilePath(argument);
}

void PathOpener::Open(const QStringList& paths) {
    if (paths.isEmpty()) return;
    waiting_ += paths;
    // Never inside the caller's event (a drop, a socket's): the add shows boxes and pumps.
    timer_.start(0);
}

void PathOpener::TryNow() {
    if (waiting_.isEmpty()) return;
    if (busy_()) {
        timer_.start(kRetryMs);
        return;
    }
    if (!settings_()) {
        waiting_.clear();
        return;
    }
    Add(std::exchange(waiting_, {}));
    // Paths handed over during this add wait for it to end.
    if (!waiting_.isEmpty()) timer_.start(0);
}

void PathOpener::Add(const QStringList& paths) {
    // Files next to each other are one add, as one choice in the file dialog would be. The
    // window can close in any add's message pump.
    QStringList files;
    const auto addFiles = [&] {
        SettingsFile* settings = settings_();
        if (files.isEmpty() || !settings) return;
        adder_.AddFiles(file_, std::exchange(files, {}), *settings);
    };
    for (const QString& path : paths) {
        if (!StatFile(path).IsFolder()) {
            files << path;
            continue;
        }
        addFiles();
        if (!settings_()) return;
        adder_.ScanFolder(path, true);
    }
    addFiles();
}

}  // namespace quillet
