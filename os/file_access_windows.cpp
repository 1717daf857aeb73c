// Who may change the data folder's files, on Windows: the folder's access rules, which the
// program leaves to the system; see file_access.h.
#include "os/file_access.h"

namespace os {

void CreateUserOnlyFile(const QString&)
{
}

QString OthersMayChangeReason(const QString&)
{
    return {};
}

} // namespace os
