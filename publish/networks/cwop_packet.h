// CWOP over APRS-IS: the login line and the weather packet of one reading,
//   user CW1234 pass -1 vers meteostation 1.2.0\r\n
//   CW1234>APRS,TCPIP*:@081527z5544.12N/03736.96E_.../...g...t-13h85b10213.meteostation-1.2.0\r\n
// The station has no wind or rain gauge: wind is sent as unknown, rain left out. Humidity goes
// only as an outdoor value; pressure is the altimeter setting in tenths of hPa.
#pragma once

#include "publish/networks/outgoing_request.h"
#include "publish/networks/publish_reading.h"
#include "publish/networks/published_values.h"

namespace publish {

// "5544.12N" and "03736.96E": degrees and minutes with two decimals, rounded as a whole so that
// 59.999 minutes becomes the next degree rather than "60.00".
QByteArray AprsLatitude(double degrees);
QByteArray AprsLongitude(double degrees);

// `passcode` is the key: empty for a CW number (-1, unverified), a ham's passcode otherwise.
TOutgoingRequest CwopPacket(const QString& callSign, const QString& passcode, const TStationPlace& place,
                            const QUrl& endpoint, const TPublishedValues& values);

} // namespace publish
