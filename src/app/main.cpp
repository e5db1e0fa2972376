#include <QCoreApplication>

#include "app/MainForms.h"
#include "app/QuilletApplication.h"
#include "app/Tfm_main.h"
#include "common/CommandLine.h"
#include "common/FileNames.h"
#include "common/SingleInstance.h"
#include "dialogs/UserPrompts.h"
#include "tracks/PathOpener.h"
#include "tracks/SessionFile.h"
#include "widgets/Theme.h"

int main(int argc, char** argv) {
    if (const auto exitCode = quillet::AnswerInfoOptions(argc, argv)) return *exitCode;
    quillet::QuilletApplication app(argc, argv);

    // Files named while Quillet runs go to its window. A start without files opens a window
    // of its own, as it always has; only the first keeps the list between runs.
    QStringList paths;
    // The names as given, in their own bytes (Qt reads arguments as UTF-8).
    for (const QString& path : quillet::PathArguments(quillet::ArgumentsOf(argc, argv)))
        paths << quillet::PathOpener::Absolute(path);
    quillet::SingleInstance instance(quillet::SingleInstance::DefaultFolder());
    const bool first = instance.Claim();
    if (!first && !paths.isEmpty() && instance.HandOver(paths)) return 0;

    quillet::ApplyTheme(app);
    quillet::MainForms forms = quillet::CreateMainForms();
    quillet::Tfm_main& window = *forms.fm_main;
    if (first) window.KeepSession(quillet::SessionFile::DefaultPath());
    QObject::connect(&instance, &quillet::SingleInstance::PathsReceived, &window,
                     [&window](const QStringList& handed) {
                         window.OpenPaths(handed);
                         window.raise();
                         window.activateWindow();
                     });
    window.OpenPaths(paths);
    // The first showing loads and binds the skin; without it the window is of no use.
    window.show();
    if (!window.StartupError().isEmpty()) {
        window.hide();
        return quillet::ReportStartupFailure(window.StartupError());
    }
    return app.exec();
}
