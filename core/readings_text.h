// Texts of the readings panels and the settings page, made from the report image.
#pragma once

#include "protocol/report_layout.h"

#include <QString>
#include <cstdint>

// What the readings panels show while a value is missing.
extern const QString IndoorPlaceholder;
extern const QString OutdoorPlaceholder;
extern const QString PressurePlaceholder;
extern const QString HumidityPlaceholder;

extern const QString StationDisconnectedText;
extern const QString StationConnectedText;
extern const QString ReadErrorPrefix;
// A connected station that has sent nothing for a while although its readings should stream.
extern const QString StationSilentText;

QString IndoorTemperatureText(const TReportImage& image);
QString OutdoorTemperatureText(const TReportImage& image);
QString PressureText(const TReportImage& image);
QString HumidityText(const TReportImage& image);

// A correction as the signed difference from its zero point: "+5", "-17", "0".
QString CorrectionText(int value, int zeroPoint);
// Decimal with a "0" in front below 10: 7 -> "07", 10 -> "10", 123 -> "123".
QString TwoDigitText(int value);
// "hh:mm:ss" and "dd.mm.yy" from the station clock fields.
QString StationTimeText(const TReportImage& image);
QString StationDateText(const TReportImage& image);
// The 8 code bytes from image index `first` on as 16 upper-case hexadecimal digits.
QString SensorCodeText(const TReportImage& image, int first);

// Timer position of the settings page: value / step, halves to the even neighbour.
int TimerPosition(unsigned timerValue);
