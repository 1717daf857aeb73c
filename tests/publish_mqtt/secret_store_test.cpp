// The secret store where no password store answers (a session bus of the test's own without a
// Secret Service, and no bus at all): the password goes to the user-only file, comes back, goes
// away, and is never anywhere else.
#include "publish/secret_store.h"
#include "tests/support/test_support.h"

#include <QDirIterator>
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

TEST(SecretStore, WithoutAPasswordStoreTheUserOnlyFileKeepsThePassword)
{
    // A session bus of the test's own, where no Secret Service or wallet runs.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"), {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(testsupport::PumpUntil([&] { return bus.canReadLine() || bus.state() == QProcess::NotRunning; }));
    const QByteArray address = bus.readLine().trimmed();
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

} // namespace
