// The local time zone read once per run. With TZ unset, the C library looks at /etc/localtime
// again on every conversion of local time (a file status call each, about 4 µs where the window
// converts a few times per report); naming that file in TZ has it read once. A zone changed while
// the program runs is then taken at its next start. Call before the first conversion; a TZ the
// user set is kept. Nothing to do on Windows.
#pragma once

namespace os {

void ReadLocalTimeZoneOnce();

} // namespace os
