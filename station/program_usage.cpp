#include "station/program_usage.h"

#include "desktop/program_entry.h"
#include "os/data_folder.h"
#include "publish/networks/endpoint_variables.h"

#include <QDir>

std::vector<os::TEnvironmentVariable> ProgramEnvironment()
{
    std::vector<os::TEnvironmentVariable> variables = os::DataFolderVariables();
    for (const publish::TEndpointVariable& variable : publish::EndpointVariables)
        variables.push_back({QLatin1String(variable.Name), QString::fromUtf8(variable.Meaning)});
    return variables;
}

os::TProgramUsage WindowProgramUsage(const QString& program, const QString& summary, const QString& dataFolder,
                                     const QString& note)
{
    return {program,
            summary,
            QDir::toNativeSeparators(dataFolder),
            note +
                QStringLiteral("\nТам лежат met.mtb (копия памяти метеостанции), met.txt (её текст) и "
                               "meteo-archive.sqlite\n(архив погоды)."),
            ProgramEnvironment(),
            {{QStringLiteral("tray"),
              QStringLiteral("начать в трее, не показывая окна (где на рабочем столе есть трей)")}}};
}

os::TProgramUsage ProgramUsage()
{
    os::TProgramUsage usage = WindowProgramUsage(
        desktop::ProgramName,
        QStringLiteral("Программа для метеостанции «Метеостанция», подключённой к компьютеру по USB: показания,\n"
                       "установки, почасовая память метеостанции, её суточные диаграммы и архив погоды за годы."),
        os::ProgramDataFolder(), os::DataFolderNote());
    usage.Options.push_back(
        {ServiceArgument.mid(2),
         QStringLiteral(
             "работать без окна и трея, как служба: станция, архив, публикация и веб-страница\n                 "
             "(для всегда включённого компьютера рядом со станцией; пакет ставит для этого\n                 "
             "пользовательскую службу systemd: systemctl --user enable --now meteostation);\n                 "
             "завершается по SIGTERM. Окно и служба не работают с одной папкой одновременно")});
    return usage;
}
