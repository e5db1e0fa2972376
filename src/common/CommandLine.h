#pragma once

#include <optional>

namespace quillet {

// --help and --version, answered on standard output before anything needs a display. Gives the
// exit code when one of them was asked for; nothing otherwise, and the program starts as usual.
std::optional<int> AnswerInfoOptions(int argc, char** argv);

}  // namespace quillet
