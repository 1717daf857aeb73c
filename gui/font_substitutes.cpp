#include "gui/font_substitutes.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QSet>
#include <QStringList>
#include <utility>
#include <vector>

namespace gui {
namespace {

const std::vector<std::pair<QString, QStringList>>& Candidates()
{
    static const std::vector<std::pair<QString, QStringList>> table = {
        {QStringLiteral("MS Sans Serif"),
         {QStringLiteral("Microsoft Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans"),
          QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")}},
        {QStringLiteral("Times New Roman"),
         {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos"), QStringLiteral("DejaVu Serif")}},
        {QStringLiteral("Palatino Linotype"),
         {QStringLiteral("TeX Gyre Pagella"), QStringLiteral("P052"), QStringLiteral("URW Palladio L"),
          QStringLiteral("Palatino"), QStringLiteral("Book Antiqua"), QStringLiteral("Liberation Serif"),
          QStringLiteral("DejaVu Serif")}},
        {QStringLiteral("Arial"),
         {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")}},
    };
    return table;
}

} // namespace

void InstallFontSubstitutes()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // One look at the installed families: asking hasFamily for each name has the system's font
    // configuration resolve it as an alias every time, which costs more than the rest of the
    // window's start-up.
    QSet<QString> present;
    for (const QString& name : QFontDatabase::families())
        present.insert(name.toCaseFolded());
    const auto has = [&present](const QString& name) { return present.contains(name.toCaseFolded()); };
    for (const auto& [family, candidates] : Candidates()) {
        if (has(family))
            continue;
        for (const QString& candidate : candidates) {
            if (has(candidate)) {
                QFont::insertSubstitution(family, candidate);
                break;
            }
        }
    }
}

QString ResolvedFontFamily(const QString& family)
{
    QFont font(family);
    return QFontInfo(font).family();
}

} // namespace gui
