#pragma once

#include <QString>
#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace quillet {

// The one application-wide handler of errors that no command catches. Slots run through
// Guard, so that an error ends at the handler instead of unwinding through Qt's own frames,
// which Qt builds without exception support (their cleanup would be skipped).
using UncaughtHandler = std::function<void(const QString& message)>;
void SetUncaughtHandler(UncaughtHandler handler);
// Hands the message to the handler; without one it goes to stderr. A handler that fails
// itself is reported there too, and never leaves.
void ReportUncaught(const QString& message) noexcept;

template <typename F>
void Guard(F&& f) noexcept {
    try {
        std::forward<F>(f)();
    } catch (const std::exception& e) {
        ReportUncaught(QString::fromUtf8(e.what()));
    } catch (...) {
        ReportUncaught(QStringLiteral("An unknown error occurred."));
    }
}

// A slot that runs f through Guard. A slot without parameters takes none, so that Qt drops a
// signal's arguments as it does for any such slot.
template <typename F>
auto Guarded(F f) {
    if constexpr (std::is_invocable_v<F&>) {
        return [f = std::move(f)] { Guard(f); };
    } else {
        return [f = std::move(f)](auto&&... args) { Guard([&] { f(args...); }); };
    }
}

// The member function slot of object, run through Guard with the signal's arguments.
template <typename Object, typename... Args>
auto GuardedSlot(Object* object, void (Object::*slot)(Args...)) {
    return [object, slot](Args... args) { Guard([&] { (object->*slot)(args...); }); };
}

}  // namespace quillet
