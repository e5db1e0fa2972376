#include "app/QuilletApplication.h"

#include "common/Guard.h"

namespace quillet {

QuilletApplication::QuilletApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuilletApplication::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

}  // namespace quillet
