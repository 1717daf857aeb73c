// «Свой адрес»: the owner's own server gets an HTTP(S) GET built from an address template with
// placeholders in braces, e.g.
//   https://example.org/wx?station={id}&t={tempc}&h={humidity}&at={dateutc}
// Each placeholder becomes its value percent-encoded; a value the reading lacks becomes empty.
// A template with an unknown placeholder is refused when the owner enters it, with the list of
// the known ones.
#pragma once

#include "publish/networks/published_values.h"

#include <QString>
#include <QStringList>
#include <QUrl>

namespace publish {

// "{id}", "{key}", "{dateutc}", ... in the order the owner is shown them.
QStringList KnownPlaceholders();

// What is wrong with the template, in Russian; empty when it is usable.
QString TemplateProblem(const QString& urlTemplate);

// Whether the template carries the reading's time; without it the server cannot tell a past
// reading from the present one, so only the newest reading is sent.
bool TemplateCarriesTime(const QString& urlTemplate);

// The address for one reading; the template must be usable.
QUrl ExpandTemplate(const QString& urlTemplate, const QString& stationId, const QString& key,
                    const TPublishedValues& values);

} // namespace publish
