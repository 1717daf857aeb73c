#include "tools/hid_list_advice.h"

namespace hidlist {

const char* const LoadFailureAdvice =
    " (on Linux it needs libudev.so.1 from the package libudev1), so no device can be found.\n";

const char* const ReadWriteAdvice =
    "To fix this, install the udev rule 70-meteostation.rules of the meteostation package (into\n"
    "/usr/lib/udev/rules.d or /etc/udev/rules.d), then unplug the station and plug it in again, or\n"
    "apply the rules without replugging:\n"
    "    sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw\n"
    "The rule gives access to the user logged in at the computer itself (a local session).\n";

} // namespace hidlist
