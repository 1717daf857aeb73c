// The archive's merge of downloaded history images on any bytes. The input is merged three times
// into a fresh archive: as a raw image, then folded so that most records have real dates that
// often meet, then the folded image again with every other record's values changed. A plain
// reference of the merge rule, written here apart from the program, says what each merge must
// count and what the archive must hold after it: a record goes in only with a real date and hour
// (month 1..12, a day the month has, hour 0..23, the year 2000 + yy for yy 0..99), an hour not
// yet there is added, one there with the same values is left alone, one with other values takes
// the new values (a conflict); a later record of an image wins over an earlier one.
#include "archive/archive_store.h"
#include "core/archive_records.h"
#include "fuzz/scratch_folder.h"

#include <QDir>
#include <QFile>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <sqlite3.h>
#include <vector>

namespace {

void Require(bool condition, const char* what)
{
    if (!condition) {
        std::fprintf(stderr, "fuzz_archive_merge: %s\n", what);
        std::abort();
    }
}

using TValues = std::array<std::optional<int>, 4>;

struct TCounts
{
    int Added = 0, Unchanged = 0, Conflicts = 0, Skipped = 0;
};

bool LeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int MonthDays(int year, int month)
{
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && LeapYear(year) ? 29 : days[month - 1];
}

// Hours since 1 January 2000, 00:00, counted day by day.
std::int64_t HourNumber(int year, int month, int day, int hour)
{
    std::int64_t days = 0;
    for (int y = 2000; y < year; ++y)
        days += LeapYear(y) ? 366 : 365;
    for (int m = 1; m < month; ++m)
        days += MonthDays(year, m);
    return (days + day - 1) * 24 + hour;
}

// The rule, record by record, over the archive as the reference holds it.
TCounts ReferenceMerge(const THistoryImage& image, std::map<std::int64_t, TValues>& archive)
{
    TCounts counts;
    for (int r = 0; r < HistoryRecordCount; ++r) {
        const std::uint8_t* b = image.data() + 8 * r;
        bool empty = true;
        for (int i = 0; i < 8; ++i)
            empty = empty && b[i] == 255;
        if (empty)
            continue;
        const int hour = b[4], day = b[5], month = b[6], year = 2000 + b[7];
        if (hour > 23 || b[7] > 99 || month < 1 || month > 12 || day < 1 || day > MonthDays(year, month)) {
            ++counts.Skipped;
            continue;
        }
        TValues values;
        if (b[0] != 255)
            values[0] = b[0];
        if (b[1] != 255)
            values[1] = DecodeOutdoorTemperature(b[1]);
        if (b[2] != 255)
            values[2] = DecodePressure(b[2]);
        if (b[3] != 255)
            values[3] = b[3];
        const std::int64_t key = HourNumber(year, month, day, hour);
        const auto found = archive.find(key);
        if (found == archive.end()) {
            ++counts.Added;
            archive[key] = values;
        } else if (found->second == values) {
            ++counts.Unchanged;
        } else {
            ++counts.Conflicts;
            found->second = values;
        }
    }
    return counts;
}

std::map<std::int64_t, TValues> ArchiveContents(sqlite3* db)
{
    std::map<std::int64_t, TValues> contents;
    sqlite3_stmt* s = nullptr;
    Require(sqlite3_prepare_v2(db, "SELECT hour, indoor, outdoor, pressure, humidity FROM hours", -1, &s, nullptr) ==
                SQLITE_OK,
            "hours cannot be read");
    while (sqlite3_step(s) == SQLITE_ROW) {
        TValues& values = contents[sqlite3_column_int64(s, 0)];
        for (int q = 0; q < 4; ++q)
            if (sqlite3_column_type(s, 1 + q) != SQLITE_NULL)
                values[static_cast<std::size_t>(q)] = sqlite3_column_int(s, 1 + q);
    }
    sqlite3_finalize(s);
    return contents;
}

THistoryImage RawImage(const std::uint8_t* data, std::size_t size)
{
    THistoryImage image;
    image.fill(255);
    std::copy(data, data + std::min(size, image.size()), image.begin());
    return image;
}

// Records whose dates mostly exist and often repeat: a few months of three years, with some
// impossible days, hours and months left in.
THistoryImage FoldedImage(const std::uint8_t* data, std::size_t size)
{
    THistoryImage image;
    image.fill(255);
    for (std::size_t r = 0; r < HistoryRecordCount && 8 * r + 8 <= size; ++r) {
        const std::uint8_t* in = data + 8 * r;
        std::uint8_t* out = image.data() + 8 * r;
        std::copy(in, in + 4, out);
        out[4] = in[4] % 25;
        out[5] = in[5] % 32;
        out[6] = in[6] % 4;
        out[7] = static_cast<std::uint8_t>(23 + in[7] % 3);
    }
    return image;
}

// One scratch folder for the whole run, its archive made afresh for each input.
QString ScratchFolder()
{
    return FuzzScratchFolder("fuzz-archive");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = QDir(ScratchFolder()).filePath(archive::ArchiveFileName);
    for (const char* suffix : {"", "-wal", "-shm"})
        QFile::remove(path + QString::fromLatin1(suffix));
    archive::TArchiveStore store(path);
    Require(store.IsOpen() && store.Notice().isEmpty(), "a fresh archive does not open");

    THistoryImage folded = FoldedImage(data, size);
    THistoryImage changed = folded;
    for (std::size_t r = 0; r < std::size_t{HistoryRecordCount}; r += 2)
        changed[8 * r] = static_cast<std::uint8_t>(changed[8 * r] ^ 1);

    std::map<std::int64_t, TValues> reference;
    for (const THistoryImage& image : {RawImage(data, size), folded, changed}) {
        const TCounts expected = ReferenceMerge(image, reference);
        const TImageHours hours = ArchiveHoursOfImage(image);
        Require(hours.Skipped == expected.Skipped, "skipped records counted otherwise");
        const archive::TMergeResult result = store.Merge(hours.Hours);
        Require(result.Ok && result.Message.isEmpty(), "merge failed");
        Require(result.Added == expected.Added, "added hours counted otherwise");
        Require(result.Unchanged == expected.Unchanged, "unchanged hours counted otherwise");
        Require(result.Conflicts == expected.Conflicts, "conflicts counted otherwise");
        Require(ArchiveContents(store.Connection()) == reference, "the archive holds other hours than the reference");
    }
    return 0;
}
