// The archive under kill -9 and beside other writers: a writer program is killed at random moments
// of its merges and of its live logging, again and again; after each kill the archive opens as it
// is, passes SQLite's integrity check, and holds every change whole or not at all. Three writers
// at once leave every change of each.
#include "archive/archive_store.h"
#include "tests/support/archive_support.h"
#include "tests/support/test_support.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <random>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

using namespace archive;
using namespace std::chrono_literals;
using archivetest::IntegrityCheck;

namespace {

// The writer program, its standard output read line by line: "begin n" before change n, "done n"
// after it.
class TWriter
{
public:
    TWriter(const char* mode, const QString& folder, long first = -1, long last = -1)
    {
        int fds[2];
        if (::pipe2(fds, O_CLOEXEC) != 0)
            return;
        Output = fds[0];
        posix_spawn_file_actions_t actions;
        ::posix_spawn_file_actions_init(&actions);
        ::posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
        std::vector<std::string> args{ARCHIVE_WRITER, mode, QFile::encodeName(folder).toStdString()};
        if (first >= 0) {
            args.push_back(std::to_string(first));
            args.push_back(std::to_string(last));
        }
        std::vector<char*> argv;
        for (std::string& arg : args)
            argv.push_back(arg.data());
        argv.push_back(nullptr);
        if (::posix_spawn(&Pid, ARCHIVE_WRITER, &actions, nullptr, argv.data(), environ) != 0)
            Pid = -1;
        ::posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
    }
    ~TWriter()
    {
        if (Pid > 0 && !Status) {
            ::kill(Pid, SIGKILL);
            Wait();
        }
        if (Output >= 0)
            ::close(Output);
    }

    // Reads what the writer said until `word` comes after the words waited for so far (true), or
    // its output ends, or 20 s pass.
    bool WaitFor(const std::string& word)
    {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            for (; Waited < Said.size(); ++Waited) {
                if (Said[Waited].first == word) {
                    ++Waited;
                    return true;
                }
            }
            pollfd p{Output, POLLIN, 0};
            if (::poll(&p, 1, 100) > 0 && !ReadSome())
                return false;
        }
        return false;
    }
    void Kill() { ::kill(Pid, SIGKILL); }
    int Wait()
    {
        if (!Status) {
            int status = 0;
            ::waitpid(Pid, &status, 0);
            Status = status;
        }
        while (ReadSome()) {}
        return *Status;
    }
    long Last(const std::string& word) const
    {
        for (auto it = Said.rbegin(); it != Said.rend(); ++it)
            if (it->first == word)
                return it->second;
        return -1;
    }
    bool Started() const { return Pid > 0; }

private:
    // False at the end of the output.
    bool ReadSome()
    {
        char buffer[4096];
        const ssize_t got = ::read(Output, buffer, sizeof buffer);
        if (got <= 0)
            return false;
        Pending.append(buffer, static_cast<std::size_t>(got));
        for (std::size_t end; (end = Pending.find('\n')) != std::string::npos; Pending.erase(0, end + 1)) {
            const std::string line = Pending.substr(0, end);
            const std::size_t space = line.find(' ');
            Said.emplace_back(line.substr(0, space), std::stol(line.substr(space + 1)));
        }
        return true;
    }

    pid_t Pid = -1;
    int Output = -1;
    std::optional<int> Status;
    std::string Pending;
    std::vector<std::pair<std::string, long>> Said;
    std::size_t Waited = 0;
};

sqlite3_stmt* Query(sqlite3* db, const char* sql)
{
    sqlite3_stmt* statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    return statement;
}

// The crash loop's merges first..newest, each whole: hour h of their windows holds the values of
// the last merge that covered it.
void ExpectWholeMerges(const std::vector<THourRecord>& hours, long first, long newest)
{
    ASSERT_EQ(static_cast<long>(hours.size()), newest < first ? 0L : 8L * (newest - first) + HistoryRecordCount);
    for (std::size_t i = 0; i < hours.size(); ++i) {
        const long h = hours[i].Hour - archivetest::CrashBase();
        ASSERT_EQ(h, 8 * first + static_cast<long>(i));
        ASSERT_EQ(archivetest::VersionOfHour(hours[i]), std::min<long>(newest, h / 8)) << "hour " << h;
    }
}

// Samples 0..count-1 of the crash loop, each whole, and the hourly sums agreeing with them.
void ExpectWholeSamples(sqlite3* db, long count)
{
    sqlite3_stmt* s = Query(db,
                            "SELECT minute, reports, indoor, indoor_count, outdoor, outdoor_count, pressure,"
                            " pressure_count, humidity, humidity_count FROM samples ORDER BY minute");
    std::map<THourKey, std::array<double, 8>> sums;
    long n = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        const TSample expected = archivetest::NumberedSample(static_cast<int>(n));
        EXPECT_EQ(sqlite3_column_int64(s, 0), expected.Start);
        EXPECT_EQ(sqlite3_column_int(s, 1), expected.Reports);
        auto& hour = sums[HourOfMinute(expected.Start)];
        for (int q = 0; q < base::QuantityCount; ++q) {
            const auto i = static_cast<std::size_t>(q);
            EXPECT_DOUBLE_EQ(sqlite3_column_double(s, 2 + 2 * q), expected.Mean[i]);
            EXPECT_EQ(sqlite3_column_int(s, 3 + 2 * q), expected.Count[i]);
            hour[2 * i] += expected.Mean[i] * expected.Count[i];
            hour[2 * i + 1] += expected.Count[i];
        }
        ++n;
    }
    sqlite3_finalize(s);
    EXPECT_EQ(n, count);
    s = Query(db,
              "SELECT hour, indoor_sum, indoor_count, outdoor_sum, outdoor_count, pressure_sum, pressure_count,"
              " humidity_sum, humidity_count FROM sample_hours ORDER BY hour");
    std::size_t hours = 0;
    while (sqlite3_step(s) == SQLITE_ROW) {
        ++hours;
        const auto found = sums.find(sqlite3_column_int64(s, 0));
        ASSERT_NE(found, sums.end());
        for (int c = 0; c < 8; ++c)
            EXPECT_NEAR(sqlite3_column_double(s, 1 + c), found->second[static_cast<std::size_t>(c)], 1e-6);
    }
    sqlite3_finalize(s);
    EXPECT_EQ(hours, sums.size());
}

class ArchiveKillLoop : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(Folder.Entered()); }

    // Kills the writer `kills` times at random moments of its changes; after each kill `check`
    // looks at the archive, given the last change begun and the last one done, and tells whether
    // the change begun last is in.
    void Run(const char* mode, int kills, const std::function<bool(TArchiveStore&, long begun, long done)>& check)
    {
        // How long the first change of a fresh writer takes here, from its "begin" to its "done":
        // the median of a few.
        std::vector<double> changes;
        for (long n = 0; n < 5; ++n) {
            TWriter writer(mode, Folder.Path(), n, n);
            ASSERT_TRUE(writer.Started());
            ASSERT_TRUE(writer.WaitFor("begin"));
            const auto begun = std::chrono::steady_clock::now();
            ASSERT_TRUE(writer.WaitFor("done"));
            changes.push_back(
                std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - begun).count());
            ASSERT_EQ(writer.Wait(), 0);
        }
        std::sort(changes.begin(), changes.end());
        const double change = changes[changes.size() / 2];
        std::mt19937 random(11);
        std::uniform_real_distribution<double> delays(0.0, change * 3);
        int absent = 0;
        int whole = 0;
        for (int i = 0; i < kills; ++i) {
            TWriter writer(mode, Folder.Path());
            ASSERT_TRUE(writer.Started());
            ASSERT_TRUE(writer.WaitFor("begin")) << "kill " << i;
            const auto delay = std::chrono::duration<double, std::micro>(delays(random));
            const auto start = std::chrono::steady_clock::now();
            while (std::chrono::steady_clock::now() - start < delay) {}
            writer.Kill();
            const int status = writer.Wait();
            ASSERT_TRUE(WIFSIGNALED(status)) << "kill " << i << ": the writer ended by itself, status " << status;
            const long begun = writer.Last("begin");
            const long done = writer.Last("done");

            TArchiveStore store(QDir(Folder.Path()).filePath(ArchiveFileName));
            ASSERT_TRUE(store.IsOpen()) << "kill " << i;
            ASSERT_EQ(store.Notice(), QString()) << "kill " << i;
            ASSERT_EQ(IntegrityCheck(store.Connection()), QStringLiteral("ok")) << "kill " << i;
            (check(store, begun, done) ? whole : absent) += 1;
            if (HasFatalFailure())
                return;
        }
        std::printf("%s: a change takes %.0f us here; %d kills at 0..%.0f us after a change began: %d before its "
                    "commit (change absent), %d after it (change whole)\n",
                    mode, change, kills, change * 3, absent, whole);
        // Kills land inside changes at least now and then, however busy the machine.
        EXPECT_GT(absent, 0);
        RecordProperty("absent", absent);
        RecordProperty("whole", whole);
    }

    testsupport::TFreshCurrentFolder Folder;
};

TEST_F(ArchiveKillLoop, EachMergeIsWholeOrAbsentAfterEveryKill)
{
    Run("merge", 60, [](TArchiveStore& store, long begun, long done) {
        const std::vector<THourRecord> hours = archivetest::StationHours(store.Connection());
        const int newest = hours.empty() ? -1 : archivetest::VersionOfHour(hours.back());
        // The merge the kill interrupted went in whole or not at all.
        EXPECT_TRUE(newest == begun || (newest == begun - 1 && done < begun))
            << "begun " << begun << ", done " << done << ", found " << newest;
        ExpectWholeMerges(hours, 0, newest);
        return newest == begun;
    });
}

TEST_F(ArchiveKillLoop, EachLiveSampleIsWholeOrAbsentAfterEveryKill)
{
    Run("samples", 60, [](TArchiveStore& store, long begun, long done) {
        sqlite3_stmt* s = Query(store.Connection(), "SELECT count(*) FROM samples");
        const long count = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
        sqlite3_finalize(s);
        EXPECT_TRUE(count == begun + 1 || (count == begun && done < begun))
            << "begun " << begun << ", done " << done << ", found " << count;
        ExpectWholeSamples(store.Connection(), count);
        return count == begun + 1;
    });
}

TEST(ArchiveWriters, ThreeProgramsWritingAtOnceLoseNothing)
{
    testsupport::TFreshCurrentFolder folder;
    ASSERT_TRUE(folder.Entered());
    // Two programs merge downloads of different hours, a third logs live samples, all at once.
    constexpr long Merges = 25;
    constexpr long Samples = 150;
    TWriter first("merge", folder.Path(), 0, Merges - 1);
    TWriter second("merge", folder.Path(), 1000, 1000 + Merges - 1);
    TWriter samples("samples", folder.Path(), 0, Samples - 1);
    EXPECT_EQ(first.Wait(), 0);
    EXPECT_EQ(second.Wait(), 0);
    EXPECT_EQ(samples.Wait(), 0);

    TArchiveStore store(QDir(folder.Path()).filePath(ArchiveFileName));
    ASSERT_EQ(store.Notice(), QString());
    EXPECT_EQ(IntegrityCheck(store.Connection()), QStringLiteral("ok"));
    std::vector<THourRecord> hours = archivetest::StationHours(store.Connection());
    const auto split = std::find_if(hours.begin(), hours.end(),
                                    [](const THourRecord& h) { return h.Hour - archivetest::CrashBase() >= 8 * 1000; });
    ExpectWholeMerges({hours.begin(), split}, 0, Merges - 1);
    ExpectWholeMerges({split, hours.end()}, 1000, 1000 + Merges - 1);
    ExpectWholeSamples(store.Connection(), Samples);
}

} // namespace
