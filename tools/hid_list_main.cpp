// meteostation-hid-list: which HID devices meteostation sees, and whether
// the station is among them and usable. Exit status 0 when it is.
#include "hid/platform/host_platform.h"
#include "os/command_line.h"
#include "tools/hid_list.h"

#include <QCoreApplication>

namespace {

os::TProgramUsage HidListUsage()
{
    return {QStringLiteral("meteostation-hid-list"),
            QStringLiteral("Показывает HID-устройства, которые видит программа meteostation, и говорит, есть ли\n"
                           "среди них метеостанция и можно ли с ней работать. Код выхода 0, если можно, иначе 1."),
            {},
            {},
            {},
            {}};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const auto status =
            os::AnswerCommandLine(QCoreApplication::arguments(), HidListUsage(), os::TCommandLineCheck::Everything))
        return *status;
    const auto platform = hidplatform::CreateHostPlatform();
    QString text;
    const int status = hidlist::RunHidList(*platform, text);
    os::WriteToUser(text, false);
    return status;
}
