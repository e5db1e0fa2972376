#include "common/Guard.h"

#include <cstdio>

namespace quillet {

namespace {

UncaughtHandler& Handler() {
    static UncaughtHandler handler;
    return handler;
}

}  // namespace

void SetUncaughtHandler(UncaughtHandler handler) { Handler() = std::move(handler); }

void ReportUncaught(const QString& message) noexcept {
    try {
        if (Handler()) {
            Handler()(message);
            return;
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n%s\n", qPrintable(message), e.what());
        return;
    } catch (...) {
    }
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace quillet
