// The publishing kept up with a station core: each reading of the stream, whether readings come,
// the trend and forecast lines, and, once the archive is open, the weather networks' uploads from
// the core's queue. The window and the service each have one; it owns the publishing.
#pragma once

#include "station/publishing_module.h"

#include <QObject>
#include <memory>

class TStationCore;
class TWeatherOutlook;

class TPublishingFeed : public QObject
{
    Q_OBJECT

public:
    // `module` is open (its page made, or opened without one). Readings that came before are not
    // handed on; whether readings come is, at once.
    TPublishingFeed(TStationCore& core, std::unique_ptr<TPublishingModule> module, QObject* parent = nullptr);
    ~TPublishingFeed() override;

    TPublishingModule& Module() const { return *FModule; }

    // The outlook's lines as they are now, for the web page.
    void TakeOutlook(const TWeatherOutlook& outlook);
    // The archive is open, or could not be opened: the uploads start from the core's queue, and the
    // web page reads the archive's file (without one its own reads fail and say so).
    void StartArchive();

private:
    TStationCore& Core;
    std::unique_ptr<TPublishingModule> FModule;
};
