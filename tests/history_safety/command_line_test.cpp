// The programs' command line: --help and --version answer in Russian without a display and touch
// no file (neither in the folder they start in nor in the data folder); anything else on the line
// is refused with status 2, also before any file is touched. And the reading of the line itself,
// where Qt's own options must not be taken for the program's, nor the program's own switch for
// something unknown.
#include "os/command_line.h"
#include "station/program_usage.h"
#include "tests/support/safety_support.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct TRun
{
    int Status = -1;
    QString Output, Errors;
};

// Runs `program` in an empty folder, with the data folder's variables pointing into another empty
// one and no display at all (offscreen only when `withPlatform`).
TRun RunIn(const QString& folder, const QString& dataHome, const QString& program, const QStringList& arguments,
           bool withPlatform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove(QStringLiteral("DISPLAY"));
    environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
    environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
    if (withPlatform)
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(folder);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.Status = process.exitCode();
    run.Output = QString::fromUtf8(process.readAllStandardOutput());
    run.Errors = QString::fromUtf8(process.readAllStandardError());
    return run;
}

TEST(CommandLine, HelpVersionAndUnknownOptionsTouchNoFile)
{
    struct TCase
    {
        QString Program;
        QStringList Arguments;
        int Status;
        QStringList Output; // texts the standard output holds
        QString Errors;     // a text the error output holds
    };
    const QString program = safety::ProgramPath();
    const QString demo = safety::DemoProgramPath();
    const QString hidList = QStringLiteral(METEOSTATION_HID_LIST_PROGRAM);
    const QStringList usage{QStringLiteral("Параметры:\n  -h, --help"), QStringLiteral("  -v, --version")};
    QStringList windowUsage = usage +
        QStringList{
            QStringLiteral("met.mtb"), QStringLiteral("XDG_DATA_HOME  "),
            QStringLiteral("  -v, --version  показать версию программы и выйти\n  --tray         начать в трее"),
            QStringLiteral("Переменные окружения:")};
    // The variables the README names for pointing the weather networks at stand-ins, a line each.
    for (const char* name : {"METEO_NARODMON_TCP_URL", "METEO_NARODMON_URL", "METEO_WUNDERGROUND_URL",
                             "METEO_WINDY_URL", "METEO_WOW_URL", "METEO_PWSWEATHER_URL", "METEO_CWOP_URL"})
        windowUsage << QStringLiteral("\n  %1  ").arg(QLatin1String(name));
    const TCase cases[] = {
        {program,
         {QStringLiteral("--help")},
         0,
         windowUsage + QStringList{QStringLiteral("Использование: meteostation [параметры]")},
         {}},
        {program, {QStringLiteral("-h")}, 0, windowUsage, {}},
        {program, {QStringLiteral("--version")}, 0, {QStringLiteral("meteostation 1.2")}, {}},
        {program, {QStringLiteral("--bogus")}, 2, {}, QStringLiteral("meteostation: неизвестный параметр «--bogus»")},
        {program, {QStringLiteral("met.mtb")}, 2, {}, QStringLiteral("meteostation: лишний аргумент «met.mtb»")},
        {demo,
         {QStringLiteral("--help")},
         0,
         windowUsage + QStringList{QStringLiteral("Использование: meteostation-demo"), QStringLiteral("/demo\n")},
         {}},
        {demo, {QStringLiteral("-v")}, 0, {QStringLiteral("meteostation-demo 1.2")}, {}},
        {demo, {QStringLiteral("-x")}, 2, {}, QStringLiteral("Справка: meteostation-demo --help")},
        {hidList, {QStringLiteral("--help")}, 0, usage + QStringList{QStringLiteral("Код выхода 0")}, {}},
        {hidList, {QStringLiteral("--version")}, 0, {QStringLiteral("meteostation-hid-list 1.2")}, {}},
        {hidList, {QStringLiteral("--all")}, 2, {}, QStringLiteral("неизвестный параметр «--all»")},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(
            (QFileInfo(c.Program).fileName() + QLatin1Char(' ') + c.Arguments.join(QLatin1Char(' '))).toStdString());
        QTemporaryDir folder;
        QTemporaryDir dataHome;
        ASSERT_TRUE(folder.isValid() && dataHome.isValid());
        // Help and version need no display; a refusal comes once Qt has taken its own options.
        const TRun run = RunIn(folder.path(), dataHome.path(), c.Program, c.Arguments, c.Status != 0);
        EXPECT_EQ(run.Status, c.Status) << run.Errors.toStdString();
        for (const QString& text : c.Output)
            EXPECT_TRUE(run.Output.contains(text)) << text.toStdString() << " in\n" << run.Output.toStdString();
        if (c.Status != 0) {
            EXPECT_TRUE(run.Errors.contains(c.Errors)) << run.Errors.toStdString();
        }
        EXPECT_EQ(safety::FolderEntries(folder.path()), QStringList{});
        EXPECT_EQ(safety::FolderEntries(dataHome.path()), QStringList{});
    }
}

TEST(CommandLine, QtsOwnOptionsAreNotTheProgramsAndHelpComesFirst)
{
    using os::TCommandLineCheck;
    struct TCase
    {
        QStringList Arguments; // after the program's name
        TCommandLineCheck Check;
        std::optional<int> Status; // none: the program runs
        bool Error;
    };
    const TCase cases[] = {
        {{}, TCommandLineCheck::Everything, std::nullopt, false},
        // Qt's own options, left for the application object: "-platformtheme" holds an h, "-reverse" a v.
        {{QStringLiteral("-platformtheme"), QStringLiteral("gtk3"), QStringLiteral("-reverse")},
         TCommandLineCheck::HelpAndVersion,
         std::nullopt,
         false},
        {{QStringLiteral("--bogus"), QStringLiteral("--help")}, TCommandLineCheck::HelpAndVersion, 0, false},
        {{QStringLiteral("-?")}, TCommandLineCheck::HelpAndVersion, 0, false},
        {{QStringLiteral("--bogus")}, TCommandLineCheck::HelpAndVersion, std::nullopt, false},
        {{QStringLiteral("--bogus")}, TCommandLineCheck::Everything, 2, true},
        {{QStringLiteral("--version=2")}, TCommandLineCheck::Everything, 2, true},
        {{QStringLiteral("-hv")}, TCommandLineCheck::Everything, 2, true},
        // The autostart entry's switch is the program's own; it takes no value.
        {{QStringLiteral("--tray")}, TCommandLineCheck::Everything, std::nullopt, false},
        {{QStringLiteral("--tray=yes")}, TCommandLineCheck::Everything, 2, true},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Arguments.join(QLatin1Char(' ')).toStdString());
        const auto reply =
            os::ReadCommandLine(QStringList{QStringLiteral("meteostation")} + c.Arguments, ProgramUsage(), c.Check);
        ASSERT_EQ(reply.has_value(), c.Status.has_value());
        if (reply) {
            EXPECT_EQ(reply->ExitStatus, *c.Status);
            EXPECT_EQ(reply->Error, c.Error);
        }
    }
}

} // namespace
