// The main thread's stalls as a user would feel them: a 1 ms timer on the main thread notes the time
// between two of its turns; the longest gap and a percentile of the gaps are what the loop stood
// still. An optional call runs on every turn (a report queued, a reading published), so the probe
// can also pace a load. Beside the wall time of each gap, the main thread's own processor time in
// it: on a busy machine a gap can be the scheduler's doing, while processor time is the program's.
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <ctime>
#include <functional>
#include <vector>

namespace benchsupport {

class TStallProbe
{
public:
    explicit TStallProbe(std::function<void()> onTurn = {})
        : OnTurn(std::move(onTurn))
    {
        Timer.setTimerType(Qt::PreciseTimer);
        Timer.setInterval(1);
        QObject::connect(&Timer, &QTimer::timeout, [this] { Turn(); });
    }

    // Starts afresh: the gaps measured so far are forgotten.
    void Start()
    {
        Gaps.clear();
        LongestBusy = 0;
        Clock.start();
        Last = Clock.nsecsElapsed();
        LastCpu = ThreadCpuNanoseconds();
        Timer.start();
    }

    // Stops, counting the gap up to now as one more: a stall that lasts to the end is not lost.
    void Stop()
    {
        if (!Timer.isActive())
            return;
        Timer.stop();
        Note();
    }

    double LongestMs() const
    {
        return Gaps.empty() ? 0 : static_cast<double>(*std::max_element(Gaps.begin(), Gaps.end())) / 1e6;
    }

    // The gap that `share` (0.99 for the 99th percentile) of all gaps do not exceed.
    double PercentileMs(double share) const
    {
        if (Gaps.empty())
            return 0;
        std::vector<qint64> sorted = Gaps;
        std::sort(sorted.begin(), sorted.end());
        const auto rank = static_cast<std::size_t>(std::ceil(share * static_cast<double>(sorted.size())));
        return static_cast<double>(sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1]) / 1e6;
    }

    // The most processor time the main thread spent between two turns.
    double LongestBusyMs() const { return static_cast<double>(LongestBusy) / 1e6; }

    std::size_t Turns() const { return Gaps.size(); }

private:
    static qint64 ThreadCpuNanoseconds()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<qint64>(t.tv_sec) * 1000000000 + t.tv_nsec;
    }

    void Note()
    {
        const qint64 now = Clock.nsecsElapsed();
        const qint64 cpu = ThreadCpuNanoseconds();
        Gaps.push_back(now - Last);
        LongestBusy = std::max(LongestBusy, cpu - LastCpu);
        Last = now;
        LastCpu = cpu;
    }

    void Turn()
    {
        Note();
        if (OnTurn)
            OnTurn();
    }

    std::function<void()> OnTurn;
    QTimer Timer;
    QElapsedTimer Clock;
    qint64 Last = 0;
    qint64 LastCpu = 0;
    qint64 LongestBusy = 0;
    std::vector<qint64> Gaps;
};

} // namespace benchsupport
