#include "support/ScriptedPrompts.h"

#include <QDialog>
#include <QTimer>

namespace quillet::test {

void ScriptedPrompts::Information(const QString& text) {
    informations << text;
    boxes << text;
}

void ScriptedPrompts::Message(const QString& text) {
    messages << text;
    boxes << text;
}

bool ScriptedPrompts::Question(const QString& text) {
    questions << text;
    return answerYes;
}

QStringList ScriptedPrompts::OpenFiles(const QString& dir, const QString& filter) {
    openDirs << dir;
    openFilters << filter;
    return files;
}

QString ScriptedPrompts::SaveFile(const QString& dir, const QString& fileName,
                                  const QString& filter, int& filterIndex) {
    offered << QStringList{dir, fileName, filter, QString::number(filterIndex)};
    if (chosenType != 0) filterIndex = chosenType;
    return chosenPath;
}

int ScriptedPrompts::ShowModal(QDialog& dialog) {
    shown << &dialog;
    shownAt << dialog.frameGeometry().topLeft();
    if (modal) return modal(dialog);
    if (!inside) return QDialog::Rejected;
    QTimer::singleShot(0, &dialog, [this, &dialog] { inside(dialog); });
    return dialog.exec();
}

void ScriptedPrompts::OpenUrl(const QUrl& url) { urls << url; }

}  // namespace quillet::test
