#include "station/mqtt_block.h"

#include "publishing/mqtt_publishing.h"
#include "station/block_controls.h"

#include <QCheckBox>
#include <QDateTime>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>

using namespace publish;

namespace {

QString ChooseWithFileDialog(QWidget* parent, const QString& caption, const QString& path)
{
    return QFileDialog::getOpenFileName(parent, caption, path,
                                        QStringLiteral("Сертификаты (*.pem *.crt *.cer);;Все файлы (*)"));
}

} // namespace

TMqttBlock::TMqttBlock(TMqttPublishing& publishing, QWidget* parent)
    : QGroupBox(QStringLiteral("MQTT и Home Assistant"), parent)
    , Publishing(publishing)
    , FOpenDialog(
          [this](const QString& caption, const QString& path) { return ChooseWithFileDialog(this, caption, path); })
{
    setObjectName(QStringLiteral("MqttBlock"));
    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(1, 1);
    CreateFields();
    int row = 0;
    layout->addWidget(EnabledBox, row++, 0, 1, 4);
    const auto labelled = [layout](int at, int column, const QString& caption, QWidget* field) {
        auto* label = new QLabel(caption);
        label->setBuddy(field);
        layout->addWidget(label, at, column);
        layout->addWidget(field, at, column + 1);
    };
    labelled(row, 0, QStringLiteral("Брокер:"), HostEdit);
    labelled(row++, 2, QStringLiteral("Порт:"), PortEdit);
    labelled(row, 0, QStringLiteral("Пользователь:"), UserEdit);
    labelled(row++, 2, QStringLiteral("Пароль:"), PasswordEdit);
    layout->addWidget(PasswordPlaceLabel, row++, 0, 1, 4);
    auto* tls = new QHBoxLayout;
    tls->addWidget(CaFileEdit, 1);
    tls->addWidget(CaFileButton);
    tls->addWidget(TlsUnavailableLabel, 1);
    layout->addWidget(TlsBox, row, 0);
    layout->addLayout(tls, row++, 1, 1, 3);
    labelled(row++, 0, QStringLiteral("Префикс топиков:"), TopicPrefixEdit);
    layout->addWidget(DiscoveryBox, row, 0);
    layout->addWidget(DiscoveryPrefixEdit, row++, 1);
    labelled(row++, 0, QStringLiteral("Интервал публикации:"), IntervalBox);
    for (QLabel* line : {ProblemLabel, StatusLabel, LastSentLabel})
        layout->addWidget(line, row++, 0, 1, 4);

    CountdownTimer = new QTimer(this);
    CountdownTimer->setInterval(1000);
    connect(CountdownTimer, &QTimer::timeout, this, &TMqttBlock::ShowStatus);
    ConnectFields();
    // Until the settings and the password are known, nothing can be changed.
    setEnabled(Publishing.IsLoaded());
    ShowSettings();
    ShowStatus();
}

void TMqttBlock::CreateFields()
{
    EnabledBox = Named(new QCheckBox(QStringLiteral("Публиковать показания на брокере MQTT")), "MqttEnabledBox");
    HostEdit = Named(new QLineEdit, "MqttHostEdit");
    HostEdit->setPlaceholderText(QStringLiteral("адрес или имя компьютера"));
    PortEdit = Named(new QLineEdit, "MqttPortEdit");
    PortEdit->setMaximumWidth(70);
    UserEdit = Named(new QLineEdit, "MqttUserEdit");
    UserEdit->setPlaceholderText(QStringLiteral("без имени"));
    PasswordEdit = Named(new QLineEdit, "MqttPasswordEdit");
    PasswordEdit->setEchoMode(QLineEdit::Password);
    PasswordEdit->setMaximumWidth(140);
    PasswordPlaceLabel = WrappedLabel("MqttPasswordPlaceLabel");
    TlsBox = Named(new QCheckBox(QStringLiteral("TLS")), "MqttTlsBox");
    CaFileEdit = Named(new QLineEdit, "MqttCaFileEdit");
    CaFileEdit->setPlaceholderText(QStringLiteral("файл CA; пусто: системные"));
    CaFileButton = Named(new QPushButton(QStringLiteral("Выбрать…")), "MqttCaFileButton");
    TlsUnavailableLabel = Named(new QLabel(QStringLiteral("TLS недоступен в этой сборке")), "MqttTlsUnavailableLabel");
    // A build whose client cannot talk TLS says so where TLS would be chosen.
    const bool tls = MqttTlsAvailable();
    for (QWidget* control : std::initializer_list<QWidget*>{TlsBox, CaFileEdit, CaFileButton})
        control->setEnabled(tls);
    // Only hidden here: shown, a field without its parent yet would open as a window of its own.
    if (tls) {
        TlsUnavailableLabel->hide();
    } else {
        CaFileEdit->hide();
        CaFileButton->hide();
    }
    TopicPrefixEdit = Named(new QLineEdit, "MqttTopicPrefixEdit");
    DiscoveryBox = Named(new QCheckBox(QStringLiteral("Обнаружение Home Assistant, префикс:")), "MqttDiscoveryBox");
    DiscoveryPrefixEdit = Named(new QLineEdit, "MqttDiscoveryPrefixEdit");
    IntervalBox = Named(new QSpinBox, "MqttIntervalBox");
    IntervalBox->setRange(0, MaxIntervalSeconds);
    IntervalBox->setSuffix(QStringLiteral(" с"));
    IntervalBox->setSpecialValueText(QStringLiteral("при каждом отчёте"));
    IntervalBox->setKeyboardTracking(false);
    IntervalBox->setMinimumWidth(150);
    ProblemLabel = ProblemLine("MqttProblemLabel");
    StatusLabel = WrappedLabel("MqttStatusLabel");
    LastSentLabel = WrappedLabel("MqttLastSentLabel");
}

void TMqttBlock::ConnectFields()
{
    for (QLineEdit* edit :
         {HostEdit, PortEdit, UserEdit, PasswordEdit, CaFileEdit, TopicPrefixEdit, DiscoveryPrefixEdit})
        connect(edit, &QLineEdit::editingFinished, this, &TMqttBlock::Enter);
    for (QCheckBox* box : {TlsBox, DiscoveryBox})
        connect(box, &QCheckBox::clicked, this, &TMqttBlock::Enter);
    connect(IntervalBox, &QSpinBox::valueChanged, this, &TMqttBlock::Enter);
    connect(EnabledBox, &QCheckBox::clicked, this, [this](bool on) {
        if (on) {
            Enter();
            return;
        }
        // Off always works, whatever another field holds that was refused.
        TMqttSettings off = Publishing.Settings();
        off.Enabled = false;
        Publishing.Accept(off, Publishing.Password());
    });
    connect(CaFileButton, &QPushButton::clicked, this, &TMqttBlock::ChooseCaFile);
    connect(&Publishing, &TMqttPublishing::Loaded, this, [this] {
        ShowSettings();
        setEnabled(true);
    });
    connect(&Publishing, &TMqttPublishing::StatusChanged, this, &TMqttBlock::ShowStatus);
    connect(&Publishing, &TMqttPublishing::Problem, this, &TMqttBlock::ShowProblem);
    connect(&Publishing, &TMqttPublishing::PasswordPlaceChanged, this, &TMqttBlock::ShowPasswordPlace);
}

void TMqttBlock::ShowSettings()
{
    const TMqttSettings& settings = Publishing.Settings();
    Filling = true;
    EnabledBox->setChecked(settings.Enabled);
    HostEdit->setText(settings.Host);
    PortEdit->setText(QString::number(settings.Port));
    UserEdit->setText(settings.User);
    PasswordEdit->setText(Publishing.Password());
    TlsBox->setChecked(settings.Tls);
    CaFileEdit->setText(settings.CaFile);
    TopicPrefixEdit->setText(settings.TopicPrefix);
    DiscoveryBox->setChecked(settings.Discovery);
    DiscoveryPrefixEdit->setText(settings.DiscoveryPrefix);
    IntervalBox->setValue(settings.IntervalSeconds);
    Filling = false;
    ShowPasswordPlace();
}

void TMqttBlock::ShowPasswordPlace()
{
    // Said once the store has been asked: before that nothing is kept anywhere.
    const QString place = Publishing.PasswordPlaceText();
    PasswordPlaceLabel->setText(place);
    PasswordPlaceLabel->setVisible(!place.isEmpty());
}

TMqttSettings TMqttBlock::EnteredSettings() const
{
    TMqttSettings settings;
    settings.Enabled = EnabledBox->isChecked();
    settings.Host = HostEdit->text().trimmed();
    bool number = false;
    const int port = PortEdit->text().trimmed().toInt(&number);
    settings.Port = number ? port : 0; // not a number: refused as a port out of range
    settings.User = UserEdit->text();
    settings.Tls = TlsBox->isChecked();
    settings.CaFile = CaFileEdit->text().trimmed();
    settings.TopicPrefix = TopicPrefixEdit->text();
    settings.Discovery = DiscoveryBox->isChecked();
    settings.DiscoveryPrefix = DiscoveryPrefixEdit->text();
    settings.IntervalSeconds = IntervalBox->value();
    return settings;
}

void TMqttBlock::Enter()
{
    if (Filling)
        return;
    const TMqttSettings settings = EnteredSettings();
    const QString password = PasswordEdit->text();
    // An address given is checked even while publishing is off, so it is right when it goes on.
    QString problem = settings.Host.isEmpty() ? QString() : MqttHostProblem(settings.Host);
    if (problem.isEmpty())
        problem = MqttSettingsProblem(settings, !password.isEmpty());
    if (!problem.isEmpty()) {
        ShowProblem(problem);
        // A switch that cannot be set goes back; a text stays for the owner to mend.
        const TMqttSettings& inEffect = Publishing.Settings();
        Filling = true;
        EnabledBox->setChecked(inEffect.Enabled);
        TlsBox->setChecked(inEffect.Tls);
        DiscoveryBox->setChecked(inEffect.Discovery);
        Filling = false;
        return;
    }
    ShowProblem({});
    Publishing.Accept(settings, password);
}

void TMqttBlock::ChooseCaFile()
{
    const QString path = FOpenDialog(QStringLiteral("Сертификат центра сертификации"), CaFileEdit->text());
    if (path.isEmpty())
        return;
    CaFileEdit->setText(path);
    Enter();
}

void TMqttBlock::ShowProblem(const QString& message)
{
    ProblemLabel->setText(message);
    ProblemLabel->setVisible(!message.isEmpty());
}

void TMqttBlock::ShowStatus()
{
    const TMqttStatus& status = Publishing.Status();
    StatusLabel->setText(MqttStatusText(status, QDateTime::currentDateTimeUtc()));
    LastSentLabel->setText(MqttLastSentText(status, QDateTime::currentDateTime()));
    // The countdown to the next attempt runs only while it is seen.
    if (status.State == TMqttState::Waiting && isVisible())
        CountdownTimer->start();
    else
        CountdownTimer->stop();
}

void TMqttBlock::showEvent(QShowEvent* event)
{
    QGroupBox::showEvent(event);
    ShowStatus();
}

void TMqttBlock::hideEvent(QHideEvent* event)
{
    QGroupBox::hideEvent(event);
    CountdownTimer->stop();
}
