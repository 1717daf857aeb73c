// A readings report of the station as the one reading every part of the program takes: decoded
// here once per report.
#pragma once

#include "base/station_reading.h"
#include "protocol/report_layout.h"

// The four readings of a readings report taken at `time`; a value is empty when its marker says it
// is absent or its byte is 255.
base::TStationReading ReadingOfReport(const TReportImage& image, const QDateTime& time);
