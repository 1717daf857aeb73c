// How the program names itself to the weather networks: "softwaretype", the user agent, CWOP's
// login and packet tail. The version is the project's.
#pragma once

#include <QByteArray>
#include <QString>

namespace publish {

// "meteostation 1.2.0"
QString SoftwareType();
// "meteostation/1.2.0"
QByteArray UserAgent();

} // namespace publish
