// meteostation-hid-list: which HID devices meteostation sees, and whether
// the station is among them and usable. Exit status 0 when it is.
#include "hid/platform/host_platform.h"
#include "tools/hid_list.h"

#include <QCoreApplication>
#include <iostream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1) {
        std::cout << "Usage: meteostation-hid-list\n"
                     "Lists the HID devices meteostation sees and tells whether the weather station is among\n"
                     "them and can be used. Exit status 0 when it can, 1 otherwise.\n";
        return QCoreApplication::arguments().at(1) == QStringLiteral("--help") ? 0 : 2;
    }
    const auto platform = hidplatform::CreateHostPlatform();
    return hidlist::RunHidList(*platform, std::cout);
}
