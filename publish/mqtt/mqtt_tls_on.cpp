// This build's libmosquitto talks TLS (OpenSSL).
#include "publish/mqtt/mqtt_settings.h"

namespace publish {

bool MqttTlsAvailable()
{
    return true;
}

} // namespace publish
