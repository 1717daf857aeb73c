// CWOP's login line and weather packet; see cwop_packet.h.
#include "publish/networks/cwop_packet.h"

#include "publish/networks/software_identity.h"

#include <algorithm>
#include <cmath>

namespace publish {

namespace {

QByteArray Coordinate(double degrees, int degreeDigits, char positive, char negative)
{
    const long hundredthsOfMinutes = std::lround(std::abs(degrees) * 6000.0);
    const long whole = hundredthsOfMinutes / 6000;
    const long minutes = hundredthsOfMinutes % 6000;
    return QByteArray::number(static_cast<qlonglong>(whole)).rightJustified(degreeDigits, '0') +
        QByteArray::number(static_cast<qlonglong>(minutes / 100)).rightJustified(2, '0') + '.' +
        QByteArray::number(static_cast<qlonglong>(minutes % 100)).rightJustified(2, '0') +
        (degrees < 0 ? negative : positive);
}

QByteArray Digits(long value, int width)
{
    return QByteArray::number(static_cast<qlonglong>(value)).rightJustified(width, '0');
}

// tTTT: whole °F in three characters, "t-05" below zero.
QByteArray Temperature(const std::optional<double>& fahrenheit)
{
    if (!fahrenheit)
        return "t...";
    const long whole = std::clamp(std::lround(*fahrenheit), -99L, 999L);
    return whole < 0 ? "t-" + Digits(-whole, 2) : 't' + Digits(whole, 3);
}

} // namespace

QByteArray AprsLatitude(double degrees)
{
    return Coordinate(degrees, 2, 'N', 'S');
}

QByteArray AprsLongitude(double degrees)
{
    return Coordinate(degrees, 3, 'E', 'W');
}

TOutgoingRequest CwopPacket(const QString& callSign, const QString& passcode, const TStationPlace& place,
                            const QUrl& endpoint, const TPublishedValues& values)
{
    const QByteArray call = callSign.toLatin1();
    const QDateTime time = values.Time.toUTC();
    TOutgoingRequest request;
    request.Transport = TTransport::AprsIs;
    request.Url = endpoint;
    request.Readings = 1;
    request.Login = "user " + call + " pass " + (passcode.isEmpty() ? QByteArray("-1") : passcode.toLatin1()) +
        " vers " + SoftwareType().toLatin1() + "\r\n";
    QByteArray packet = call + ">APRS,TCPIP*:@" + Digits(time.date().day(), 2) + Digits(time.time().hour(), 2) +
        Digits(time.time().minute(), 2) + 'z' + AprsLatitude(place.Latitude.value_or(0.0)) + '/' +
        AprsLongitude(place.Longitude.value_or(0.0)) + "_.../...g..." + Temperature(values.OutdoorF());
    if (values.OutdoorHumidity) {
        const long humidity = std::clamp(std::lround(*values.OutdoorHumidity), 1L, 100L);
        packet += 'h' + Digits(humidity % 100, 2); // h00 is 100 %
    }
    if (values.AltimeterHpa)
        packet += 'b' + Digits(std::clamp(std::lround(*values.AltimeterHpa * 10.0), 0L, 99999L), 5);
    request.Packet = packet + '.' + SoftwareType().replace(QLatin1Char(' '), QLatin1Char('-')).toLatin1() + "\r\n";
    return request;
}

} // namespace publish
