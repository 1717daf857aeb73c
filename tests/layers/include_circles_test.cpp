// Inside a folder, no two units (name.h with name.cpp) include each other, directly or through other units of the
// folder: each folder's units stand in layers, so any one of them can be read, tested and changed with only those below
// it.
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <set>

namespace {

const QStringList Outside{QStringLiteral("build"), QStringLiteral("tests"), QStringLiteral("bench"),
                          QStringLiteral("fuzz"), QStringLiteral("third_party")};

// A file's unit: its path without the extension.
QString UnitOf(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('.')));
}

using TGraph = std::map<QString, std::set<QString>>;

// Each unit to the units of its own folder it includes.
TGraph IncludesWithinFolders()
{
    const QDir top(QStringLiteral(METEO_SOURCE_DIR));
    static const QRegularExpression include(QStringLiteral("^\\s*#\\s*include\\s+\"([^\"]+)\""),
                                            QRegularExpression::MultilineOption);
    TGraph graph;
    QDirIterator files(top.path(), {QStringLiteral("*.h"), QStringLiteral("*.cpp")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (files.hasNext()) {
        const QString path = top.relativeFilePath(files.next());
        if (!path.contains(QLatin1Char('/')) || Outside.contains(path.section(QLatin1Char('/'), 0, 0)) ||
            path.startsWith(QLatin1String("build")))
            continue; // the build folders' copies and generated files, the checks' own folders
        QFile file(top.filePath(path));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString folder = path.section(QLatin1Char('/'), 0, -2);
        const QString unit = UnitOf(path);
        graph[unit];
        auto found = include.globalMatch(QString::fromUtf8(file.readAll()));
        while (found.hasNext()) {
            const QString included = found.next().captured(1);
            if (included.section(QLatin1Char('/'), 0, -2) != folder || !top.exists(included))
                continue;
            if (const QString other = UnitOf(included); other != unit)
                graph[unit].insert(other);
        }
    }
    return graph;
}

// The groups of two or more units that reach each other (Tarjan's strongly connected components).
std::vector<std::vector<QString>> Circles(const TGraph& graph)
{
    std::map<QString, int> index;
    std::map<QString, int> low;
    std::vector<QString> stack;
    std::set<QString> onStack;
    std::vector<std::vector<QString>> circles;
    int next = 0;
    std::function<void(const QString&)> visit = [&](const QString& unit) {
        index[unit] = low[unit] = next++;
        stack.push_back(unit);
        onStack.insert(unit);
        for (const QString& other : graph.at(unit)) {
            if (!index.contains(other)) {
                visit(other);
                low[unit] = std::min(low[unit], low[other]);
            } else if (onStack.contains(other)) {
                low[unit] = std::min(low[unit], index[other]);
            }
        }
        if (low[unit] != index[unit])
            return;
        std::vector<QString> group;
        QString member;
        do {
            member = stack.back();
            stack.pop_back();
            onStack.erase(member);
            group.push_back(member);
        } while (member != unit);
        if (group.size() > 1)
            circles.push_back(group);
    };
    for (const auto& [unit, includes] : graph)
        if (!index.contains(unit))
            visit(unit);
    return circles;
}

TEST(Layers, NoTwoUnitsOfAFolderIncludeEachOther)
{
    // The check itself: a circle made up here is found, and one unit alone is none.
    const TGraph made{{QStringLiteral("a/x"), {QStringLiteral("a/y")}},
                      {QStringLiteral("a/y"), {QStringLiteral("a/z")}},
                      {QStringLiteral("a/z"), {QStringLiteral("a/x")}},
                      {QStringLiteral("a/w"), {QStringLiteral("a/x")}}};
    ASSERT_EQ(Circles(made).size(), 1u);
    EXPECT_EQ(Circles(made)[0].size(), 3u);

    const TGraph graph = IncludesWithinFolders();
    ASSERT_TRUE(graph.contains(QStringLiteral("core/station_core"))) << "sources not found in " << METEO_SOURCE_DIR;
    for (const std::vector<QString>& circle : Circles(graph)) {
        QStringList names;
        for (const QString& unit : circle)
            names << unit;
        names.sort();
        ADD_FAILURE() << "units that include each other: " << names.join(QStringLiteral(", ")).toStdString();
    }
}

} // namespace
