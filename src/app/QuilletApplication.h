#pragma once

#include <QApplication>

namespace quillet {

// The application object. An error that a command does not catch ends its event, not the
// program: notify() hands its text to the application-wide handler (see common/Guard.h),
// which the main window installs.
class QuilletApplication : public QApplication {
    Q_OBJECT
  public:
    QuilletApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace quillet
