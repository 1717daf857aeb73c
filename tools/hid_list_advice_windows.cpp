#include "tools/hid_list_advice.h"

namespace hidlist {

const char* const LoadFailureAdvice =
    " (it needs the system's HID.dll and SetupApi.dll with all their functions), so no device can be\n"
    "found.\n";

const char* const ReadWriteAdvice =
    "Another program holds the station for itself: close the other programs that use the station\n"
    "(another copy of meteostation among them), then unplug the station and plug it in again.\n";

} // namespace hidlist
