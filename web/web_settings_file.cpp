#include "web/web_settings_file.h"

#include "publish/publish_file.h"

#include <QRandomGenerator>

namespace web {

namespace {

namespace Key {
const QString Enabled = QStringLiteral("web/enabled");
const QString Port = QStringLiteral("web/port");
const QString Scope = QStringLiteral("web/scope");
} // namespace Key

// In the order of TWebScope.
const QStringList ScopeNames{QStringLiteral("this-computer"), QStringLiteral("home-network")};

constexpr int MinCodeLength = 6;
constexpr int MaxCodeLength = 64;

} // namespace

settings::TLoaded<TWebSettings> LoadWebSettings(const QString& dataFolder)
{
    settings::TSettingsReader file(publish::PublishFilePath(dataFolder));
    const TWebSettings defaults;
    TWebSettings settings;
    settings.Enabled = file.Switch(Key::Enabled, defaults.Enabled);
    settings.Port =
        static_cast<quint16>(file.Number(Key::Port, defaults.Port, 1, 65535, QStringLiteral("порт веб-страницы")));
    settings.Scope = static_cast<TWebScope>(file.Choice(Key::Scope, ScopeNames, static_cast<int>(defaults.Scope)));
    return {settings, file.Refusals()};
}

QString SaveWebSettings(const QString& dataFolder, const TWebSettings& settings)
{
    QSettings file = publish::OpenPublishFile(dataFolder);
    file.setValue(Key::Enabled, settings.Enabled);
    file.setValue(Key::Port, settings.Port);
    file.setValue(Key::Scope, ScopeNames[static_cast<int>(settings.Scope)]);
    return publish::SyncPublishFile(file);
}

QString WebAccessCodeName(const QString& stationId)
{
    return QStringLiteral("web-access-code/") + stationId;
}

QString NewAccessCode()
{
    static const QString Alphabet = QStringLiteral("ABCDEFGHJKLMNPQRSTUVWXYZ23456789");
    QString code;
    for (int i = 0; i < 10; ++i)
        code +=
            Alphabet[static_cast<qsizetype>(QRandomGenerator::system()->bounded(static_cast<int>(Alphabet.size())))];
    return code;
}

QString AccessCodeProblem(const QString& code)
{
    if (code.size() < MinCodeLength || code.size() > MaxCodeLength)
        return QStringLiteral("Код доступа должен быть длиной от %1 до %2 знаков.")
            .arg(MinCodeLength)
            .arg(MaxCodeLength);
    for (const QChar c : code) {
        const char16_t u = c.unicode();
        const bool plain = (u >= u'A' && u <= u'Z') || (u >= u'a' && u <= u'z') || (u >= u'0' && u <= u'9');
        if (!plain)
            return QStringLiteral("Код доступа может состоять только из латинских букв и цифр.");
    }
    return {};
}

} // namespace web
