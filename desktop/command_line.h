#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <optional>

namespace desktop {

// Exit statuses shared by the three programs' command lines.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// A program's command line, read before any window or application object
// exists, so that --help, --version and the window-less options need no
// display. Every program takes --help and --version; the rest is its own.
class CommandLine {
public:
    // `usage` is the whole --help text, in English, ending in a line end.
    CommandLine(QString programName, QString usage);

    void addOption(const QCommandLineOption &option);

    // Reads argv, passing over the options of every Qt program (-platform,
    // -style, -reverse...), which the application object made later from
    // the same argv applies. Returns the exit status when the program must
    // end now:
    // 0 after --help (usage on standard output) or --version ("<Name>
    // <version>"), 2 after an unknown option, a missing value or a stray
    // argument (usage on standard error), 1 when the --data-dir folder cannot
    // be made or entered (the reason on standard error). Returns nothing when
    // the program goes on, in the --data-dir folder when one is given.
    std::optional<int> parse(int argc, char *argv[]);

    bool isSet(const QString &name) const { return m_parser.isSet(name); }
    QString value(const QString &name) const { return m_parser.value(name); }
    // Every value of an option given more than once.
    QStringList values(const QString &name) const { return m_parser.values(name); }

    // A value the program cannot use: the reason and the usage on standard
    // error. Returns the usage status 2.
    int refuse(const QString &reason) const;

private:
    QString m_programName;
    QString m_usage;
    QCommandLineParser m_parser;
};

// Text to standard output and standard error, in the encoding of the
// terminal. "\n" becomes the platform's line end on the way out.
void printOut(const QString &text);
void printError(const QString &text);

} // namespace desktop
