#pragma once

#include <QString>
#include <cstdint>

namespace quillet {

// A time as the user types it: hh:mm:ss.fff, mm:ss.fff or plain seconds (83.25, 7, 0.5), with
// up to six digits after the point. In hh:mm:ss minutes and seconds stay below 60; in mm:ss the
// minutes may run on (90:00 is an hour and a half). Either microseconds or why it was refused.
struct TypedTime {
    bool ok = false;
    int64_t micros = 0;
    QString error;
};
TypedTime ParseTypedTime(const QString& text);

// The frame nearest to a time: frame = micros * rate / 1e6, rounded to the nearest whole frame;
// a time exactly halfway between two frames goes to the later one. Rates above 1 MHz and times
// of 1000 hours and more are outside what this handles (ParseTypedTime refuses such times).
int64_t MicrosToPosition(int64_t micros, int sampleRate);

struct TypedPosition {
    bool ok = false;
    int64_t position = 0;
    QString error;
};
TypedPosition ParsePosition(const QString& text, int sampleRate);

// A position as hh:mm:ss.mmm: the nearest millisecond, halves up. Hours of 100 and more get
// more digits. A negative position or a rate of 0 or less shows 00:00:00.000.
QString FormatPosition(int64_t position, int sampleRate);

// The refusals, so that callers and tests name the same texts.
inline constexpr const char* kTimeEmpty = "Type a time as hh:mm:ss.mmm, mm:ss.mmm or seconds.";
inline constexpr const char* kTimeNegative = "A time cannot be negative.";
inline constexpr const char* kTimeCharacters =
    "A time has only digits, colons and a decimal point: hh:mm:ss.mmm, mm:ss.mmm or seconds.";
inline constexpr const char* kTimeParts = "A time has at most three parts: hh:mm:ss.mmm.";
inline constexpr const char* kTimeEmptyPart = "Every part of a time needs digits.";
inline constexpr const char* kTimeFractionPlace = "Only the seconds may have a decimal point.";
inline constexpr const char* kTimeFractionDigits =
    "At most six digits may follow the decimal point (a microsecond is finer than any sample).";
inline constexpr const char* kTimeMinutes = "Minutes must be less than 60 in hh:mm:ss.";
inline constexpr const char* kTimeSeconds = "Seconds must be less than 60 after a colon.";
inline constexpr const char* kTimeTooLarge = "A time must be less than 1000 hours.";

}  // namespace quillet
