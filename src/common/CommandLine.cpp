#include "common/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>
#include <cstdio>

#include "common/ProgramInfo.h"

namespace quillet {

std::optional<int> AnswerInfoOptions(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Quillet cuts a chosen stretch out of MP3, WAV, WMA and OGG files and joins the chosen\n"
        "stretches of several files into one."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Displays this help and exits."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Displays the version and exits."));
    parser.addOption(help);
    parser.addOption(version);
    // Qt's own options (-platform, -style, ...) are not ours to refuse; QApplication takes them.
    parser.parse(arguments);

    if (parser.isSet(help)) {
        // The usage line names the program as it was started, which only an application
        // object knows; a core one needs no display.
        QCoreApplication app(argc, argv);
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("quillet %s\n", qPrintable(ProgramVersion()));
        return 0;
    }
    return std::nullopt;
}

}  // namespace quillet
