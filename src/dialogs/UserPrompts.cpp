#include "dialogs/UserPrompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <cstdio>

namespace quillet {

namespace {

const QString kCaption = QStringLiteral("Information");

// Qt's own dialog everywhere, so that it looks the same on every desktop and its filters, written
// as "MP3 Files(*.mp3)", match names without regard to case: SONG.MP3 and Song.Mp3 are offered
// too.
void Prepare(QFileDialog& dialog, const QString& dir, const QStringList& filters) {
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(dialog.filter() & ~QDir::CaseSensitive);
    dialog.setDirectory(dir);
    dialog.setNameFilters(filters);
}

}  // namespace

QWidget* QtUserPrompts::Parent() const {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return mainWindow_;
}

void QtUserPrompts::Information(const QString& text) {
    QMessageBox box(QMessageBox::Information, kCaption, text, QMessageBox::Ok, Parent());
    box.exec();
}

void QtUserPrompts::Message(const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, kCaption, text, QMessageBox::Ok, Parent());
    box.exec();
}

bool QtUserPrompts::Question(const QString& text) {
    QMessageBox box(QMessageBox::Information, kCaption, text, QMessageBox::Yes | QMessageBox::No,
                    Parent());
    // The question guards a file on disk: Enter alone must not overwrite it.
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QStringList QtUserPrompts::OpenFiles(const QString& dir, const QString& filter) {
    QFileDialog dialog(Parent());
    Prepare(dialog, dir, filter.split(QStringLiteral(";;")));
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFiles);
    if (dialog.exec() != QDialog::Accepted) return {};
    return dialog.selectedFiles();
}

QString QtUserPrompts::SaveFile(const QString& dir, const QString& fileName, const QString& filter,
                                int& filterIndex) {
    const QStringList filters = filter.split(QStringLiteral(";;"));
    QFileDialog dialog(Parent());
    Prepare(dialog, dir, filters);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    // The caller asks its own overwrite question.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (filterIndex >= 1 && filterIndex <= filters.size())
        dialog.selectNameFilter(filters.at(filterIndex - 1));
    if (!fileName.isEmpty()) dialog.selectFile(fileName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    filterIndex = static_cast<int>(filters.indexOf(dialog.selectedNameFilter())) + 1;
    return dialog.selectedFiles().constFirst();
}

int QtUserPrompts::ShowModal(QDialog& dialog) { return dialog.exec(); }

void QtUserPrompts::OpenUrl(const QUrl& url) { QDesktopServices::openUrl(url); }

int ReportStartupFailure(const QString& message) {
    std::fprintf(stderr, "Quillet cannot start: %s\n", qPrintable(message));
    const QString platform = QGuiApplication::platformName();
    if (platform != QLatin1String("offscreen") && platform != QLatin1String("minimal")) {
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillet"),
                        QStringLiteral("Quillet cannot start.\n\n%1").arg(message),
                        QMessageBox::Ok);
        box.exec();
    }
    return 1;
}

}  // namespace quillet
