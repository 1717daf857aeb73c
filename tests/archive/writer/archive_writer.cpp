// The program the archive's crash loops kill and its two-writer test runs beside others: it merges
// the crash loop's history images, or adds its live samples, into the archive of a folder, and
// says on its standard output when each change begins and when it is done.
//
//   archive_writer merge|samples <folder> [first last]
//
// Without a range it goes on from what the archive holds until it is killed; with one it makes
// changes first..last and ends (status 1 and the message when a change failed).
#include "archive/archive_store.h"
#include "core/archive_records.h"
#include "tests/support/archive_support.h"

#include <QCoreApplication>
#include <QDir>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>
#include <string>
#include <unistd.h>

namespace {

void Say(const char* what, long n)
{
    char line[64];
    const int length = std::snprintf(line, sizeof line, "%s %ld\n", what, n);
    // Unbuffered: what was said before a kill has reached the pipe.
    if (::write(STDOUT_FILENO, line, static_cast<std::size_t>(length)) != length)
        std::_Exit(3);
}

long Newest(archive::TArchiveStore& store, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    long value = -1;
    if (sqlite3_prepare_v2(store.Connection(), sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW && sqlite3_column_type(statement, 0) != SQLITE_NULL)
        value = static_cast<long>(sqlite3_column_int64(statement, 0));
    sqlite3_finalize(statement);
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3 && argc != 5) {
        std::fprintf(stderr, "usage: archive_writer merge|samples <folder> [first last]\n");
        return 2;
    }
    const bool merge = std::strcmp(argv[1], "merge") == 0;
    // The writers beside it may hold the archive for seconds on a busy machine (a merge under the
    // sanitizers): what is checked is what gets written, not how long a writer waits for its turn.
    constexpr int BusyTimeoutMs = 60'000;
    archive::TArchiveStore store(QDir(QString::fromLocal8Bit(argv[2])).filePath(archive::ArchiveFileName),
                                 BusyTimeoutMs);
    if (!store.IsOpen() || !store.Notice().isEmpty()) {
        std::fprintf(stderr, "%s\n", store.Notice().toLocal8Bit().constData());
        return 1;
    }
    long first = 0;
    long last = -1;
    if (argc == 5) {
        first = std::stol(argv[3]);
        last = std::stol(argv[4]);
    } else if (merge) {
        // The newest hour tells the last merge that went in (see VersionImage).
        first = Newest(store, "SELECT indoor + 200 * outdoor FROM hours ORDER BY hour DESC LIMIT 1") + 1;
    } else {
        const long newest = Newest(store, "SELECT max(minute) FROM samples");
        first = newest < 0 ? 0 : (newest - archivetest::SampleBase()) / archive::SampleMinutes + 1;
    }
    for (long n = first; argc == 3 || n <= last; ++n) {
        QString message;
        if (merge) {
            const std::vector<archive::THourRecord> hours =
                ArchiveHoursOfImage(archivetest::VersionImage(static_cast<int>(n))).Hours;
            Say("begin", n);
            message = store.Merge(hours).Message;
        } else {
            const archive::TSample sample = archivetest::NumberedSample(static_cast<int>(n));
            Say("begin", n);
            message = store.AddSample(sample).Message;
        }
        if (!message.isEmpty()) {
            std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
            return 1;
        }
        Say("done", n);
    }
    return 0;
}
