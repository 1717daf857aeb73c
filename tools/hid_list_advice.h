// What meteostation-hid-list tells the user that depends on the system: what the HID layer needs,
// and how to get the station opened for reading and writing. UTF-8.
#pragma once

namespace hidlist {

// Completes «Не удалось загрузить слой HID-устройств», ending with a newline.
extern const char* const LoadFailureAdvice;
// Follows «Метеостанция найдена: PATH, но этому пользователю нельзя открыть её для чтения и записи.\n».
extern const char* const ReadWriteAdvice;

} // namespace hidlist
