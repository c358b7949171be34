#include "command_line.h"

#include "data_folder.h"
#include "version.h"

#include <QStringList>

#include <cstdio>

namespace desktop {

namespace {

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
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    if (!m_parser.parse(arguments))
        return refuse(m_parser.errorText());
    if (!m_parser.positionalArguments().isEmpty())
        return refuse(QStringLiteral("Unexpected argument '%1'.").arg(m_parser.positionalArguments().first()));
    if (m_parser.isSet(QStringLiteral("help"))) {
        printOut(m_usage);
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
