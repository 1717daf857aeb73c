// The archive's hours as a CSV text for spreadsheets: UTF-8, comma-separated, a header row, one
// row per hour with its ISO date and time («2025-11-23 18:00»), empty fields where a value is
// missing, numbers with a decimal point, lines ending in CR LF.
#pragma once

#include "archive/archive_types.h"

#include <QByteArray>
#include <vector>

namespace archive {

// Every hour from `first` to `last`, with the values of `hours` (in order, as the store gives them).
QByteArray ArchiveCsv(const std::vector<TArchiveHour>& hours, THourKey first, THourKey last);

} // namespace archive
