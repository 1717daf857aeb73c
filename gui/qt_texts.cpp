#include "gui/qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace gui {

void UseRussianLocale()
{
    // Qt reads the system locale from LC_ALL (and the variables below it) once, at its first use;
    // on Windows it asks the system instead and the variable changes nothing.
    const QByteArray name = QByteArrayLiteral("LC_ALL");
    const bool hadValue = qEnvironmentVariableIsSet(name.constData());
    const QByteArray value = qgetenv(name.constData());
    qputenv(name.constData(), QByteArrayLiteral("ru_RU.UTF-8"));
    [[maybe_unused]] const QLocale system = QLocale::system();
    if (hadValue)
        qputenv(name.constData(), value);
    else
        qunsetenv(name.constData());
    QLocale::setDefault(QLocale(QLocale::Russian, QLocale::Russia));
}

bool UseRussianQtTexts()
{
    static bool installed = false;
    if (installed)
        return true;
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/translations")})
        if (translator->load(QStringLiteral("qtbase_ru"), folder))
            return installed = QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}

} // namespace gui
