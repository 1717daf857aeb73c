// Narodmon's sensors and TCP packet; see narodmon_packet.h.
#include "publish/networks/narodmon_packet.h"

#include "publish/networks/query_text.h"

namespace publish {

std::vector<std::pair<const char*, QByteArray>> NarodmonSensors(const TPublishedValues& values)
{
    std::vector<std::pair<const char*, QByteArray>> sensors;
    const auto add = [&sensors](const char* id, const std::optional<double>& value, int decimals) {
        if (value)
            sensors.emplace_back(id, FixedText(*value, decimals));
    };
    add("T1", values.OutdoorC, 1);
    add("T2", values.IndoorC, 1);
    add("H1", values.OutdoorHumidity, 0);
    add("H2", values.IndoorHumidity, 0);
    add("DP1", values.DewPointC, 1);
    add("MMHG", values.SeaLevelMmHg, 1);
    return sensors;
}

TOutgoingRequest NarodmonPacket(const QString& deviceId, const QUrl& endpoint,
                                std::span<const TPublishedValues> readings)
{
    static const QByteArray End("##");
    TOutgoingRequest request;
    request.Transport = TTransport::NarodmonTcp;
    request.Url = endpoint;
    request.Packet = '#' + deviceId.toLatin1() + '\n';
    for (const TPublishedValues& values : readings) {
        const QByteArray time = QByteArray::number(values.Time.toSecsSinceEpoch());
        QByteArray lines;
        for (const auto& [id, value] : NarodmonSensors(values))
            lines += '#' + QByteArray(id) + '#' + value + '#' + time + '\n';
        if (request.Readings > 0 && request.Packet.size() + lines.size() + End.size() > NarodmonPacketLimit)
            break;
        request.Packet += lines;
        ++request.Readings;
    }
    request.Packet += End;
    return request;
}

} // namespace publish
