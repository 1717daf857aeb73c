// The MQTT block of the «Публикация» page: every setting of publishing to the owner's broker, each
// checked as it is entered (a value that cannot be used is refused with the reason, and what is in
// effect stays), where the password is kept, and the state of the link in plain words.
#pragma once

#include "publish/mqtt/mqtt_settings.h"
#include "publish/mqtt/mqtt_status.h"

#include <QGroupBox>
#include <functional>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTimer;
class TMqttPublishing;

class TMqttBlock : public QGroupBox
{
    Q_OBJECT

public:
    explicit TMqttBlock(TMqttPublishing& publishing, QWidget* parent = nullptr);

    QCheckBox* EnabledBox = nullptr;
    QLineEdit* HostEdit = nullptr;
    QLineEdit* PortEdit = nullptr;
    QLineEdit* UserEdit = nullptr;
    QLineEdit* PasswordEdit = nullptr;
    QLabel* PasswordPlaceLabel = nullptr;
    QCheckBox* TlsBox = nullptr;
    QLabel* TlsUnavailableLabel = nullptr; // only in a build without TLS
    QLineEdit* CaFileEdit = nullptr;
    QPushButton* CaFileButton = nullptr;
    QLineEdit* TopicPrefixEdit = nullptr;
    QCheckBox* DiscoveryBox = nullptr;
    QLineEdit* DiscoveryPrefixEdit = nullptr;
    QSpinBox* IntervalBox = nullptr; // 0: every report
    QLabel* ProblemLabel = nullptr;  // why the last value entered was refused, or what was not kept
    QLabel* StatusLabel = nullptr;
    QLabel* LastSentLabel = nullptr;

    // The file dialog for the CA file: the chosen path, empty when the user cancelled. Tests answer it.
    using TOpenDialog = std::function<QString(const QString& caption, const QString& path)>;
    void SetOpenDialog(TOpenDialog dialog) { FOpenDialog = std::move(dialog); }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void CreateFields();
    void ConnectFields();
    // The publishing's settings and password into the fields.
    void ShowSettings();
    // The fields as settings; the password apart.
    publish::TMqttSettings EnteredSettings() const;
    // A value was entered: refused with the reason, or put into effect.
    void Enter();
    void ChooseCaFile();
    void ShowProblem(const QString& message);
    void ShowPasswordPlace();
    void ShowStatus();

    TMqttPublishing& Publishing;
    TOpenDialog FOpenDialog;
    QTimer* CountdownTimer = nullptr; // the seconds to the next attempt, while there is one
    bool Filling = false;
};
