#include "editor/TypedTime.h"

#include <QStringList>

namespace quillet {

namespace {

constexpr int64_t kMicrosPerSecond = 1'000'000;
constexpr int64_t kMaxMicros = int64_t{1000} * 3600 * kMicrosPerSecond;
constexpr int kMaxFractionDigits = 6;
constexpr int kMaxRate = 1'000'000;
// More digits than this in one part is past 1000 hours whatever the part is.
constexpr int kMaxPartDigits = 10;

TypedTime Refuse(const char* why) {
    TypedTime t;
    t.error = QString::fromLatin1(why);
    return t;
}

bool AllDigits(const QString& s) {
    for (const QChar c : s)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return false;
    return true;
}

}  // namespace

TypedTime ParseTypedTime(const QString& text) {
    const QString s = text.trimmed();
    if (s.isEmpty()) return Refuse(kTimeEmpty);
    if (s.startsWith(QLatin1Char('-'))) return Refuse(kTimeNegative);
    for (const QChar c : s) {
        const bool allowed = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                             c == QLatin1Char(':') || c == QLatin1Char('.');
        if (!allowed) return Refuse(kTimeCharacters);
    }
    const QStringList parts = s.split(QLatin1Char(':'));
    if (parts.size() > 3) return Refuse(kTimeParts);

    // The last part holds the seconds and the only fraction.
    QString seconds = parts.last();
    QString fraction;
    if (const qsizetype point = seconds.indexOf(QLatin1Char('.')); point >= 0) {
        fraction = seconds.mid(point + 1);
        seconds = seconds.left(point);
        if (fraction.contains(QLatin1Char('.'))) return Refuse(kTimeFractionPlace);
    }
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        if (parts[i].contains(QLatin1Char('.'))) return Refuse(kTimeFractionPlace);
        if (parts[i].isEmpty()) return Refuse(kTimeEmptyPart);
    }
    // "7." and ".5" are whole enough; a lone point or an empty part after a colon is not.
    if (seconds.isEmpty() && (fraction.isEmpty() || parts.size() > 1))
        return Refuse(kTimeEmptyPart);
    if (fraction.size() > kMaxFractionDigits) return Refuse(kTimeFractionDigits);
    if (seconds.size() > kMaxPartDigits) return Refuse(kTimeTooLarge);
    if (!AllDigits(seconds) || !AllDigits(fraction)) return Refuse(kTimeCharacters);

    const int64_t sec = seconds.isEmpty() ? 0 : seconds.toLongLong();
    int64_t minutes = 0;
    int64_t hours = 0;
    if (parts.size() >= 2) {
        if (sec >= 60) return Refuse(kTimeSeconds);
        if (parts[parts.size() - 2].size() > kMaxPartDigits) return Refuse(kTimeTooLarge);
        minutes = parts[parts.size() - 2].toLongLong();
    }
    if (parts.size() == 3) {
        if (minutes >= 60) return Refuse(kTimeMinutes);
        if (parts[0].size() > kMaxPartDigits) return Refuse(kTimeTooLarge);
        hours = parts[0].toLongLong();
    }
    int64_t micros = 0;
    for (int i = 0; i < kMaxFractionDigits; ++i)
        micros = micros * 10 + (i < fraction.size() ? fraction[i].digitValue() : 0);
    // Each part is below 10^10, so the sum stays far inside 64 bits before the check.
    const int64_t whole = hours * 3600 + minutes * 60 + sec;
    if (whole >= kMaxMicros / kMicrosPerSecond) return Refuse(kTimeTooLarge);
    TypedTime t;
    t.ok = true;
    t.micros = whole * kMicrosPerSecond + micros;
    return t;
}

int64_t MicrosToPosition(int64_t micros, int sampleRate) {
    // (2 * micros * rate + 10^6) / (2 * 10^6) is round-half-up of micros * rate / 10^6; below
    // 1000 hours and 1 MHz the product stays under 2^63.
    return (2 * micros * sampleRate + kMicrosPerSecond) / (2 * kMicrosPerSecond);
}

TypedPosition ParsePosition(const QString& text, int sampleRate) {
    TypedPosition p;
    const TypedTime t = ParseTypedTime(text);
    if (!t.ok) {
        p.error = t.error;
        return p;
    }
    if (sampleRate <= 0 || sampleRate > kMaxRate) {
        p.error = QStringLiteral("The file has no usable sample rate.");
        return p;
    }
    p.ok = true;
    p.position = MicrosToPosition(t.micros, sampleRate);
    return p;
}

QString FormatPosition(int64_t position, int sampleRate) {
    if (sampleRate <= 0 || position <= 0) return QStringLiteral("00:00:00.000");
    // Nearest millisecond, halves up, without floating point.
    const int64_t a = (2 * position * 1000 + sampleRate) / (2 * int64_t{sampleRate});
    return QString::asprintf("%.2lld:%.2lld:%.2lld.%.3lld", static_cast<long long>(a / 3600000),
                             static_cast<long long>(a / 60000 % 60),
                             static_cast<long long>(a / 1000 % 60),
                             static_cast<long long>(a % 1000));
}

}  // namespace quillet
