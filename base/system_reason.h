// Why a file operation failed, as the user reads it: the reasons file work meets in practice in
// Russian whatever the system's locale, the system's own text for the rest.
#pragma once

#include <QString>

namespace base {

QString SystemReason(int error);

} // namespace base
