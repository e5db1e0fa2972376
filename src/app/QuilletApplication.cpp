#include "app/QuilletApplication.h"

#include <cstdio>
#include <exception>

namespace quillet {

QuilletApplication::QuilletApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QuilletApplication* QuilletApplication::Instance() {
    return qobject_cast<QuilletApplication*>(QCoreApplication::instance());
}

bool QuilletApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception& e) {
        Report(QString::fromUtf8(e.what()));
    } catch (...) {
        Report(QStringLiteral("An unknown error occurred."));
    }
    return false;
}

void QuilletApplication::Report(const QString& message) {
    if (!handler_) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        return;
    }
    // The handler shows a box and cleans up; should that fail too, the event loop must still
    // not be left by an exception.
    try {
        handler_(message);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(message), e.what());
    } catch (...) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
    }
}

}  // namespace quillet
