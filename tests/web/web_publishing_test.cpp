// The web page as the owner sets it: the settings kept in "publish.ini", the access code made at
// random for the home network and kept in the secret store (read back by the next start), a code
// typed by hand checked, and a port another program holds told in plain words.
#include "publishing/web_publishing.h"
#include "tests/support/test_support.h"
#include "web/web_settings_file.h"

#include <QDir>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using testsupport::PumpUntil;

struct TLoadedWeb
{
    explicit TLoadedWeb(const QString& folder)
        : Secrets(folder)
        , Web(folder, Secrets)
    {
        Secrets.SetStoreTimeoutMs(testsupport::EventDeadlineMs);
        QObject::connect(&Web, &TWebPublishing::Problem, [this](const QString& problem) { Problems << problem; });
        Web.Load();
        Web.SetArchive(QDir(folder).filePath(QStringLiteral("meteo-archive.sqlite")));
    }
    publish::TSecretStore Secrets;
    TWebPublishing Web;
    QStringList Problems;
};

TEST(WebPublishing, TheHomeNetworkGetsACodeKeptApartFromTheSettingsAndATakenPortIsTold)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    web::TWebSettings chosen;
    {
        TLoadedWeb first(folder.path());
        ASSERT_TRUE(PumpUntil([&] { return first.Web.IsLoaded(); }));
        // Off by default: nothing listens, nothing is written, the store is not asked.
        EXPECT_FALSE(first.Web.Status().Running);
        EXPECT_FALSE(QFile::exists(QDir(folder.path()).filePath(QStringLiteral("publish.ini"))));

        chosen = first.Web.Settings();
        chosen.Enabled = true;
        chosen.Port = 0;
        first.Web.Accept(chosen);
        ASSERT_TRUE(first.Web.Status().Running) << first.Web.Status().Problem.toStdString();
        EXPECT_EQ(first.Web.Addresses(),
                  QStringList{QStringLiteral("http://127.0.0.1:%1/").arg(first.Web.Status().Port)});
        // Opened to the home network while it runs on the same port: the block hears of the new
        // addresses and code though the server runs as before.
        chosen.Port = first.Web.Status().Port;
        first.Web.Accept(chosen);
        ASSERT_TRUE(first.Web.Status().Running) << first.Web.Status().Problem.toStdString();
        QSignalSpy told(&first.Web, &TWebPublishing::StatusChanged);
        chosen.Scope = web::TWebScope::HomeNetwork;
        first.Web.Accept(chosen);
        ASSERT_TRUE(PumpUntil([&] { return first.Web.Status().Running && !first.Web.Settings().AccessCode.isEmpty(); }))
            << first.Problems.join(' ').toStdString();
        EXPECT_FALSE(told.isEmpty());
        const QString code = first.Web.Settings().AccessCode;
        EXPECT_EQ(code.size(), 10);
        EXPECT_TRUE(web::AccessCodeProblem(code).isEmpty());
        for (const QString& address : first.Web.Addresses())
            EXPECT_TRUE(address.endsWith(QStringLiteral("/?code=") + code)) << address.toStdString();

        // Another start on the same port finds it taken, and says so.
        QTemporaryDir otherFolder;
        TLoadedWeb second(otherFolder.path());
        ASSERT_TRUE(PumpUntil([&] { return second.Web.IsLoaded(); }));
        web::TWebSettings same = chosen;
        same.Port = first.Web.Status().Port;
        same.Scope = web::TWebScope::ThisComputer;
        second.Web.Accept(same);
        EXPECT_FALSE(second.Web.Status().Running);
        EXPECT_TRUE(second.Web.Status().Problem.contains(QStringLiteral("занят")))
            << second.Web.Status().Problem.toStdString();
        chosen.AccessCode = code;
    }
    // The file holds the settings and never the code; the next start reads the code back.
    const QString path = QDir(folder.path()).filePath(QStringLiteral("publish.ini"));
    QSettings file(path, QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("web/scope")).toString(), QStringLiteral("home-network"));
    QFile kept(path);
    ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
    EXPECT_FALSE(kept.readAll().contains(chosen.AccessCode.toUtf8()));
    TLoadedWeb again(folder.path());
    ASSERT_TRUE(PumpUntil([&] { return again.Web.IsLoaded() && again.Web.Status().Running; }))
        << again.Web.Status().Problem.toStdString();
    EXPECT_EQ(again.Web.Settings().AccessCode, chosen.AccessCode);
    EXPECT_TRUE(again.Problems.isEmpty()) << again.Problems.join(' ').toStdString();
}

TEST(WebPublishing, ACodeTypedByHandMustDoForAnAddress)
{
    const struct
    {
        const char* Code;
        bool Taken;
    } cases[] = {{"ABCdef12", true}, {"abc12", false}, {"код12345", false}, {"ABC 12345", false}, {"ABCD/../x", false}};
    for (const auto& c : cases)
        EXPECT_EQ(web::AccessCodeProblem(QString::fromUtf8(c.Code)).isEmpty(), c.Taken) << c.Code;
}

} // namespace
