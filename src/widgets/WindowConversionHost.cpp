#include "widgets/WindowConversionHost.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QProgressBar>

#include "dialogs/UserPrompts.h"
#include "platform/audio/OutputFormats.h"
#include "widgets/MainSkin.h"

namespace quillet {

int WindowConversionHost::FormatIndex() const { return controls_.format.currentIndex(); }

void WindowConversionHost::PumpMessages() { QCoreApplication::processEvents(); }

void WindowConversionHost::SetProgress(int percent) { controls_.progress.setValue(percent); }

void WindowConversionHost::ShowInformation(const QString& text) {
    controls_.prompts.Information(text);
}

bool WindowConversionHost::ConfirmOverwrite() {
    return controls_.prompts.Question(QStringLiteral("File has existed. Overwrite?"));
}

std::optional<JoinTarget> WindowConversionHost::ChooseJoinTarget(const QString& startFolder) {
    JoinSaveChoice& save = controls_.save;
    int filterIndex = save.filterIndex;
    const QString path =
        controls_.prompts.SaveFile(startFolder, QFileInfo(save.fileName).fileName(),
                                   OutputSaveFilters().join(QStringLiteral(";;")), filterIndex);
    if (path.isEmpty()) return std::nullopt;
    save.fileName = path;
    save.filterIndex = filterIndex;
    return JoinTarget{path, filterIndex - 1};
}

void WindowConversionHost::ShowRunning(bool running) {
    controls_.enableMenus(!running);
    controls_.skin.Show(MainSkin::Bar::Begin, !running);
    controls_.skin.Show(MainSkin::Bar::End, !running);
    controls_.progress.setTextVisible(running);
}

}  // namespace quillet
