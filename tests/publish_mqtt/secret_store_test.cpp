// The secret store where no password store answers (a session bus of the test's own without a
// Secret Service, and no bus at all): the password goes to the user-only file, comes back, goes
// away, and is never anywhere else; a link in the file's place is refused and its target left alone.
#include "publish/secret_store.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/test_support.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using namespace publish;

// Runs one operation of the store to its end; false when its function was never called.
template <typename TStart>
bool Finish(TStart start)
{
    bool called = false;
    bool calledInside = true;
    start([&] { called = true; });
    calledInside = called;
    return testsupport::PumpUntil([&] { return called; }) && !calledInside;
}

mode_t Mode(const QString& path)
{
    struct stat info
    {};
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? (info.st_mode & 0777) : 0;
}

// Whether any file under `folder` but the store's own holds `secret`.
bool SecretElsewhere(const QString& folder, const QString& storeFile, const QString& secret)
{
    QDirIterator files(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = files.next();
        if (path != storeFile && testsupport::ReadFileBytes(path).contains(secret.toUtf8()))
            return true;
    }
    return false;
}

void CheckFileFallback(const QString& folder)
{
    TSecretStore store(folder);
    store.SetStoreTimeoutMs(testsupport::EventDeadlineMs);
    const QString key = QStringLiteral("mqtt-password/0123456789ab");
    const QString secret = QStringLiteral("пароль с пробелом \" и кавычкой");
    std::vector<TSecretBackend> told;
    QObject::connect(&store, &TSecretStore::BackendChanged, [&](TSecretBackend backend) { told.push_back(backend); });

    QString writeError = QStringLiteral("not called");
    ASSERT_TRUE(Finish(
        [&](auto done) { store.Write(key, secret, [&, done](const QString& error) { writeError = error, done(); }); }));
    EXPECT_EQ(writeError, QString());
    EXPECT_EQ(store.Backend(), TSecretBackend::UserFile);
    EXPECT_EQ(told, std::vector<TSecretBackend>{TSecretBackend::UserFile});
    EXPECT_EQ(Mode(store.FilePath()), 0600u);
    EXPECT_TRUE(SecretBackendText(store.Backend(), store.FilePath()).contains(store.FilePath()));
    EXPECT_FALSE(SecretElsewhere(folder, store.FilePath(), secret));

    // Another run of the program finds it; a file someone opened to others is closed again.
    ASSERT_EQ(::chmod(store.FilePath().toLocal8Bit().constData(), 0644), 0);
    TSecretStore again(folder);
    TSecretRead read;
    ASSERT_TRUE(Finish([&](auto done) { again.Read(key, [&, done](const TSecretRead& r) { read = r, done(); }); }));
    EXPECT_EQ(read.Error, QString());
    EXPECT_EQ(read.Secret, secret);
    EXPECT_EQ(Mode(again.FilePath()), 0600u);

    // Operations run in the order asked: the removal comes before the read after it.
    bool removed = false;
    TSecretRead afterRemoval{QStringLiteral("x"), {}};
    again.Remove(key, [&](const QString& error) { removed = error.isEmpty(); });
    again.Read(key, [&](const TSecretRead& r) { afterRemoval = r; });
    ASSERT_TRUE(testsupport::PumpUntil([&] { return !afterRemoval.Secret.has_value(); }));
    EXPECT_TRUE(removed);
    EXPECT_EQ(afterRemoval.Error, QString());
    EXPECT_FALSE(QFile::exists(again.FilePath()));

    // A damaged file says so on reading, and a new password replaces it.
    ASSERT_TRUE(testsupport::WriteFileBytes(again.FilePath(), "{not json"));
    ASSERT_TRUE(Finish([&](auto done) { again.Read(key, [&, done](const TSecretRead& r) { read = r, done(); }); }));
    EXPECT_TRUE(read.Error.contains(QStringLiteral("повреждён"))) << read.Error.toStdString();
    EXPECT_FALSE(read.Error.contains(secret));
    ASSERT_TRUE(Finish(
        [&](auto done) { again.Write(key, secret, [&, done](const QString& error) { writeError = error, done(); }); }));
    EXPECT_EQ(writeError, QString());
    ASSERT_TRUE(Finish([&](auto done) { again.Read(key, [&, done](const TSecretRead& r) { read = r, done(); }); }));
    EXPECT_EQ(read.Secret, secret);
}

// A link in the file's place, to another file or to none: every operation says so, and neither
// the link nor what it points to is changed, made, or given a secret.
TEST(SecretStore, ALinkInTheFilesPlaceIsRefusedAndItsTargetLeftAlone)
{
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    QTemporaryDir folder;
    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(testsupport::WriteFileBytes(victim, "{}") && ::chmod(QFile::encodeName(victim).constData(), 0644) == 0);
    for (const QString& target : {victim, elsewhere.filePath(QStringLiteral("none"))}) {
        TSecretStore store(folder.path());
        QFile::remove(store.FilePath());
        ASSERT_TRUE(QFile::link(target, store.FilePath()));
        const QString refusal =
            QStringLiteral("Файл «%1» — символическая ссылка; программа не читает и не пишет секреты по ссылке")
                .arg(store.FilePath());
        TSecretRead read;
        std::vector<QString> errors;
        ASSERT_TRUE(Finish([&](auto done) {
            store.Write(QStringLiteral("key"), QStringLiteral("secret"),
                        [&](const QString& e) { errors.push_back(e); });
            store.Read(QStringLiteral("key"), [&](const TSecretRead& r) { read = r; });
            store.Remove(QStringLiteral("key"), [&, done](const QString& e) { errors.push_back(e), done(); });
        }));
        EXPECT_EQ(errors, (std::vector<QString>{refusal, refusal}));
        EXPECT_EQ(read.Error, refusal);
        EXPECT_EQ(QFileInfo(store.FilePath()).symLinkTarget(), target);
    }
    EXPECT_EQ(testsupport::ReadFileBytes(victim), "{}");
    EXPECT_EQ(Mode(victim), 0644u);
    EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("none"))));
}

// A session bus of the test's own that starts no service by itself (the system's session bus
// would start a password store on the first question). Empty address when it did not start.
QByteArray StartBus(QProcess& bus, const QString& folder)
{
    const QString config = QDir(folder).filePath(QStringLiteral("bus.conf"));
    testsupport::WriteFileBytes(config,
                                R"(<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)");
    testsupport::EndWithTestProgram(bus);
    bus.start(QStringLiteral("dbus-daemon"), {"--config-file=" + config, "--nofork", "--print-address=1"});
    if (!testsupport::PumpUntil([&] { return bus.canReadLine() || bus.state() == QProcess::NotRunning; }))
        return {};
    return bus.readLine().trimmed();
}

TEST(SecretStore, WithoutAPasswordStoreTheUserOnlyFileKeepsThePassword)
{
    QTemporaryDir busFolder;
    QProcess bus;
    const QByteArray address = StartBus(bus, busFolder.path());
    ASSERT_FALSE(address.isEmpty()) << bus.readAllStandardError().toStdString();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    QTemporaryDir folder;
    CheckFileFallback(folder.path());
    bus.kill();
    bus.waitForFinished();

    // And with no bus at all.
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    QTemporaryDir another;
    CheckFileFallback(another.path());
}

// The password store of a desktop: GNOME's keyring daemon on the test's own bus, its keyring in
// the test's folder, unlocked by a password of the test. (A program of its own: the desktop's
// libraries keep the first session bus they met for the whole process.)
TEST(SecretStoreKeyring, WithAPasswordStoreThePasswordLivesThereAlone)
{
    QTemporaryDir home;
    const QDir dir(home.path());
    ASSERT_TRUE(dir.mkpath("data") && dir.mkpath("run") && dir.mkpath("config"));
    QFile::setPermissions(dir.filePath("run"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.filePath("data").toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", dir.filePath("config").toLocal8Bit());
    qputenv("XDG_RUNTIME_DIR", dir.filePath("run").toLocal8Bit());
    QProcess bus;
    const QByteArray address = StartBus(bus, home.path());
    ASSERT_FALSE(address.isEmpty()) << bus.readAllStandardError().toStdString();
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);

    QProcess keyring;
    keyring.setProcessChannelMode(QProcess::MergedChannels);
    testsupport::EndWithTestProgram(keyring);
    keyring.start(QStringLiteral("gnome-keyring-daemon"), {"--foreground", "--components=secrets", "--unlock"});
    ASSERT_TRUE(keyring.waitForStarted()) << keyring.errorString().toStdString();
    keyring.write("keyring-password\n");
    keyring.closeWriteChannel();
    ASSERT_TRUE(testsupport::PumpUntil([&] {
        QProcess ask;
        ask.start(QStringLiteral("dbus-send"),
                  {"--session", "--print-reply", "--dest=org.freedesktop.DBus", "/",
                   "org.freedesktop.DBus.NameHasOwner", "string:org.freedesktop.secrets"});
        return ask.waitForFinished() && ask.readAll().contains("boolean true");
    })) << keyring.readAll().toStdString();

    QTemporaryDir folder;
    TSecretStore store(folder.path());
    const QString key = QStringLiteral("mqtt-password/0123456789ab");
    const QString secret = QStringLiteral("пароль-в-хранилище");
    QString error = QStringLiteral("not called");
    ASSERT_TRUE(
        Finish([&](auto done) { store.Write(key, secret, [&, done](const QString& e) { error = e, done(); }); }));
    EXPECT_EQ(error, QString());
    EXPECT_EQ(store.Backend(), TSecretBackend::SystemStore);
    EXPECT_FALSE(QFile::exists(store.FilePath()));
    EXPECT_FALSE(SecretElsewhere(folder.path(), {}, secret));

    TSecretStore again(folder.path());
    TSecretRead read;
    ASSERT_TRUE(Finish([&](auto done) { again.Read(key, [&, done](const TSecretRead& r) { read = r, done(); }); }));
    EXPECT_EQ(read.Error, QString());
    EXPECT_EQ(read.Secret, secret);
    EXPECT_EQ(again.Backend(), TSecretBackend::SystemStore);

    // A copy an earlier run left in the file while no store answered goes once the store has it.
    ASSERT_TRUE(testsupport::WriteFileBytes(again.FilePath(), R"({"mqtt-password/0123456789ab":"old"})"));
    ASSERT_TRUE(
        Finish([&](auto done) { again.Write(key, secret, [&, done](const QString& e) { error = e, done(); }); }));
    EXPECT_EQ(error, QString());
    EXPECT_FALSE(QFile::exists(again.FilePath()));

    ASSERT_TRUE(Finish([&](auto done) { again.Remove(key, [&, done](const QString& e) { error = e, done(); }); }));
    EXPECT_EQ(error, QString());
    ASSERT_TRUE(Finish([&](auto done) { again.Read(key, [&, done](const TSecretRead& r) { read = r, done(); }); }));
    EXPECT_FALSE(read.Secret.has_value());
    keyring.kill();
    keyring.waitForFinished();
    bus.kill();
    bus.waitForFinished();
}

} // namespace
