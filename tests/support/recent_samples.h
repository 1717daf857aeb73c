// Samples in the archive for the weather networks to catch up, and the times the
// stand-in services were sent: shared by the uploads' and the window's scenarios, on Linux and
// under wine.
#pragma once

#include "archive/archive_store.h"
#include "tests/support/network_stand_in.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>
#include <vector>

namespace testsupport {

// `hours` of 5-minute samples in the archive at `path`, the newest the last whole interval before
// the present one (still the present for the services that take only that), and the
// position of each of `services` just before the first: they were last sent that long ago. The
// times the services are to get, oldest first.
inline std::vector<QDateTime> ArchiveRecentSamples(const QString& path, const QStringList& services, int hours = 24)
{
    archive::TArchiveStore store(path);
    EXPECT_TRUE(store.IsOpen()) << store.Notice().toStdString();
    const QDateTime now = QDateTime::currentDateTime();
    const archive::TMinuteKey newest = (archive::MinuteKeyOf(now) / 5 - 1) * 5;
    std::vector<QDateTime> times;
    for (archive::TMinuteKey minute = newest - archive::TMinuteKey{hours} * 60; minute <= newest; minute += 5) {
        archive::TSample sample;
        sample.Start = minute;
        sample.Reports = 12;
        sample.Mean = {21.5, -5.0 + static_cast<double>(minute % 60) / 10, 745.0, 60.0};
        sample.Count = {12, 12, 12, 12};
        EXPECT_TRUE(store.AddSample(sample).Ok);
        times.push_back(archive::UtcOfMinute(minute));
    }
    for (const QString& service : services)
        EXPECT_TRUE(store.AdvanceUploadPosition(service, times.front().addSecs(-1)).Ok);
    return times;
}

// The times a service's requests carried, in the order they came.
inline std::vector<QDateTime> CarriedTimes(const QList<QByteArray>& requests, const QByteArray& path,
                                           const QString& field)
{
    std::vector<QDateTime> times;
    for (const QByteArray& request : requests)
        if (THttpStandIn::RequestLine(request).startsWith("GET " + path + "?")) {
            QDateTime time =
                QDateTime::fromString(THttpStandIn::QueryValue(request, field), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
            time.setTimeSpec(Qt::UTC);
            times.push_back(time);
        }
    return times;
}

// The UTC times a narodmon packet carried, one per reading (each reading's outdoor line,
// "#T2#value#unixtime").
inline std::vector<QDateTime> NarodmonCarriedTimes(const QByteArray& packet)
{
    static const QRegularExpression line(QStringLiteral("^#T2#[^#]+#(\\d+)$"), QRegularExpression::MultilineOption);
    std::vector<QDateTime> times;
    for (auto it = line.globalMatch(QString::fromLatin1(packet)); it.hasNext();)
        times.push_back(QDateTime::fromSecsSinceEpoch(it.next().captured(1).toLongLong(), Qt::UTC));
    return times;
}

} // namespace testsupport
