#include "tools/hid_list_advice.h"

namespace hidlist {

const char* const LoadFailureAdvice =
    " (в Linux ему нужна библиотека libudev.so.1 из пакета libudev1), поэтому устройства найти нельзя.\n";

const char* const ReadWriteAdvice =
    "Чтобы это исправить, установите правило udev 70-meteostation.rules из пакета meteostation (в\n"
    "/usr/lib/udev/rules.d или /etc/udev/rules.d), затем отключите метеостанцию и подключите снова\n"
    "или примените правила без переподключения:\n"
    "    sudo udevadm control --reload-rules && sudo udevadm trigger --subsystem-match=hidraw\n"
    "Правило даёт доступ тому, кто работает за самим компьютером (в местном сеансе).\n";

} // namespace hidlist
