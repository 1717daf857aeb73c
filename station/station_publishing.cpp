// The publishing behind the window's interface; see station_publishing.h.
#include "station/station_publishing.h"

#include "station/mqtt_block.h"
#include "station/network_block.h"
#include "station/publish_page.h"
#ifdef METEO_WEB_PAGE
#include "publishing/web_publishing.h"
#include "station/web_block.h"
#endif

QWidget* TStationPublishing::CreatePage(QWidget* parent, const QString& dataFolder)
{
    Open(dataFolder);
    Page = new TPublishPage(parent);
    MqttBlock = new TMqttBlock(*Mqtt);
    Page->AddBlock(MqttBlock);
    Page->AddBlock(new TNetworksCommonBlock(*Networks));
    for (int index = 0; index < Networks->Count(); ++index)
        Page->AddBlock(new TNetworkBlock(*Networks, index));
#ifdef METEO_WEB_PAGE
    Page->AddBlock(new TWebBlock(*Web));
#endif
    Load();
    return Page;
}

void TStationPublishing::OpenWithoutPage(const QString& dataFolder, std::function<void(const QString&)> tell)
{
    Open(dataFolder);
    QObject::connect(Mqtt.get(), &TMqttPublishing::Problem, tell);
    QObject::connect(Networks.get(), &TNetworkPublishing::Problem,
                     [tell](int /*index*/, const QString& message) { tell(message); });
#ifdef METEO_WEB_PAGE
    QObject::connect(Web.get(), &TWebPublishing::Problem, tell);
    QObject::connect(Web.get(), &TWebPublishing::StatusChanged, [this, tell] {
        const TWebStatus& status = Web->Status();
        if (status.Running)
            tell(QStringLiteral("Веб-страница открыта: %1").arg(Web->Addresses().join(QStringLiteral(", "))));
        else if (!status.Problem.isEmpty())
            tell(QStringLiteral("Веб-страница не открыта: %1.").arg(status.Problem));
    });
#endif
    Load();
}
