// The web page's place in "publish.ini" (group "web": on or off, the port, who may reach it) and
// its access code's name in the secret store; the code itself never goes into a file.
#pragma once

#include "settings/settings_reader.h"
#include "web/web_settings.h"

#include <QString>

namespace web {

// The settings kept in the data folder; the defaults where none are kept or a kept value is not
// taken, which the problem tells key by key. The code is the secret store's (AccessCode empty).
settings::TLoaded<TWebSettings> LoadWebSettings(const QString& dataFolder);
// Empty on success, otherwise the message naming the file.
QString SaveWebSettings(const QString& dataFolder, const TWebSettings& settings);

// The code's name in the secret store, for the station `stationId`.
QString WebAccessCodeName(const QString& stationId);
// A new code, made at random: 10 capital letters and digits that are not mixed up when read off a
// screen (no O and 0, no I and 1), about 50 bits.
QString NewAccessCode();
// Why a code the owner typed cannot be used, or empty: it goes into an address, so Latin letters
// and digits only, and long enough not to be guessed at home.
QString AccessCodeProblem(const QString& code);

} // namespace web
