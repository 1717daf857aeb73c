// Publishing as the window sees it: the «Публикация» page, the readings handed to the MQTT
// publisher and the web page, the weather networks' uploads from the archive. The programs load it
// as a module after their first picture (publishing_module_loader.cpp), so the libraries it needs
// (Qt Network, TLS, libmosquitto, the password store) cost their start nothing; tests and tools link it
// in (publishing_built_in.cpp). Only this interface crosses between the two sides.
#pragma once

#include "base/station_reading.h"

#include <QString>
#include <functional>
#include <memory>

class QWidget;
namespace publish {
class TPositionStore;
class TReadingSource;
} // namespace publish

class TPublishingModule
{
public:
    virtual ~TPublishingModule() = default;

    // The page's content, made in `parent` with the settings of `dataFolder`; `parent` owns it.
    virtual QWidget* CreatePage(QWidget* parent, const QString& dataFolder) = 0;
    // The publishers of `dataFolder` without a page, for the program run without a window: each
    // problem they meet, and the web page's state when it changes, goes to `tell` (Russian).
    virtual void OpenWithoutPage(const QString& dataFolder, std::function<void(const QString&)> tell) = 0;
    // Why the settings file CreatePage or OpenWithoutPage read cannot be read or is damaged (Russian, naming it), for
    // the window to tell as it tells of its own settings file; empty when it read whole.
    virtual QString SettingsFileProblem() const = 0;
    // The archive is open: the weather networks' uploads start, sending the readings of `source`
    // and keeping how far each service got in `positions` (both outlive the module), and the web
    // page reads the archive at `archivePath`.
    virtual void StartArchive(publish::TReadingSource& source, publish::TPositionStore& positions,
                              const QString& archivePath) = 0;
    // A reading of the stream, for the broker and the web page.
    virtual void Publish(const base::TStationReading& reading) = 0;
    // Whether readings come, and the trend and forecast lines, for the web page.
    virtual void TakeStationPresence(base::TStationPresence presence) = 0;
    virtual void TakeOutlook(const QString& trend, const QString& forecast) = 0;
};

// The module's one exported function: a new publishing, or null when the module was built for
// another version of the program than `programVersion`.
using TPublishingModuleEntry = TPublishingModule* (*)(const char* programVersion);
inline constexpr char PublishingModuleEntryName[] = "MeteoCreatePublishing";

// The window's publishing, or why it has none (Russian, for the page).
struct TPublishingOpening
{
    std::unique_ptr<TPublishingModule> Module;
    QString Problem;
};

// The module's loader, in the window's library; what links the built-in publishing has it in its
// place.
TPublishingOpening OpenPublishingModule();
