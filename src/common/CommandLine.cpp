#include "common/CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "common/ProgramInfo.h"

namespace quillet {

namespace {

struct Options {
    QCommandLineParser parser;
    QCommandLineOption help{{QStringLiteral("h"), QStringLiteral("help")},
                            QStringLiteral("Displays this help and exits.")};
    QCommandLineOption version{{QStringLiteral("v"), QStringLiteral("version")},
                               QStringLiteral("Displays the version and exits.")};

    explicit Options(const QStringList& arguments) {
        parser.setApplicationDescription(QStringLiteral(
            "Quillet cuts a chosen stretch out of MP3, WAV, WMA and OGG files and joins the "
            "chosen\nstretches of several files into one."));
        parser.addOption(help);
        parser.addOption(version);
        parser.addPositionalArgument(
            QStringLiteral("FILE|FOLDER"),
            QStringLiteral("Audio files to add to the list, and folders whose audio files "
                           "(those of their sub-folders too) are added. When Quillet already "
                           "runs, they go to its window."),
            QStringLiteral("[FILE|FOLDER...]"));
        // Options we do not know (Qt's own, -platform, -style, ...) are not ours to refuse.
        parser.parse(arguments);
    }
};

QStringList Arguments(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

}  // namespace

std::optional<int> AnswerInfoOptions(int argc, char** argv) {
    const Options options(Arguments(argc, argv));
    if (options.parser.isSet(options.help)) {
        // The usage line names the program as it was started, which only an application
        // object knows; a core one needs no display.
        QCoreApplication app(argc, argv);
        std::fputs(qPrintable(options.parser.helpText()), stdout);
        return 0;
    }
    if (options.parser.isSet(options.version)) {
        std::printf("quillet %s\n", qPrintable(ProgramVersion()));
        return 0;
    }
    return std::nullopt;
}

QStringList PathArguments(const QStringList& arguments) {
    return Options(arguments).parser.positionalArguments();
}

}  // namespace quillet
