#include "CommandLine.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

namespace app {

std::optional<int> HandleCommandLine(int argc, char* argv[])
{
    if (argc <= 1)
        return std::nullopt; // the usual start from the menu: no need for a parser at all

    // A core application only, so the parser knows the program's name and arguments without a
    // platform plugin; main() builds the real one once this one is gone.
    int coreArgc = argc;
    QCoreApplication core(coreArgc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Queues short e-mail and SMS messages and sends them through an SMTP server."));
    // "-platform" reads as one unknown option, not as -p -l -a ..., so the error names it whole.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    // Qt's own options belong to the application object that main() makes next: a session
    // manager restarts the program with "-session <id>", a user may name a platform or style.
    for (const char* name : {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                             "qwindowicon", "qwindowtitle", "session", "display", "geometry", "style",
                             "stylesheet", "name", "title"}) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char* name : {"reverse", "widgetcount", "nograb", "dograb", "sync"}) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    const QString program = QStringLiteral("brevilo");
    auto refuse = [&](const QString& why) {
        std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", qPrintable(program),
                     qPrintable(why), qPrintable(program));
        return 1;
    };
    if (!parser.parse(QCoreApplication::arguments()))
        return refuse(parser.errorText());
    if (!parser.positionalArguments().isEmpty()) // the program opens no files
        return refuse(QStringLiteral("unexpected argument '%1'.").arg(parser.positionalArguments().first()));
    if (parser.isSet(help)) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("Brevilo %s\n", BREVILO_VERSION);
        return 0;
    }
    return std::nullopt;
}

} // namespace app
