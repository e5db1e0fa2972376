#include "common/CommandLine.h"
#include "app/MainForms.h"
#include "app/QuilletApplication.h"
#include "app/Tfm_main.h"
#include "dialogs/UserPrompts.h"
#include "widgets/Theme.h"

int main(int argc, char** argv) {
    if (const auto exitCode = quillet::AnswerInfoOptions(argc, argv)) return *exitCode;
    quillet::QuilletApplication app(argc, argv);
    quillet::ApplyTheme(app);
    quillet::MainForms forms = quillet::CreateMainForms();
    // The first showing loads and binds the skin; without it the window is of no use.
    forms.fm_main->show();
    if (!forms.fm_main->StartupError().isEmpty()) {
        forms.fm_main->hide();
        return quillet::ReportStartupFailure(forms.fm_main->StartupError());
    }
    return app.exec();
}
