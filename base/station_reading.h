// One reading of the station as every part of the program takes it: the four quantities it
// measures in the window's units (°C, mm Hg, %), each absent where the station sent none, and the
// moment the program took it. A report is decoded into it once; the archive, the publishers, the
// alarms, the outlook and the pages each convert it to what they need.
#pragma once

#include "base/quantity.h"

#include <QDateTime>
#include <array>
#include <cstddef>
#include <optional>

namespace base {

struct TStationReading
{
    QDateTime Time;
    std::array<std::optional<int>, QuantityCount> Values{};

    std::optional<int> Value(TQuantity quantity) const { return Values[static_cast<std::size_t>(quantity)]; }
    friend bool operator==(const TStationReading&, const TStationReading&) = default;
};

// Whether readings come, as the pages that show them away from the window say it: a station
// streams («подключена»), a station is there but sends none (quiet, silent, not to be opened or
// failing: «нет данных»), or there is none («отключена»).
enum class TStationPresence { Connected, NoData, Disconnected };

} // namespace base
