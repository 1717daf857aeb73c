#include "tools/hid_list_advice.h"

namespace hidlist {

const char* const LoadFailureAdvice =
    " (ему нужны системные HID.dll и SetupApi.dll со всеми их функциями), поэтому устройства найти\n"
    "нельзя.\n";

const char* const ReadWriteAdvice =
    "Метеостанцию держит для себя другая программа: закройте программы, которые с ней работают (и другую\n"
    "копию meteostation), затем отключите метеостанцию и подключите снова.\n";

} // namespace hidlist
