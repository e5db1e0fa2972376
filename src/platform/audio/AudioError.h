#pragma once

#include <QString>
#include <stdexcept>

namespace quillet {

// The one exception type of the audio engine; what() is a sentence a person can read (UTF-8).
class AudioError : public std::runtime_error {
public:
    explicit AudioError(const QString& message) : std::runtime_error(message.toStdString()) {}
};

}  // namespace quillet
