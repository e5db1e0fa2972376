#pragma once

#include <QStringList>
#include <optional>

namespace quillet {

// --help and --version, answered on standard output before anything needs a display. Gives the
// exit code when one of them was asked for; nothing otherwise, and the program starts as usual.
std::optional<int> AnswerInfoOptions(int argc, char** argv);

// The files and folders named on the command line, as given (options left out). Takes the
// arguments the application object leaves, without Qt's own options (-platform, -style, ...).
QStringList PathArguments(const QStringList& arguments);

}  // namespace quillet
