#include "os/data_folder.h"

namespace os {

// The launcher has started the program in its data folder (or the user started it where they want
// its files): nothing to do.
bool EnterDataFolder(QString&)
{
    return true;
}

} // namespace os
