#include "station/web_block.h"

#include "publishing/web_publishing.h"
#include "station/block_controls.h"
#include "station/qr_code.h"
#include "web/web_settings_file.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>

using namespace web;

namespace {

constexpr int QrModulePixels = 4;

} // namespace

TWebBlock::TWebBlock(TWebPublishing& publishing, QWidget* parent)
    : QGroupBox(QStringLiteral("Веб-страница"), parent)
    , Publishing(publishing)
{
    setObjectName(QStringLiteral("WebBlock"));
    CreateFields();
    auto* layout = new QGridLayout(this);
    layout->setColumnStretch(1, 1);
    int row = 0;
    layout->addWidget(EnabledBox, row++, 0, 1, 3);
    auto* portLabel = new QLabel(QStringLiteral("Порт:"));
    portLabel->setBuddy(PortBox);
    layout->addWidget(portLabel, row, 0);
    layout->addWidget(PortBox, row++, 1, Qt::AlignLeft);
    auto* scope = new QHBoxLayout;
    scope->addWidget(ThisComputerButton);
    scope->addWidget(HomeNetworkButton);
    scope->addStretch(1);
    layout->addWidget(new QLabel(QStringLiteral("Открывать:")), row, 0);
    layout->addLayout(scope, row++, 1, 1, 2);
    auto* code = new QHBoxLayout;
    code->addWidget(CodeEdit, 1);
    code->addWidget(NewCodeButton);
    auto* codeLabel = new QLabel(QStringLiteral("Код доступа:"));
    codeLabel->setBuddy(CodeEdit);
    layout->addWidget(codeLabel, row, 0);
    layout->addLayout(code, row++, 1, 1, 2);
    layout->addWidget(AddressLabel, row, 0, 1, 2);
    layout->addWidget(QrLabel, row++, 2, Qt::AlignRight | Qt::AlignTop);
    for (QLabel* line : {ProblemLabel, StatusLabel})
        layout->addWidget(line, row++, 0, 1, 3);
    ConnectFields();
    setEnabled(Publishing.IsLoaded());
    ShowSettings();
    ShowStatus();
}

void TWebBlock::CreateFields()
{
    EnabledBox =
        Named(new QCheckBox(QStringLiteral("Веб-страница: показания, архив и сводки в браузере")), "WebEnabledBox");
    PortBox = Named(new QSpinBox, "WebPortBox");
    PortBox->setRange(1, 65535);
    PortBox->setKeyboardTracking(false);
    ThisComputerButton = Named(new QRadioButton(QStringLiteral("только этот компьютер")), "WebThisComputerButton");
    HomeNetworkButton = Named(new QRadioButton(QStringLiteral("домашняя сеть")), "WebHomeNetworkButton");
    auto* scope = new QButtonGroup(this);
    scope->addButton(ThisComputerButton);
    scope->addButton(HomeNetworkButton);
    CodeEdit = Named(new QLineEdit, "WebCodeEdit");
    CodeEdit->setPlaceholderText(QStringLiteral("будет создан сам"));
    NewCodeButton = Named(new QPushButton(QStringLiteral("Новый код")), "WebNewCodeButton");
    AddressLabel = WrappedLabel("WebAddressLabel");
    AddressLabel->setTextInteractionFlags(Qt::TextBrowserInteraction);
    AddressLabel->setOpenExternalLinks(true);
    QrLabel = Named(new QLabel, "WebQrLabel");
    ProblemLabel = ProblemLine("WebProblemLabel");
    StatusLabel = WrappedLabel("WebStatusLabel");
}

void TWebBlock::ConnectFields()
{
    connect(EnabledBox, &QCheckBox::clicked, this, &TWebBlock::Enter);
    connect(PortBox, &QSpinBox::valueChanged, this, &TWebBlock::Enter);
    connect(ThisComputerButton, &QRadioButton::clicked, this, &TWebBlock::Enter);
    connect(HomeNetworkButton, &QRadioButton::clicked, this, &TWebBlock::Enter);
    connect(CodeEdit, &QLineEdit::editingFinished, this, &TWebBlock::Enter);
    connect(NewCodeButton, &QPushButton::clicked, this, [this] {
        CodeEdit->setText(NewAccessCode());
        Enter();
    });
    connect(&Publishing, &TWebPublishing::Loaded, this, [this] {
        ShowSettings();
        setEnabled(true);
    });
    connect(&Publishing, &TWebPublishing::StatusChanged, this, [this] {
        // A code made for the home network shows up with the server it opened.
        ShowSettings();
        ShowStatus();
    });
    connect(&Publishing, &TWebPublishing::Problem, this, &TWebBlock::ShowProblem);
}

void TWebBlock::ShowSettings()
{
    const TWebSettings& settings = Publishing.Settings();
    Filling = true;
    EnabledBox->setChecked(settings.Enabled);
    PortBox->setValue(settings.Port);
    const bool home = settings.Scope == TWebScope::HomeNetwork;
    (home ? HomeNetworkButton : ThisComputerButton)->setChecked(true);
    CodeEdit->setText(settings.AccessCode);
    Filling = false;
    for (QWidget* field : std::initializer_list<QWidget*>{CodeEdit, NewCodeButton})
        field->setEnabled(home);
}

TWebSettings TWebBlock::EnteredSettings() const
{
    TWebSettings settings = Publishing.Settings();
    settings.Enabled = EnabledBox->isChecked();
    settings.Port = static_cast<quint16>(PortBox->value());
    settings.Scope = HomeNetworkButton->isChecked() ? TWebScope::HomeNetwork : TWebScope::ThisComputer;
    settings.AccessCode = CodeEdit->text().trimmed();
    return settings;
}

void TWebBlock::Enter()
{
    if (Filling)
        return;
    const TWebSettings settings = EnteredSettings();
    // An emptied code is made anew; one typed must do for an address.
    if (!settings.AccessCode.isEmpty())
        if (const QString problem = AccessCodeProblem(settings.AccessCode); !problem.isEmpty()) {
            ShowProblem(problem);
            return;
        }
    ProblemLabel->hide();
    Publishing.Accept(settings);
    ShowSettings();
}

void TWebBlock::ShowProblem(const QString& message)
{
    ProblemLabel->setText(message);
    ProblemLabel->show();
}

void TWebBlock::ShowStatus()
{
    const TWebStatus& status = Publishing.Status();
    const TWebSettings& settings = Publishing.Settings();
    QStringList links;
    if (status.Running)
        for (const QString& address : Publishing.Addresses())
            links << QStringLiteral("<a href=\"%1\">%1</a>").arg(address.toHtmlEscaped());
    AddressLabel->setText(links.join(QStringLiteral("<br>")));
    AddressLabel->setVisible(!links.isEmpty());
    const bool qr = status.Running && settings.Scope == TWebScope::HomeNetwork && !links.isEmpty();
    QrLabel->setPixmap(qr ? QPixmap::fromImage(QrCodeImage(Publishing.Addresses().constFirst(), QrModulePixels))
                          : QPixmap());
    QrLabel->setVisible(qr);
    if (!settings.Enabled)
        StatusLabel->setText(QStringLiteral("Страница выключена."));
    else if (status.Running)
        StatusLabel->setText(settings.Scope == TWebScope::HomeNetwork
                                 ? QStringLiteral("Страница открыта для домашней сети; с другого устройства "
                                                  "откройте адрес с кодом или наведите камеру телефона на QR-код.")
                                 : QStringLiteral("Страница открыта только на этом компьютере."));
    else if (!status.Problem.isEmpty())
        StatusLabel->setText(QStringLiteral("Страница не открыта: %1.").arg(status.Problem));
    else
        StatusLabel->setText(QStringLiteral("Страница откроется, когда программа прочитает архив."));
}
