// Settings on a page that scrolls: the wheel turned to scroll the page must not change a spin box,
// combo box or slider that happens to pass under the pointer. Such a control takes the wheel only
// while it has the keyboard focus, and the wheel no longer gives it the focus; otherwise the wheel
// goes on to the page, which scrolls.
#pragma once

class QWidget;

namespace gui {

// For every spin box, combo box and slider (not the scroll bars) in `within` as it is now; once
// for each.
void WheelOnlyWithFocus(QWidget* within);

} // namespace gui
