#include "station/network_block.h"

#include "publish/networks/url_template.h"
#include "publishing/network_publishing.h"
#include "station/block_controls.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <cmath>

using namespace publish;

namespace {

void Show(QLabel* label, const QString& message)
{
    label->setText(message);
    label->setVisible(!message.isEmpty());
}

bool IsNarodmon(TServiceKind kind)
{
    return kind == TServiceKind::NarodmonTcp || kind == TServiceKind::NarodmonHttp;
}

QString IdCaption(TServiceKind kind)
{
    if (IsNarodmon(kind))
        return QStringLiteral("Идентификатор устройства:");
    if (kind == TServiceKind::Cwop)
        return QStringLiteral("Позывной или номер CW:");
    if (kind == TServiceKind::Wow)
        return QStringLiteral("Идентификатор площадки:");
    return QStringLiteral("Идентификатор станции:");
}

QString KeyCaption(TServiceKind kind)
{
    return kind == TServiceKind::Cwop ? QStringLiteral("Код APRS-IS:") : QStringLiteral("Ключ (пароль):");
}

// A number as the owner typed it, with a point or a comma; none for an empty field.
std::optional<double> Number(const QString& text, bool& ok)
{
    QString trimmed = text.trimmed();
    ok = true;
    if (trimmed.isEmpty())
        return std::nullopt;
    trimmed.replace(QLatin1Char(','), QLatin1Char('.'));
    const double value = trimmed.toDouble(&ok);
    ok = ok && std::isfinite(value); // "nan" and "inf" are numbers to Qt
    return ok ? std::optional<double>(value) : std::nullopt;
}

QString NumberText(const std::optional<double>& value)
{
    return value ? QString::number(*value, 'f', 4) : QString();
}

} // namespace

TNetworkBlock::TNetworkBlock(TNetworkPublishing& publishing, int index, QWidget* parent)
    : QGroupBox(Facts(publishing.Entry(index).Settings.Kind).Title, parent)
    , Publishing(publishing)
    , Index(index)
{
    const TServiceKind kind = Publishing.Entry(Index).Settings.Kind;
    setObjectName(QStringLiteral("NetworkBlock_%1").arg(QLatin1String(Facts(kind).PositionKey)));
    CreateFields();
    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(1, 1);
    int row = 0;
    layout->addWidget(EnabledBox, row++, 0, 1, 4);
    const auto labelled = [layout](int at, int column, const QString& caption, QWidget* field, int span = 1) {
        auto* label = new QLabel(caption);
        label->setBuddy(field);
        layout->addWidget(label, at, column);
        layout->addWidget(field, at, column + 1, 1, span);
    };
    if (ProtocolBox)
        labelled(row++, 0, QStringLiteral("Протокол:"), ProtocolBox);
    labelled(row, 0, IdCaption(kind), IdEdit);
    if (KeyEdit)
        labelled(row, 2, KeyCaption(kind), KeyEdit);
    ++row;
    if (TemplateEdit)
        labelled(row++, 0, QStringLiteral("Адрес:"), TemplateEdit, 3);
    labelled(row++, 0, QStringLiteral("Интервал отправки:"), IntervalBox);
    for (QLabel* line : {ProblemLabel, LastSuccessLabel, WaitingLabel, LastErrorLabel})
        layout->addWidget(line, row++, 0, 1, 4);

    for (QLineEdit* edit : {IdEdit, KeyEdit, TemplateEdit})
        if (edit)
            connect(edit, &QLineEdit::editingFinished, this, &TNetworkBlock::Enter);
    connect(EnabledBox, &QCheckBox::clicked, this, &TNetworkBlock::Enter);
    connect(IntervalBox, &QSpinBox::valueChanged, this, &TNetworkBlock::Enter);
    if (ProtocolBox)
        connect(ProtocolBox, &QComboBox::currentIndexChanged, this, &TNetworkBlock::Enter);
    connect(&Publishing, &TNetworkPublishing::Loaded, this, [this] {
        ShowSettings();
        ShowState();
        setEnabled(true);
    });
    connect(&Publishing, &TNetworkPublishing::StateChanged, this, [this](int changed) {
        if (changed == Index)
            ShowState();
    });
    connect(&Publishing, &TNetworkPublishing::Problem, this, [this](int at, const QString& message) {
        if (at == Index)
            ShowProblem(message);
    });
    // Until the settings and the key are known, nothing can be changed.
    setEnabled(Publishing.IsLoaded());
    ShowSettings();
    ShowState();
    ShowProblem(Publishing.LoadProblem(Index));
}

void TNetworkBlock::CreateFields()
{
    const TServiceKind kind = Publishing.Entry(Index).Settings.Kind;
    const QString prefix = QStringLiteral("Network") + QLatin1String(Facts(kind).PositionKey);
    EnabledBox = Named(new QCheckBox(QStringLiteral("Отправлять показания")), prefix + QStringLiteral("EnabledBox"));
    if (IsNarodmon(kind)) {
        ProtocolBox = Named(new QComboBox, prefix + QStringLiteral("ProtocolBox"));
        ProtocolBox->addItems({QStringLiteral("TCP"), QStringLiteral("HTTP")});
    }
    IdEdit = Named(new QLineEdit, prefix + QStringLiteral("IdEdit"));
    if (!IsNarodmon(kind)) {
        KeyEdit = Named(new QLineEdit, prefix + QStringLiteral("KeyEdit"));
        KeyEdit->setEchoMode(QLineEdit::Password);
        KeyEdit->setMaximumWidth(140);
    }
    if (kind == TServiceKind::OwnAddress) {
        TemplateEdit = Named(new QLineEdit, prefix + QStringLiteral("TemplateEdit"));
        TemplateEdit->setPlaceholderText(QStringLiteral("https://сервер/путь?t={tempc}&at={dateutc}"));
        TemplateEdit->setToolTip(QStringLiteral("Подстановки: %1").arg(KnownPlaceholders().join(QStringLiteral(", "))));
    }
    IntervalBox = Named(new QSpinBox, prefix + QStringLiteral("IntervalBox"));
    // The service's minimum is the least the box offers.
    IntervalBox->setRange(Facts(kind).MinimumIntervalMinutes, MaxIntervalMinutes);
    IntervalBox->setSuffix(QStringLiteral(" мин"));
    IntervalBox->setKeyboardTracking(false);
    ProblemLabel = ProblemLine(prefix + QStringLiteral("ProblemLabel"));
    LastSuccessLabel = WrappedLabel(prefix + QStringLiteral("LastSuccessLabel"));
    WaitingLabel = WrappedLabel(prefix + QStringLiteral("WaitingLabel"));
    LastErrorLabel = WrappedLabel(prefix + QStringLiteral("LastErrorLabel"));
}

void TNetworkBlock::ShowSettings()
{
    const TNetworkEntry& entry = Publishing.Entry(Index);
    Filling = true;
    EnabledBox->setChecked(entry.Enabled);
    if (ProtocolBox)
        ProtocolBox->setCurrentIndex(entry.Settings.Kind == TServiceKind::NarodmonHttp ? 1 : 0);
    IdEdit->setText(entry.Settings.StationId);
    if (KeyEdit)
        KeyEdit->setText(Publishing.Key(Index));
    if (TemplateEdit)
        TemplateEdit->setText(entry.Settings.UrlTemplate);
    IntervalBox->setValue(EffectiveIntervalMinutes(entry.Settings));
    Filling = false;
}

void TNetworkBlock::Enter()
{
    if (Filling)
        return;
    TNetworkEntry entry = Publishing.Entry(Index);
    entry.Enabled = EnabledBox->isChecked();
    if (ProtocolBox)
        entry.Settings.Kind = ProtocolBox->currentIndex() == 1 ? TServiceKind::NarodmonHttp : TServiceKind::NarodmonTcp;
    entry.Settings.StationId = IdEdit->text().trimmed();
    entry.Settings.IntervalMinutes = IntervalBox->value();
    if (TemplateEdit)
        entry.Settings.UrlTemplate = TemplateEdit->text().trimmed();
    const QString key = KeyEdit ? KeyEdit->text() : QString();
    // A template given is checked even while the service is off, so that it is right when it goes on.
    QString problem =
        TemplateEdit && !entry.Settings.UrlTemplate.isEmpty() ? TemplateProblem(entry.Settings.UrlTemplate) : QString();
    if (problem.isEmpty() && entry.Enabled) {
        TServiceSettings withKey = entry.Settings;
        withKey.Key = key;
        problem = SettingsProblem(withKey, Publishing.Common());
    }
    if (!problem.isEmpty()) {
        ShowProblem(problem);
        // A switch that cannot be set goes back; a text stays for the owner to mend.
        Filling = true;
        EnabledBox->setChecked(Publishing.Entry(Index).Enabled);
        Filling = false;
        return;
    }
    ShowProblem({});
    Publishing.Accept(Index, entry, key);
}

void TNetworkBlock::ShowProblem(const QString& message)
{
    // An address the file gave and the program refused stays told while nothing else is wrong.
    Show(ProblemLabel, message.isEmpty() ? Publishing.Entry(Index).AddressRefusal : message);
}

void TNetworkBlock::ShowState()
{
    const TUploadState* state = Publishing.State(Index);
    if (state == nullptr) {
        LastSuccessLabel->setText(QStringLiteral("Отправка выключена"));
        WaitingLabel->hide();
        LastErrorLabel->hide();
        return;
    }
    const TStateTexts texts = StateTexts(*state);
    LastSuccessLabel->setText(texts.LastSuccess);
    Show(WaitingLabel, texts.Waiting);
    Show(LastErrorLabel, texts.LastError);
}

TNetworksCommonBlock::TNetworksCommonBlock(TNetworkPublishing& publishing, QWidget* parent)
    : QGroupBox(QStringLiteral("Погодные сети"), parent)
    , Publishing(publishing)
{
    setObjectName(QStringLiteral("NetworksCommonBlock"));
    HumidityBox = Named(new QComboBox, QStringLiteral("NetworksHumidityBox"));
    HumidityBox->addItems({QStringLiteral("в доме"), QStringLiteral("на улице")});
    LatitudeEdit = Named(new QLineEdit, QStringLiteral("NetworksLatitudeEdit"));
    LatitudeEdit->setPlaceholderText(QStringLiteral("например 55,7558"));
    LongitudeEdit = Named(new QLineEdit, QStringLiteral("NetworksLongitudeEdit"));
    LongitudeEdit->setPlaceholderText(QStringLiteral("например 37,6173"));
    ProblemLabel = ProblemLine(QStringLiteral("NetworksProblemLabel"));
    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(1, 1);
    layout->setColumnStretch(3, 1);
    layout->addWidget(new QLabel(QStringLiteral("Влажность измеряется:")), 0, 0);
    layout->addWidget(HumidityBox, 0, 1);
    layout->addWidget(new QLabel(QStringLiteral("Широта:")), 1, 0);
    layout->addWidget(LatitudeEdit, 1, 1);
    layout->addWidget(new QLabel(QStringLiteral("Долгота:")), 1, 2);
    layout->addWidget(LongitudeEdit, 1, 3);
    layout->addWidget(ProblemLabel, 2, 0, 1, 4);
    connect(HumidityBox, &QComboBox::currentIndexChanged, this, &TNetworksCommonBlock::Enter);
    for (QLineEdit* edit : {LatitudeEdit, LongitudeEdit})
        connect(edit, &QLineEdit::editingFinished, this, &TNetworksCommonBlock::Enter);
    connect(&Publishing, &TNetworkPublishing::Loaded, this, [this] {
        ShowSettings();
        setEnabled(true);
    });
    connect(&Publishing, &TNetworkPublishing::Problem, this, [this](int at, const QString& message) {
        if (at < 0)
            Show(ProblemLabel, message);
    });
    setEnabled(Publishing.IsLoaded());
    ShowSettings();
    Show(ProblemLabel, Publishing.CommonLoadProblem());
}

void TNetworksCommonBlock::ShowSettings()
{
    const TPublishSettings& common = Publishing.Common();
    Filling = true;
    HumidityBox->setCurrentIndex(common.HumidityPlace == THumidityPlace::Outdoor ? 1 : 0);
    LatitudeEdit->setText(NumberText(common.Place.Latitude));
    LongitudeEdit->setText(NumberText(common.Place.Longitude));
    Filling = false;
}

void TNetworksCommonBlock::Enter()
{
    if (Filling)
        return;
    TPublishSettings common = Publishing.Common();
    common.HumidityPlace = HumidityBox->currentIndex() == 1 ? THumidityPlace::Outdoor : THumidityPlace::Indoor;
    bool latitudeOk = false;
    bool longitudeOk = false;
    const std::optional<double> latitude = Number(LatitudeEdit->text(), latitudeOk);
    const std::optional<double> longitude = Number(LongitudeEdit->text(), longitudeOk);
    if (!latitudeOk || !longitudeOk || (latitude && std::abs(*latitude) > 90.0) ||
        (longitude && std::abs(*longitude) > 180.0)) {
        Show(ProblemLabel, QStringLiteral("Широта должна быть числом от -90 до 90, долгота от -180 до 180."));
        return;
    }
    Show(ProblemLabel, {});
    common.Place.Latitude = latitude;
    common.Place.Longitude = longitude;
    Publishing.AcceptCommon(common);
}
