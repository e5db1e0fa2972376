#pragma once

#include <QApplication>
#include <functional>

namespace quillet {

// The application object. An error that a command does not catch ends its event, not the
// program: notify() hands its text to the exception handler the main window installs.
class QuilletApplication : public QApplication {
    Q_OBJECT
  public:
    using ExceptionHandler = std::function<void(const QString& message)>;

    QuilletApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;

    void SetExceptionHandler(ExceptionHandler handler) { handler_ = std::move(handler); }

    // The running application as a QuilletApplication, or nullptr under a plain QApplication.
    static QuilletApplication* Instance();

  private:
    void Report(const QString& message);

    ExceptionHandler handler_;
};

}  // namespace quillet
