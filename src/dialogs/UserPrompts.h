#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QDialog;
class QWidget;

namespace quillet {

// Every message box, file dialog, modal dialog and outside program the main window starts goes
// through here, so that tests can answer them without a person at the screen.
class UserPrompts {
  public:
    virtual ~UserPrompts() = default;

    // Caption "Information", one OK button, the information icon.
    virtual void Information(const QString& text) = 0;
    // The same without an icon.
    virtual void Message(const QString& text) = 0;
    // Caption "Information", Yes and No; true only for Yes.
    virtual bool Question(const QString& text) = 0;

    // Filters in Qt's form: "All Supported Files(*.mp3 *.wav);;MP3 Files(*.mp3)". An empty list
    // when cancelled.
    virtual QStringList OpenFiles(const QString& dir, const QString& filter) = 0;
    // filterIndex is 1-based and goes both ways: the type shown first and the type chosen.
    // fileName is the name offered. An empty path when cancelled.
    virtual QString SaveFile(const QString& dir, const QString& fileName, const QString& filter,
                             int& filterIndex) = 0;

    // Runs a dialog modally and gives its result code.
    virtual int ShowModal(QDialog& dialog) = 0;
    // Hands a file or web address to the desktop; nothing is reported when that fails.
    virtual void OpenUrl(const QUrl& url) = 0;
};

// The real boxes and dialogs, parented to the window the user is working in.
class QtUserPrompts : public UserPrompts {
  public:
    explicit QtUserPrompts(QWidget* mainWindow) : mainWindow_(mainWindow) {}

    void Information(const QString& text) override;
    void Message(const QString& text) override;
    bool Question(const QString& text) override;
    QStringList OpenFiles(const QString& dir, const QString& filter) override;
    QString SaveFile(const QString& dir, const QString& fileName, const QString& filter,
                     int& filterIndex) override;
    int ShowModal(QDialog& dialog) override;
    void OpenUrl(const QUrl& url) override;

  private:
    QWidget* Parent() const;

    QWidget* mainWindow_;
};

// A start-up that cannot go on: the message on stderr, and in a box where a person can see
// one (not on the offscreen platform). Gives the program's exit code.
int ReportStartupFailure(const QString& message);

}  // namespace quillet
