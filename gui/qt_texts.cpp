#include "gui/qt_texts.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace gui {

bool UseRussianQtTexts()
{
    auto* translator = new QTranslator(QCoreApplication::instance());
    for (const QString& folder : {QLibraryInfo::path(QLibraryInfo::TranslationsPath),
                                  QCoreApplication::applicationDirPath() + QStringLiteral("/translations")})
        if (translator->load(QStringLiteral("qtbase_ru"), folder))
            return QCoreApplication::installTranslator(translator);
    delete translator;
    return false;
}

} // namespace gui
