// The link's thread on Windows, which has no SIGPIPE: nothing to prepare.
#include "publish/mqtt/mqtt_link.h"

namespace publish {

void PrepareLinkThread()
{
}

} // namespace publish
