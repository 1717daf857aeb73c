// The publishing module as the programs load it: the real demo, with the module beside it,
// publishes every reading to a broker (the real program's uploads through it are station_networks'
// ProgramNetworks); the real program without it runs and says why there is no publishing; and the
// window, in this test program where no module or only a broken file lies beside it, says so on
// its «Публикация» page and works on; a module cut short is told before the loader touches it.
#include "os/library_image.h"
#include "publish/mqtt/mqtt_settings.h"
#include "publish/secret_store.h"
#include "publish/station_id.h"
#include "tests/support/e2e_support.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/safety_support.h"

#include <QBuffer>
#include <QLabel>
#include <QTemporaryDir>
#include <csignal>
#include <sys/wait.h>

namespace {

using testsupport::PumpUntil;
using testsupport::ReadFileBytes;
using testsupport::TMqttBroker;

const QString NoBus = QStringLiteral("DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus");

bool EndedWell(const std::optional<int>& status)
{
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

TEST(PublishingModule, TheDemoPublishesItsReadingsThroughTheModule)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString xdg = scratch.filePath(QStringLiteral("xdg"));
    const QString folder = xdg + QStringLiteral("/meteostation/demo");
    ASSERT_TRUE(QDir().mkpath(folder));
    // No password store answers here, in the test or the demo: the password goes to the user-only file.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");

    // Every report to the test's broker, with the password kept where the page keeps it.
    const QString brokerFolder = scratch.filePath(QStringLiteral("broker"));
    ASSERT_TRUE(QDir().mkpath(brokerFolder));
    TMqttBroker broker(brokerFolder);
    ASSERT_TRUE(broker.Start()) << broker.Why().toStdString();
    publish::TMqttSettings mqtt;
    mqtt.Enabled = true;
    mqtt.Host = QStringLiteral("127.0.0.1");
    mqtt.Port = broker.Port();
    mqtt.User = TMqttBroker::User;
    mqtt.IntervalSeconds = 0;
    ASSERT_TRUE(publish::SaveMqttSettings(folder, mqtt).isEmpty());
    const QString stationId = publish::LoadOrCreateStationId(folder).Id;
    {
        publish::TSecretStore secrets(folder);
        std::optional<QString> kept;
        secrets.Write(publish::MqttPasswordName(stationId), TMqttBroker::Password,
                      [&kept](const QString& error) { kept = error; });
        ASSERT_TRUE(PumpUntil([&] { return kept.has_value(); }));
        ASSERT_TRUE(kept->isEmpty()) << kept->toStdString();
    }
    testsupport::TMqttWatcher watcher(broker.Port());
    ASSERT_TRUE(watcher.WaitSubscribed());

    safety::TProgram demo(scratch.path(),
                          {safety::DemoProgramPath(), {}, {QStringLiteral("XDG_DATA_HOME=") + xdg, NoBus}, {}});
    ASSERT_TRUE(demo.Started());
    EXPECT_TRUE(
        watcher.WaitFor("meteostation/" + stationId.toUtf8() + "/state",
                        [](const testsupport::TMqttSeen& seen) { return seen.Payload.contains("temperature"); }));
    demo.Signal(SIGTERM);
    EXPECT_TRUE(EndedWell(demo.Wait()));
}

TEST(PublishingModule, AProgramWithoutItsModuleRunsAndSaysWhyThereIsNoPublishing)
{
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QDir bin(scratch.filePath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir().mkpath(bin.path()) && QDir().mkpath(scratch.filePath(QStringLiteral("data"))));
    // The program alone: no module beside it, no library folder above it.
    const QString program = bin.filePath(QStringLiteral("meteostation"));
    ASSERT_TRUE(QFile::copy(safety::ProgramPath(), program));
    const QString said = scratch.filePath(QStringLiteral("said.txt"));
    safety::TProgram run(scratch.filePath(QStringLiteral("data")), {program, {}, {NoBus}, said});
    ASSERT_TRUE(run.WaitUntilReady());
    const QString missing = QStringLiteral("«%1»").arg(bin.filePath(QStringLiteral(METEO_PUBLISHING_MODULE_FILE)));
    const auto says = [&] {
        const QString text = QString::fromUtf8(ReadFileBytes(said));
        return text.contains(QStringLiteral("Публикация недоступна: нет файла модуля публикации")) &&
            text.contains(missing);
    };
    EXPECT_TRUE(PumpUntil(says)) << ReadFileBytes(said).constData();
    run.Signal(SIGTERM);
    EXPECT_TRUE(EndedWell(run.Wait()));
}

// A file in the module's place beside this test program, removed again at the end.
class TFileBesideTheProgram
{
public:
    explicit TFileBesideTheProgram(const QByteArray& content)
    {
        QFile file(Path());
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
    }
    ~TFileBesideTheProgram() { QFile::remove(Path()); }
    TFileBesideTheProgram(const TFileBesideTheProgram&) = delete;
    TFileBesideTheProgram& operator=(const TFileBesideTheProgram&) = delete;
    static QString Path()
    {
        return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral(METEO_PUBLISHING_MODULE_FILE));
    }
};

class WindowWithoutModule : public e2e::StationE2E
{
protected:
    // The window's publishing page once the window is up; empty when it shows no message.
    QString PageSays()
    {
        ClickTab(TFormPage::Publish);
        EXPECT_EQ(Form->Publishing, nullptr);
        EXPECT_EQ(Form->PublishPage1, nullptr);
        if (!Form->PublishUnavailableLabel || !Form->PublishUnavailableLabel->isVisible())
            return {};
        return Form->PublishUnavailableLabel->text();
    }
};

TEST_F(WindowWithoutModule, ThePublishingPageSaysWhyAndTheStationWorksOn)
{
    QFile::remove(TFileBesideTheProgram::Path());
    ConnectStation();
    const QString missing = PageSays();
    EXPECT_TRUE(missing.startsWith(QStringLiteral("Публикация недоступна: нет файла модуля публикации (искали «%1»")
                                       .arg(TFileBesideTheProgram::Path())))
        << missing.toStdString();
    EXPECT_TRUE(missing.contains(QStringLiteral("остальное в программе работает как обычно")));
    // The publishing page streams; its readings reach no publisher and are shown on the readings page.
    ASSERT_TRUE(Advance(3000));
    ClickTab(TFormPage::Readings);
    ASSERT_TRUE(Advance(1000));
    EXPECT_NE(Form->Panel3->Caption(), OutdoorPlaceholder);

    // A file that is no library in its place: the reason names it and gives the system's words.
    Form.reset();
    const TFileBesideTheProgram broken("no library");
    CreateForm();
    const QString unloadable = PageSays();
    EXPECT_TRUE(unloadable.startsWith(QStringLiteral("Публикация недоступна: модуль публикации «%1» не загружается: ")
                                          .arg(TFileBesideTheProgram::Path())))
        << unloadable.toStdString();

    // The module cut short, as a full disk during an upgrade leaves it; a library without the
    // module's function. Each is named, and the window is up.
    const QByteArray module = ReadFileBytes(QStringLiteral(METEO_PUBLISHING_MODULE_PATH));
    ASSERT_GT(module.size(), 200000);
    const QByteArray otherLibrary = ReadFileBytes(QStringLiteral("/usr/lib/x86_64-linux-gnu/libz.so.1"));
    const std::vector<std::pair<QByteArray, QString>> files{
        {module.left(200000), QStringLiteral("Публикация недоступна: файл «%1» повреждён")},
        {otherLibrary,
         QStringLiteral("Публикация недоступна: файл «%1» — не модуль публикации: в нём нет функции "
                        "«MeteoCreatePublishing»")},
    };
    for (const auto& [bytes, says] : files) {
        Form.reset();
        const TFileBesideTheProgram file(bytes);
        CreateForm();
        const QString text = PageSays();
        EXPECT_TRUE(text.startsWith(says.arg(TFileBesideTheProgram::Path()))) << text.toStdString();
    }
}

// Libraries of both formats, whole and cut where an upgrade on a full disk may cut them: the cut
// ones are told, whole ones and files of another kind are left to the loader.
TEST(PublishingModuleFile, ALibraryCutShortIsToldBeforeTheLoaderMapsIt)
{
    std::vector<std::pair<os::TImageFormat, QByteArray>> libraries{
        {os::TImageFormat::Elf, ReadFileBytes(QStringLiteral(METEO_PUBLISHING_MODULE_PATH))}};
    for (const char* dll :
         {"/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernel32.dll", "/usr/x86_64-w64-mingw32/lib/zlib1.dll"})
        if (QFile::exists(QLatin1String(dll))) {
            libraries.emplace_back(os::TImageFormat::Pe, ReadFileBytes(QLatin1String(dll)));
            break;
        }
    ASSERT_EQ(libraries.size(), 2U) << "no DLL of wine or mingw-w64 to read";
    for (const auto& [format, whole] : libraries) {
        ASSERT_GT(whole.size(), 60000);
        const std::vector<std::pair<QByteArray, bool>> cases{
            {whole, false},
            {whole.left(whole.size() - 1), true},
            {whole.left(50000), true},
            {whole.left(1000), true},
            {whole.left(30), true},
            {"no library", false},
        };
        for (const auto& [bytes, cut] : cases) {
            SCOPED_TRACE(bytes.size());
            QBuffer file;
            file.setData(bytes);
            ASSERT_TRUE(file.open(QIODevice::ReadOnly));
            EXPECT_EQ(os::ImageIsCutShort(file, format), cut);
        }
    }
}

} // namespace
