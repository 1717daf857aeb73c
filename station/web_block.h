// The web page's block of the «Публикация» page: on or off, the port, who may open it (this
// computer alone or the home network with the access code), the code made at random and changeable,
// the addresses to open with the code in them and a QR code of the first for a phone's camera, and
// whether the page is served or why not.
#pragma once

#include "web/web_settings.h"

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TWebPublishing;

class TWebBlock : public QGroupBox
{
    Q_OBJECT

public:
    explicit TWebBlock(TWebPublishing& publishing, QWidget* parent = nullptr);

    QCheckBox* EnabledBox = nullptr; // «Веб-страница»
    QSpinBox* PortBox = nullptr;
    QRadioButton* ThisComputerButton = nullptr; // «только этот компьютер»
    QRadioButton* HomeNetworkButton = nullptr;  // «домашняя сеть»
    QLineEdit* CodeEdit = nullptr;
    QPushButton* NewCodeButton = nullptr;
    QLabel* AddressLabel = nullptr;
    QLabel* QrLabel = nullptr;
    QLabel* ProblemLabel = nullptr;
    QLabel* StatusLabel = nullptr;

private:
    void CreateFields();
    void ConnectFields();
    void ShowSettings();
    web::TWebSettings EnteredSettings() const;
    // A value was entered: refused with the reason, or put into effect.
    void Enter();
    void ShowProblem(const QString& message);
    void ShowStatus();

    TWebPublishing& Publishing;
    bool Filling = false;
};
