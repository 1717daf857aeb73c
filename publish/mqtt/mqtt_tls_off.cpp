// This build's libmosquitto was made without TLS: the page says so and TLS cannot be turned on.
#include "publish/mqtt/mqtt_settings.h"

namespace publish {

bool MqttTlsAvailable()
{
    return false;
}

} // namespace publish
