// The web page as the owner sets it: the settings kept in "publish.ini", the access code made at
// random for the home network and kept in the secret store (read back by the next start), a code
// typed by hand checked, and a port another program holds told in plain words.
#include "publishing/web_publishing.h"
#include "tests/support/test_support.h"
#include "web/web_settings_file.h"

#include <QDir>
#include <QSettings>
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
        chosen.Scope = web::TWebScope::HomeNetwork;
        first.Web.Accept(chosen);
        ASSERT_TRUE(PumpUntil([&] { return first.Web.Status().Running; })) << first.Problems.join(' ').toStdString();
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
    QSettings file(QDir(folder.path()).filePath(QStringLiteral("publish.ini")), QSettings::IniFormat);
    EXPECT_EQ(file.value(QStringLiteral("web/scope")).toString(), QStringLiteral("home-network"));
    EXPECT_FALSE(QFile(file.fileName()).open(QIODevice::ReadOnly) &&
                 QFile(file.fileName()).readAll().contains(chosen.AccessCode.toUtf8()));
    TLoadedWeb again(folder.path());
    ASSERT_TRUE(PumpUntil([&] { return again.Web.IsLoaded(); }));
    EXPECT_EQ(again.Web.Settings().AccessCode, chosen.AccessCode);
    // The tests' "any free port" is no port for a file: told with its key, and the default taken.
    EXPECT_EQ(again.Problems,
              QStringList{
                  QStringLiteral("В «publish.ini» порт веб-страницы (web/port) 0 вне пределов 1..65535; взят 8080.")});
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
