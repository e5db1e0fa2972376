// Takes the screenshots in docs/screens/ from the real program on a real X display (Xvfb):
// the main window with its list, with a menu and with the list's popup open, the settings dialog, a
// message box, the about box, the file dialog, the overview behind the bars and the stretch editor
// following playback. scripts/screenshots.sh runs it at each scale.
//   quillet-screens OUTDIR SUFFIX
#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>
#include <functional>

#include "app/MainForms.h"
#include "app/QuilletApplication.h"
#include "app/Tfm_main.h"
#include "dialogs/Tfm_about.h"
#include "dialogs/Tfm_set.h"
#include "dialogs/StretchEditorSide.h"
#include "dialogs/Tfm_stretch.h"
#include "dialogs/UserPrompts.h"
#include "editor/ListStretchHost.h"
#include "platform/skin/SkinWave.h"
#include "platform/skin/TSkin.h"
#include "support/ScriptedPrompts.h"
#include "tracks/TrackList.h"
#include "widgets/Theme.h"
#include "widgets/TrackListView.h"
#include "widgets/WaveformView.h"

namespace {

QString outDir;
QString suffix;

void Settle(int ms = 400) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// The screen where the windows are, cut to the main window and what lies over it.
void Shoot(const QString& name, const QWidget& main, QRect extra = {}) {
    Settle();
    QRect area = main.frameGeometry();
    if (!extra.isNull()) area = area.united(extra);
    const QPixmap shot =
        main.screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    const QString path = QStringLiteral("%1/%2%3.png").arg(outDir, name, suffix);
    if (!shot.save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::printf("%s %dx%d\n", qPrintable(path), shot.width(), shot.height());
}

bool Tone(const QString& path, double seconds, const char* codec) {
    return QProcess::execute("ffmpeg", {"-y", "-hide_banner", "-loglevel", "error", "-f", "lavfi",
                                        "-i", "sine=frequency=330:sample_rate=44100", "-t",
                                        QString::number(seconds), "-c:a", codec, path}) == 0;
}

// Runs `look` once the next modal window is up, then closes it.
void WhenModal(std::function<void(QWidget&)> look) {
    QTimer::singleShot(300, [look] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        look(*modal);
        if (auto* dialog = qobject_cast<QDialog*>(modal)) dialog->reject();
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fputs("usage: quillet-screens OUTDIR SUFFIX\n", stderr);
        return 2;
    }
    QTemporaryDir home;
    qputenv("HOME", home.path().toUtf8());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    outDir = QString::fromLocal8Bit(argv[1]);
    suffix = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(outDir);

    quillet::QuilletApplication app(argc, argv);
    quillet::ApplyTheme(app);
    const QString music = home.path() + "/Music";
    QDir().mkpath(music);
    // Names with letters that reach above and below the line, to see that rows show them whole.
    const QStringList files{music + "/Morning Session.mp3", music + "/Interview take 2.ogg",
                            music + "/Field recording.wav",
                            music + "/Quiet guitar_by the jetty.mp3",
                            music + "/Ångström – Équipe (live).ogg"};
    if (!Tone(files[0], 245, "libmp3lame") || !Tone(files[1], 751, "libvorbis") ||
        !Tone(files[2], 118, "pcm_s16le") || !Tone(files[3], 64, "libmp3lame") ||
        !Tone(files[4], 302, "libvorbis"))
        return 1;

    quillet::MainForms forms = quillet::CreateMainForms();
    quillet::Tfm_main& w = *forms.fm_main;
    auto scripted = std::make_unique<quillet::test::ScriptedPrompts>();
    quillet::test::ScriptedPrompts& prompts = *scripted;
    w.SetPrompts(std::move(scripted));
    w.show();
    if (!w.StartupError().isEmpty()) return quillet::ReportStartupFailure(w.StartupError());
    prompts.files = files;
    w.AddFiles();
    w.lv->SelectRow(1);
    w.lvClick();
    Settle();
    Shoot("main", w);

    // The Action menu, and the list's popup.
    QMenu* action = w.mm->actions().at(1)->menu();
    w.mm->setActiveAction(w.mm->actions().at(1));
    Shoot("menu", w, action->geometry());
    action->close();
    QTimer::singleShot(0, [&] {
        Shoot("popup", w, w.pm->geometry());
        w.pm->close();
    });
    w.pm->exec(w.lv->viewport()->mapToGlobal(QPoint(160, 40)));

    // The settings dialog and the about box, as the main window shows them.
    prompts.inside = [&](QDialog& dialog) {
        Shoot(dialog.objectName() == "fm_set" ? "settings" : "about", w, dialog.frameGeometry());
        dialog.reject();
    };
    w.Option1Click();
    w.About1Click();

    // A message box and the file dialog, as the real prompts show them.
    quillet::QtUserPrompts real(&w);
    WhenModal([&](QWidget& box) { Shoot("message", w, box.frameGeometry()); });
    real.Information("File has existed. Overwrite?");
    WhenModal([&](QWidget& box) { Shoot("question", w, box.frameGeometry()); });
    real.Question("File has existed. Overwrite?");
    WhenModal([&](QWidget& dialog) {
        Settle(600);
        Shoot("open-files", w, dialog.frameGeometry());
    });
    real.OpenFiles(music, "All Supported Files(*.mp3 *.wav *.wma *.ogg);;MP3 Files(*.mp3)");

    // The overview behind the bars, of a file whose loudness changes, with a stretch chosen.
    const QString rehearsal = music + "/Rehearsal.wav";
    if (QProcess::execute("ffmpeg",
                          {"-y", "-hide_banner", "-loglevel", "error", "-f", "lavfi", "-i",
                           "aevalsrc='(0.15+0.8*abs(sin(2*PI*t/23))*(0.6+0.4*sin(2*PI*t/3.7)))*"
                           "sin(2*PI*220*t)*(0.7+0.3*sin(2*PI*5*t))':s=44100:d=150",
                           "-ac", "2", "-c:a", "pcm_s16le", rehearsal}) != 0)
        return 1;
    prompts.files = {rehearsal};
    w.AddFiles();
    w.lv->SelectRow(w.Tracks().Rows() - 1);
    w.lvClick();
    w.StretchSide().Host().SetStretch(44100 * 31 + 20000, 44100 * 97 + 11025, QStringLiteral("shot"));
    auto* overview = dynamic_cast<quillet::SkinWave*>(
        w.Skin->GetFormObject(&w)->FindObject(QStringLiteral("Begin overview")));
    for (int i = 0; i < 100 && overview && overview->ShownColumns() < overview->Columns(); ++i)
        Settle(100);
    Shoot("overview", w);

    // The stretch editor following playback (when there is a sound device).
    w.EditStretch1Click();
    quillet::Tfm_stretch* editor = w.StretchSide().Editor();
    editor->resize(1000, 460);
    editor->move(w.frameGeometry().center().x() - 500, w.frameGeometry().bottom() - 200);
    Settle(800);
    try {
        w.StretchSide().Host().SetPlayHead(44100 * 29);
        w.StretchSide().Host().Play();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "no playback for the editor's picture: %s\n", e.what());
    }
    Settle(2200);
    Shoot("stretch-editor", w, editor->frameGeometry());
    editor->waveform->ZoomToStretch();
    Settle(1000);
    Shoot("stretch-editor-zoomed", w, editor->frameGeometry());
    w.Stopplay1Click();
    return 0;
}
