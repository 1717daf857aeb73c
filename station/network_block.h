// A weather network's block on the «Публикация» page: on/off, the station id and key (the key kept
// in the password store), the interval (never below the service's minimum), narodmon's protocol,
// «свой адрес»'s template; each value checked as it is entered (refused with the reason, and what
// is in effect stays), and the service's state in plain words. TNetworksCommonBlock holds what all
// services share: where the humidity is measured and where the station stands.
#pragma once

#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;
class TNetworkPublishing;

class TNetworkBlock : public QGroupBox
{
    Q_OBJECT

public:
    TNetworkBlock(TNetworkPublishing& publishing, int index, QWidget* parent = nullptr);

    QCheckBox* EnabledBox = nullptr;
    QComboBox* ProtocolBox = nullptr; // narodmon only: TCP, HTTP
    QLineEdit* IdEdit = nullptr;
    QLineEdit* KeyEdit = nullptr; // not for narodmon
    QSpinBox* IntervalBox = nullptr;
    QLineEdit* TemplateEdit = nullptr; // «свой адрес» only
    QLabel* ProblemLabel = nullptr;
    QLabel* LastSuccessLabel = nullptr;
    QLabel* WaitingLabel = nullptr;
    QLabel* LastErrorLabel = nullptr;

private:
    void CreateFields();
    void ShowSettings();
    void Enter();
    // Empty: the entry's standing refusal of the file's address, if any.
    void ShowProblem(const QString& message);
    void ShowState();

    TNetworkPublishing& Publishing;
    int Index;
    bool Filling = false;
};

class TNetworksCommonBlock : public QGroupBox
{
    Q_OBJECT

public:
    explicit TNetworksCommonBlock(TNetworkPublishing& publishing, QWidget* parent = nullptr);

    QComboBox* HumidityBox = nullptr; // «в доме», «на улице»
    QLineEdit* LatitudeEdit = nullptr;
    QLineEdit* LongitudeEdit = nullptr;
    QLabel* ProblemLabel = nullptr;

private:
    void ShowSettings();
    void Enter();

    TNetworkPublishing& Publishing;
    bool Filling = false;
};
