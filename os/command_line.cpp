#include "os/command_line.h"

#include <QCommandLineParser>
#include <algorithm>

namespace os {

namespace {

const QString HelpHint = QStringLiteral("Справка: %1 --help");

QString Padded(const QString& text, qsizetype width)
{
    return text + QString(std::max<qsizetype>(0, width - text.size()), QLatin1Char(' '));
}

// An unknown option as it was typed («--colour», «-x»), without a value given to it.
QString AsTyped(const QString& name, const QStringList& arguments)
{
    for (const QString& argument : arguments.mid(1)) {
        const QString option = argument.section(QLatin1Char('='), 0, 0);
        if (option.startsWith(QLatin1Char('-')) &&
            QStringView(option).mid(option.startsWith(QStringLiteral("--")) ? 2 : 1) == name)
            return option;
    }
    return name;
}

TCommandLineReply Refusal(const QString& reason, const TProgramUsage& usage)
{
    return {reason + QLatin1Char('\n') + HelpHint.arg(usage.Program) + QLatin1Char('\n'), true, 2};
}

} // namespace

QStringList ArgumentList(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    return arguments;
}

QString VersionText(const QString& program)
{
    return program + QStringLiteral(" " METEO_PROGRAM_VERSION);
}

QString UsageText(const TProgramUsage& usage)
{
    QString text = QStringLiteral("Использование: %1 [параметры]\n\n%2\n\n").arg(usage.Program, usage.Summary);
    text += QStringLiteral("Параметры:\n"
                           "  -h, --help     показать эту справку и выйти\n"
                           "  -v, --version  показать версию программы и выйти\n");
    for (const TProgramOption& option : usage.Options)
        text +=
            QStringLiteral("  ") + Padded(QStringLiteral("--") + option.Name, 15) + option.Meaning + QLatin1Char('\n');
    if (!usage.DataFolder.isEmpty()) {
        text += QStringLiteral("\nПапка данных: %1\n").arg(usage.DataFolder);
        for (const QString& line : usage.DataFolderNote.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
            text += QStringLiteral("  ") + line + QLatin1Char('\n');
    }
    if (!usage.Environment.empty()) {
        qsizetype width = 0;
        for (const TEnvironmentVariable& variable : usage.Environment)
            width = std::max(width, variable.Name.size());
        text += QStringLiteral("\nПеременные окружения:\n");
        for (const TEnvironmentVariable& variable : usage.Environment)
            text += QStringLiteral("  ") + Padded(variable.Name, width + 2) + variable.Meaning + QLatin1Char('\n');
    }
    return text;
}

std::optional<TCommandLineReply> ReadCommandLine(const QStringList& arguments, const TProgramUsage& usage,
                                                 TCommandLineCheck check)
{
    QCommandLineParser parser;
    // "-platformtheme" is one word (Qt's own option), never "-p -l -a ... -h ...".
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help"), QStringLiteral("?")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    parser.addOption(help);
    parser.addOption(version);
    for (const TProgramOption& option : usage.Options)
        parser.addOption(QCommandLineOption(option.Name));
    const bool understood = parser.parse(arguments);
    const QStringList unknown = parser.unknownOptionNames();
    const bool everything = check == TCommandLineCheck::Everything;

    // «--version=2»: an option of ours given a value, refused rather than half obeyed.
    if (!understood && unknown.isEmpty()) {
        if (!everything)
            return std::nullopt;
        QStringList names{QStringLiteral("-h"), QStringLiteral("--help"), QStringLiteral("-v"),
                          QStringLiteral("--version")};
        for (const TProgramOption& option : usage.Options)
            names << QStringLiteral("--") + option.Name;
        const QString last = names.takeLast();
        return Refusal(QStringLiteral("%1: параметры %2 и %3 пишутся без значения")
                           .arg(usage.Program, names.join(QStringLiteral(", ")), last),
                       usage);
    }
    if (parser.isSet(help))
        return TCommandLineReply{UsageText(usage), false, 0};
    if (parser.isSet(version))
        return TCommandLineReply{VersionText(usage.Program) + QLatin1Char('\n'), false, 0};
    if (!everything)
        return std::nullopt;
    if (!unknown.isEmpty())
        return Refusal(
            QStringLiteral("%1: неизвестный параметр «%2»").arg(usage.Program, AsTyped(unknown.first(), arguments)),
            usage);
    if (const QStringList extra = parser.positionalArguments(); !extra.isEmpty())
        return Refusal(QStringLiteral("%1: лишний аргумент «%2»").arg(usage.Program, extra.first()), usage);
    return std::nullopt;
}

std::optional<int> AnswerCommandLine(const QStringList& arguments, const TProgramUsage& usage, TCommandLineCheck check)
{
    const auto reply = ReadCommandLine(arguments, usage, check);
    if (!reply)
        return std::nullopt;
    WriteToUser(reply->Text, reply->Error);
    return reply->ExitStatus;
}

} // namespace os
