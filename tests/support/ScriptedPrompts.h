#pragma once

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

#include "dialogs/UserPrompts.h"

namespace quillet::test {

// Answers every box and dialog the main window raises, and remembers what was asked.
class ScriptedPrompts : public UserPrompts {
  public:
    void Information(const QString& text) override;
    void Message(const QString& text) override;
    bool Question(const QString& text) override;
    QStringList OpenFiles(const QString& dir, const QString& filter) override;
    QString SaveFile(const QString& dir, const QString& fileName, const QString& filter,
                     int& filterIndex) override;
    int ShowModal(QDialog& dialog) override;
    void OpenUrl(const QUrl& url) override;

    // Boxes: the texts of Information and of Message apart, and of both in the order shown.
    QStringList informations;
    QStringList messages;
    QStringList boxes;
    QStringList questions;
    bool answerYes = false;

    // Open dialogs: where and with which filter they opened; every one gives `files`.
    QStringList openDirs;
    QStringList openFilters;
    QStringList files;

    // Save dialogs: {dir, name, filter, type} as offered; every one gives `chosenPath`, and
    // the type `chosenType` when that is not 0.
    QList<QStringList> offered;
    QString chosenPath;
    int chosenType = 0;

    // Modal dialogs, and where each stood when it was shown.
    QList<QDialog*> shown;
    QList<QPoint> shownAt;
    // Answers a dialog in place of running it.
    std::function<int(QDialog&)> modal;
    // Without `modal`: runs the real modal loop and acts from inside it, as a person would.
    // Without either the dialog is rejected unseen.
    std::function<void(QDialog&)> inside;

    QList<QUrl> urls;
};

}  // namespace quillet::test
