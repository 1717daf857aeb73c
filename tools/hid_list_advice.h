// What meteostation-hid-list tells the user that depends on the system: what the HID layer needs,
// and how to get the station opened for reading and writing.
#pragma once

namespace hidlist {

// Completes "The HID device layer could not be loaded", ending with a newline.
extern const char* const LoadFailureAdvice;
// Follows "Station found: PATH, but this user may not open it for reading and writing.\n".
extern const char* const ReadWriteAdvice;

} // namespace hidlist
