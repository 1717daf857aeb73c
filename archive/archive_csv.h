// The archive's hours as a CSV text for spreadsheets: UTF-8, a header row, one row per hour with its
// ISO date and time («2025-11-23 18:00»), empty fields where a value is missing, lines ending in
// CR LF. Two kinds: commas and decimal points for programs that read UTF-8 as it is, and one that
// a Russian Excel opens straight into columns (a byte-order mark, semicolons, decimal commas).
#pragma once

#include "archive/archive_types.h"

#include <QByteArray>
#include <vector>

namespace archive {

enum class TCsvKind { Comma, Excel };

// Every hour from `first` to `last`, with the values of `hours` (in order, as the store gives them).
QByteArray ArchiveCsv(const std::vector<TArchiveHour>& hours, THourKey first, THourKey last,
                      TCsvKind kind = TCsvKind::Comma);

} // namespace archive
