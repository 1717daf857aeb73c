// "meteostation.ini": what is saved comes back, other groups of the file stay, a missing file
// gives the defaults, bad values and damaged or unwritable files are told.
#include "settings/meteostation_file.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(SettingsFile, SavedSettingsComeBackBesideOtherGroups)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    ASSERT_TRUE(testsupport::WriteFileBytes(settings::MeteostationFileName, "[publishing]\nstation=Дача\n"));

    // Nothing saved yet: the defaults, every alarm off.
    const auto fresh = settings::LoadAlarmSettings();
    EXPECT_EQ(fresh.Settings, weather::TAlarmSettings{});
    EXPECT_TRUE(fresh.Problem.isEmpty());
    EXPECT_FALSE(fresh.Settings.FrostOn || fresh.Settings.HeatOn || fresh.Settings.PressureFallOn ||
                 fresh.Settings.HumidityOn || fresh.Settings.SilenceOn || fresh.Settings.ArchiveFailureOn);

    weather::TAlarmSettings alarms;
    alarms.FrostOn = true;
    alarms.FrostBelowC = -3;
    alarms.HumidityOn = true;
    alarms.HumidityLowPercent = 40;
    alarms.HumidityHighPercent = 60;
    alarms.SilenceMinutes = 90;
    alarms.ArchiveFailureOn = true;
    EXPECT_EQ(settings::SaveAlarmSettings(alarms), QString());
    const weather::TForecastSettings forecast{312, weather::THemisphere::South};
    EXPECT_EQ(settings::SaveForecastSettings(forecast), QString());

    EXPECT_FALSE(settings::LoadTraySettings().Settings.CloseToTray);
    EXPECT_EQ(settings::SaveTraySettings({true}), QString());

    EXPECT_EQ(settings::LoadAlarmSettings().Settings, alarms);
    EXPECT_EQ(settings::LoadForecastSettings().Settings, forecast);
    EXPECT_TRUE(settings::LoadTraySettings().Settings.CloseToTray);
    const QByteArray file = testsupport::ReadFileBytes(settings::MeteostationFileName);
    EXPECT_TRUE(file.contains("[alarms]")) << file.toStdString();
    EXPECT_TRUE(file.contains("frost_below=-3")) << file.toStdString();
    EXPECT_TRUE(file.contains("hemisphere=south")) << file.toStdString();
    EXPECT_TRUE(file.contains("[tray]\nclose_to_tray=true")) << file.toStdString();
    EXPECT_TRUE(QSettings(settings::MeteostationFileName, QSettings::IniFormat).value("publishing/station") ==
                QStringLiteral("Дача"));

    // Settings with a problem are refused and the file keeps what it had.
    alarms.HeatAboveC = 99;
    EXPECT_EQ(settings::SaveAlarmSettings(alarms),
              QStringLiteral("Порог жары должен быть от −50 до +60 °C, а не +99."));
    EXPECT_EQ(settings::SaveForecastSettings({9000, weather::THemisphere::North}),
              QStringLiteral("Высота над уровнем моря должна быть от −450 до 5500 м."));
    EXPECT_EQ(testsupport::ReadFileBytes(settings::MeteostationFileName), file);

    // A new file is the user's alone whatever the umask, as every file of the data folder.
    const mode_t umaskBefore = ::umask(0);
    EXPECT_EQ(settings::SaveTraySettings({true}, QStringLiteral("new.ini")), QString());
    ::umask(umaskBefore);
    struct stat info = {};
    ASSERT_EQ(::stat("new.ini", &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0600u);
}

TEST(SettingsFile, BadValuesAndUnusableFilesAreTold)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    const QString shown = QDir::toNativeSeparators(QDir::current().absoluteFilePath(settings::MeteostationFileName));

    ASSERT_TRUE(testsupport::WriteFileBytes(settings::MeteostationFileName,
                                            "[alarms]\nfrost=yes\nfrost_below=-7\nheat=true\nheat_above=200\n"
                                            "humidity_low=50\nhumidity_high=52\nsilence_minutes=ten\n"
                                            "[forecast]\nelevation_m=150\nhemisphere=east\n"));
    const auto alarms = settings::LoadAlarmSettings();
    weather::TAlarmSettings expected;
    expected.FrostBelowC = -7;
    expected.HeatOn = true;
    EXPECT_EQ(alarms.Settings, expected);
    EXPECT_EQ(alarms.Problem,
              QStringLiteral("В файле настроек «%1» неверные значения (frost, heat_above, "
                             "silence_minutes, humidity_low, humidity_high); вместо них взяты "
                             "значения по умолчанию.")
                  .arg(shown));
    const auto forecast = settings::LoadForecastSettings();
    EXPECT_EQ(forecast.Settings, (weather::TForecastSettings{150, weather::THemisphere::North}));
    EXPECT_TRUE(forecast.Problem.contains(QStringLiteral("(hemisphere)"))) << forecast.Problem.toStdString();

    // A damaged file: what can be read of it, the rest by default, and a save writes it anew. (Qt
    // tells of the damage only when it first reads a file, so this one has a name of its own.)
    const QString damagedPath = QStringLiteral("damaged.ini");
    ASSERT_TRUE(testsupport::WriteFileBytes(damagedPath, "[alarms\nfrost=true\n"));
    const auto damaged = settings::LoadAlarmSettings(damagedPath);
    EXPECT_TRUE(damaged.Settings.FrostOn);
    EXPECT_EQ(damaged.Problem,
              QStringLiteral("Файл настроек «%1» повреждён; что из него не прочитать, взято по умолчанию.")
                  .arg(QDir::toNativeSeparators(QDir::current().absoluteFilePath(damagedPath))));
    EXPECT_EQ(settings::SaveAlarmSettings(expected, damagedPath), QString());
    EXPECT_EQ(settings::LoadAlarmSettings(damagedPath).Settings, expected);

    // A folder where the file should be: nothing to read, nothing can be written.
    ASSERT_TRUE(QFile::remove(settings::MeteostationFileName));
    ASSERT_TRUE(QDir().mkdir(settings::MeteostationFileName));
    const auto unreadable = settings::LoadAlarmSettings();
    EXPECT_EQ(unreadable.Settings, weather::TAlarmSettings{});
    EXPECT_EQ(unreadable.Problem,
              QStringLiteral("Файл настроек «%1» не удалось прочитать; взяты настройки по умолчанию.").arg(shown));
    EXPECT_TRUE(settings::SaveAlarmSettings({}).startsWith(
        QStringLiteral("Не удалось сохранить настройки в файл «%1»: ").arg(shown)));

    // A file where the data folder should be.
    ASSERT_TRUE(testsupport::WriteFileBytes(QStringLiteral("met.mtb"), "FF"));
    const QString gone = folder.Path() + QStringLiteral("/met.mtb/") + settings::MeteostationFileName;
    EXPECT_EQ(settings::SaveForecastSettings({}, gone),
              QStringLiteral("Не удалось сохранить настройки в файл «%1»: папка не найдена.")
                  .arg(QDir::toNativeSeparators(gone)));
}

} // namespace
