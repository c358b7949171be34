#include "command_line.h"

#include "data_folder.h"
#include "version.h"

#include <QStringList>

#include <cstdio>

namespace desktop {

namespace {

// The options every Qt program takes, as Qt documents them for
// QGuiApplication and QApplication, with one dash or two. They are left in
// argv for the application object to apply.
struct QtOption {
    const char *name;
    bool valued;       // the value follows as the next argument
    bool equalsValue;  // the value may also follow '=' (-style=fusion)
};
constexpr QtOption kQtOptions[] = {
    {"platform", true, false},      {"platformpluginpath", true, false}, {"platformtheme", true, false},
    {"plugin", true, false},        {"qwindowgeometry", true, false},    {"qwindowicon", true, false},
    {"qwindowtitle", true, false},  {"session", true, false},            {"display", true, false},
    {"geometry", true, false},      {"style", true, true},               {"stylesheet", true, true},
    {"qmljsdebugger", false, true}, {"reverse", false, false},           {"widgetcount", false, false},
    {"nograb", false, false},       {"dograb", false, false},
};

// The Qt option `argument` is, if it is one, and whether its value is in it.
const QtOption *qtOption(const QString &argument, bool *valueIncluded)
{
    if (!argument.startsWith(u'-') || argument.size() < 2)
        return nullptr;
    const QString bare = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const QtOption &option : kQtOptions) {
        const QLatin1String name(option.name);
        if (bare == name && (option.valued || !option.equalsValue)) {
            *valueIncluded = false;
            return &option;
        }
        if (option.equalsValue && bare.startsWith(QString(name) + u'=')) {
            *valueIncluded = true;
            return &option;
        }
    }
    return nullptr;
}

void print(std::FILE *stream, const QString &text)
{
    // Text mode: on Windows the C library writes "\n" as CR LF.
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void printOut(const QString &text) { print(stdout, text); }
void printError(const QString &text) { print(stderr, text); }

CommandLine::CommandLine(QString programName, QString usage)
    : m_programName(std::move(programName)), m_usage(std::move(usage) + dataFolderUsage())
{
    m_parser.addOption(QCommandLineOption(QStringLiteral("help")));
    m_parser.addOption(QCommandLineOption(QStringLiteral("version")));
    m_parser.addOption(QCommandLineOption(dataFolderOptionName(), QString(), QStringLiteral("folder")));
}

void CommandLine::addOption(const QCommandLineOption &option) { m_parser.addOption(option); }

std::optional<int> CommandLine::parse(int argc, char *argv[])
{
    // Qt's own options are passed over here and applied by the application
    // object; the rest is the program's.
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        const QString argument = QString::fromLocal8Bit(argv[i]);
        bool valueIncluded = false;
        const QtOption *option = i > 0 ? qtOption(argument, &valueIncluded) : nullptr;
        if (!option) {
            arguments << argument;
        } else if (option->valued && !valueIncluded) {
            if (++i == argc)
                return refuse(QStringLiteral("Missing value after '%1'.").arg(argument));
        }
    }
    if (!m_parser.parse(arguments))
        return refuse(m_parser.errorText());
    if (!m_parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument '%1'.").arg(m_parser.positionalArguments().first()));
    if (m_parser.isSet(QStringLiteral("help"))) {
        printOut(m_usage + QStringLiteral("Qt's own options (-platform NAME, -style NAME, -stylesheet FILE, -reverse, "
                                          "-display, -geometry,\n-qwindowgeometry, -session, -plugin, -widgetcount...) "
                                          "work as in every Qt program.\n"));
        return kExitOk;
    }
    if (m_parser.isSet(QStringLiteral("version"))) {
        printOut(QStringLiteral("%1 %2\n").arg(m_programName, QLatin1String(kitVersion)));
        return kExitOk;
    }
    if (m_parser.isSet(dataFolderOptionName())) {
        if (const auto reason = enterDataFolder(m_parser.value(dataFolderOptionName()))) {
            printError(QStringLiteral("%1: %2\n").arg(m_programName.toLower(), *reason));
            return kExitFailure;
        }
    }
    return std::nullopt;
}

int CommandLine::refuse(const QString &reason) const
{
    printError(QStringLiteral("%1: %2\n\n%3").arg(m_programName.toLower(), reason, m_usage));
    return kExitUsage;
}

} // namespace desktop
