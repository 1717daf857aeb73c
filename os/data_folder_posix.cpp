#include "os/data_folder.h"

namespace os {

QString DataFolderNote()
{
    return QStringLiteral("Из меню программа запускается в ней (через meteostation-launcher), из терминала работает\n"
                          "в текущей папке.");
}

std::vector<TEnvironmentVariable> DataFolderVariables()
{
    return {{QStringLiteral("XDG_DATA_HOME"),
             QStringLiteral("папка, в которой лежит папка данных meteostation (без неё ~/.local/share)")},
            {QStringLiteral("HOME"), QStringLiteral("домашняя папка (~)")}};
}

// The launcher has started the program in its data folder (or the user started it where they want
// its files): nothing to do.
bool EnterDataFolder(QString&)
{
    return true;
}

} // namespace os
