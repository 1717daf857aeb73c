// Autostart on Linux: the XDG entry written, read back and removed in a scratch XDG_CONFIG_HOME,
// its Exec line quoted so that any program path and argument comes back as it was, an entry the
// desktop switched off counting as off, and folders that cannot be written told plainly.
#include "desktop/autostart.h"
#include "desktop/desktop_entry_exec.h"
#include "desktop/windows_command_line.h"
#include "tests/support/safety_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <gtest/gtest.h>

namespace {

// XDG_CONFIG_HOME pointed at `folder` for the object's lifetime.
class TConfigHome
{
public:
    explicit TConfigHome(const QString& folder)
        : FPrevious(qgetenv("XDG_CONFIG_HOME"))
    {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder));
    }
    ~TConfigHome() { qputenv("XDG_CONFIG_HOME", FPrevious); }

private:
    QByteArray FPrevious;
};

desktop::TAutostartEntry Entry(const QString& program)
{
    return {QStringLiteral("meteostation"),
            QStringLiteral("Метеостанция"),
            QStringLiteral("Показания метеостанции"),
            QStringLiteral("meteostation"),
            program,
            {QStringLiteral("meteostation"), QStringLiteral("--tray")}};
}

TEST(Autostart, EntryWrittenReadBackAndRemoved)
{
    testsupport::TFreshCurrentFolder scratch;
    ASSERT_TRUE(scratch.Entered());
    const TConfigHome home(scratch.Path() + QStringLiteral("/config"));
    const QString file = scratch.Path() + QStringLiteral("/config/autostart/meteostation.desktop");

    EXPECT_FALSE(desktop::ReadAutostart(QStringLiteral("meteostation")).Enabled);
    EXPECT_EQ(desktop::DisableAutostart(QStringLiteral("meteostation")), QString()); // nothing to remove

    EXPECT_EQ(desktop::EnableAutostart(Entry(QStringLiteral("/opt/Мои программы/meteostation-launcher"))), QString());
    EXPECT_EQ(QString::fromUtf8(testsupport::ReadFileBytes(file)),
              QStringLiteral("[Desktop Entry]\n"
                             "Type=Application\n"
                             "Name=Метеостанция\n"
                             "Comment=Показания метеостанции\n"
                             "Exec=\"/opt/Мои программы/meteostation-launcher\" meteostation --tray\n"
                             "Icon=meteostation\n"
                             "Terminal=false\n"
                             "X-GNOME-Autostart-enabled=true\n"));
    EXPECT_EQ(QFile::permissions(file) & (QFile::ReadOther | QFile::WriteOther), QFile::ReadOther);
    const auto state = desktop::ReadAutostart(QStringLiteral("meteostation"));
    EXPECT_TRUE(state.Enabled);
    EXPECT_EQ(state.Arguments, (QStringList{QStringLiteral("meteostation"), QStringLiteral("--tray")}));
    EXPECT_TRUE(state.StartsInTray());

    // Written again without the tray option: replaced whole, no temporary left beside it.
    auto plain = Entry(QStringLiteral("/usr/bin/meteostation-launcher"));
    plain.Arguments = QStringList{QStringLiteral("meteostation")};
    EXPECT_EQ(desktop::EnableAutostart(plain), QString());
    EXPECT_EQ(desktop::ReadAutostart(QStringLiteral("meteostation")).Arguments, plain.Arguments);
    EXPECT_FALSE(desktop::ReadAutostart(QStringLiteral("meteostation")).StartsInTray());
    EXPECT_EQ(QDir(scratch.Path() + QStringLiteral("/config/autostart")).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("meteostation.desktop")});

    // A desktop's own switch marks the entry off rather than deleting it.
    for (const QByteArray& off : {QByteArray("Hidden=true\n"), QByteArray("X-GNOME-Autostart-enabled=false\n")}) {
        ASSERT_TRUE(testsupport::WriteFileBytes(file, "[Desktop Entry]\nType=Application\nExec=meteostation\n" + off));
        EXPECT_FALSE(desktop::ReadAutostart(QStringLiteral("meteostation")).Enabled) << off.toStdString();
    }

    EXPECT_EQ(desktop::DisableAutostart(QStringLiteral("meteostation")), QString());
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_FALSE(desktop::ReadAutostart(QStringLiteral("meteostation")).Enabled);
}

TEST(Autostart, ExecLineKeepsEveryArgument)
{
    const QStringList arguments{
        QStringLiteral("plain"),       QStringLiteral("two words"),   QStringLiteral("100%"),   QStringLiteral("$HOME"),
        QStringLiteral("back\\slash"), QStringLiteral("say \"hi\""),  QStringLiteral("`tick`"), QStringLiteral(""),
        QStringLiteral("tab\there"),   QStringLiteral("Метеостанция")};
    const QString exec = desktop::ExecValue(QStringLiteral("/opt/a b/prog"), arguments);
    EXPECT_EQ(exec,
              QStringLiteral("\"/opt/a b/prog\" plain \"two words\" 100%% \"\\\\$HOME\" \"back\\\\\\\\slash\" "
                             "\"say \\\\\"hi\\\\\"\" \"\\\\`tick\\\\`\" \"\" \"tab\\there\" Метеостанция"));
    const auto back = desktop::ExecArguments(exec);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, QStringList{QStringLiteral("/opt/a b/prog")} + arguments);
    EXPECT_FALSE(desktop::ExecArguments(QStringLiteral("\"unclosed quote")).has_value());
}

// The entry as the desktop takes it: desktop-file-validate accepts it and GLib's launcher (as
// GNOME's session starts it) runs a program whose path needs quoting, a script writing down how.
TEST(Autostart, DesktopStartsTheEntryWhateverThePathHolds)
{
    const QString validate = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (validate.isEmpty() || gio.isEmpty())
        GTEST_SKIP() << "no desktop-file-validate or gio (packages desktop-file-utils, libglib2.0-bin)";
    testsupport::TFreshCurrentFolder scratch;
    ASSERT_TRUE(scratch.Entered());
    const TConfigHome home(scratch.Path() + QStringLiteral("/config"));
    const QString entryFile = scratch.Path() + QStringLiteral("/config/autostart/meteostation.desktop");
    const QString marker = scratch.Path() + QStringLiteral("/started");
    for (const QString& folder :
         {QStringLiteral("Мои программы"), QStringLiteral("100%"), QStringLiteral("$HOME"), QStringLiteral("`tick`"),
          QStringLiteral("say \"hi\""), QStringLiteral("%u $x \\ %%")}) {
        const QString program = scratch.Path() + QLatin1Char('/') + folder + QStringLiteral("/meteostation-launcher");
        ASSERT_TRUE(QDir().mkpath(QFileInfo(program).path()));
        ASSERT_TRUE(
            testsupport::WriteFileBytes(program, "#!/bin/sh\nprintf '%s\\n' \"$0 $*\" > '" + marker.toUtf8() + "'\n"));
        ASSERT_TRUE(QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        ASSERT_EQ(desktop::EnableAutostart(Entry(program)), QString());
        EXPECT_EQ(desktop::ReadAutostart(QStringLiteral("meteostation")).Arguments, Entry(program).Arguments);
        for (const QStringList& command : {QStringList{validate, entryFile}, QStringList{gio, "launch", entryFile}}) {
            QProcess run;
            run.setProcessChannelMode(QProcess::MergedChannels);
            run.start(command.first(), command.mid(1));
            ASSERT_TRUE(run.waitForFinished(testsupport::EventDeadlineMs));
            EXPECT_EQ(run.exitCode(), 0) << folder.toStdString() << ": " << run.readAll().toStdString();
        }
        const QByteArray started = program.toUtf8() + " meteostation --tray\n";
        EXPECT_TRUE(testsupport::PumpUntil([&] { return testsupport::ReadFileBytes(marker) == started; }))
            << folder.toStdString() << ": " << testsupport::ReadFileBytes(marker).toStdString();
        QFile::remove(marker);
    }
}

TEST(Autostart, RunKeyCommandLineKeepsEveryArgument)
{
    const QString program =
        QStringLiteral("C:\\Users\\Анна Петрова\\AppData\\Local\\Programs\\meteostation\\meteostation.exe");
    const QStringList arguments{
        QStringLiteral("--tray"),     QStringLiteral("two words"),      QStringLiteral(""),
        QStringLiteral("say \"hi\""), QStringLiteral("C:\\my files\\"), QStringLiteral("a\\\"b"),
        QStringLiteral("tab\there")};
    const QString line = desktop::WindowsCommandLine(program, arguments);
    EXPECT_EQ(line,
              QStringLiteral("\"%1\" --tray \"two words\" \"\" \"say \\\"hi\\\"\" \"C:\\my files\\\\\" "
                             "\"a\\\\\\\"b\" \"tab\there\"")
                  .arg(program));
    EXPECT_EQ(desktop::SplitWindowsCommandLine(line), QStringList{program} + arguments);
    // As a user may type it: extra spaces, a quote that opens mid-argument, backslashes before
    // ordinary letters.
    EXPECT_EQ(
        desktop::SplitWindowsCommandLine(QStringLiteral("  C:\\a\\prog.exe   --x=\"1 2\"  \\\\server ")),
        (QStringList{QStringLiteral("C:\\a\\prog.exe"), QStringLiteral("--x=1 2"), QStringLiteral("\\\\server")}));
}

TEST(Autostart, FoldersThatCannotBeWrittenAreTold)
{
    testsupport::TFreshCurrentFolder scratch;
    ASSERT_TRUE(scratch.Entered());
    // A file where the configuration folder should be.
    ASSERT_TRUE(testsupport::WriteFileBytes(scratch.Path() + QStringLiteral("/config"), "not a folder"));
    {
        const TConfigHome home(scratch.Path() + QStringLiteral("/config"));
        EXPECT_TRUE(desktop::EnableAutostart(Entry(QStringLiteral("/usr/bin/meteostation")))
                        .startsWith(QStringLiteral("Не удалось создать папку автозапуска «%1/config/autostart»: ")
                                        .arg(scratch.Path())));
    }

    // A read-only disk, before and after the autostart folder exists.
    safety::TMountedFolder disk("size=1m");
    if (!disk.Mounted())
        GTEST_SKIP() << "no private tmpfs for this test (" << disk.Why().toStdString() << ")";
    ASSERT_TRUE(QDir().mkpath(disk.File(QStringLiteral("made/autostart"))));
    ASSERT_TRUE(disk.MakeReadOnly());
    {
        const TConfigHome home(disk.File(QStringLiteral("fresh")));
        EXPECT_EQ(desktop::EnableAutostart(Entry(QStringLiteral("/usr/bin/meteostation"))),
                  QStringLiteral("Не удалось создать папку автозапуска «%1»: диск доступен только для чтения.")
                      .arg(disk.File(QStringLiteral("fresh/autostart"))));
    }
    const TConfigHome home(disk.File(QStringLiteral("made")));
    EXPECT_EQ(desktop::EnableAutostart(Entry(QStringLiteral("/usr/bin/meteostation"))),
              QStringLiteral("Не удалось записать файл автозапуска «%1»: диск доступен только для чтения.")
                  .arg(disk.File(QStringLiteral("made/autostart/meteostation.desktop"))));
}

} // namespace
