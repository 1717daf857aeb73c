#include "gui/font_substitutes.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
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
        {QStringLiteral("Arial"), {QStringLiteral("Liberation Sans"), QStringLiteral("Arimo"), QStringLiteral("DejaVu Sans")}},
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
    for (const auto& [family, candidates] : Candidates()) {
        if (QFontDatabase::hasFamily(family))
            continue;
        for (const QString& candidate : candidates) {
            if (QFontDatabase::hasFamily(candidate)) {
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
