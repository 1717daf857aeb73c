#include "archive/archive_schema.h"

#include "archive/archive_connection.h"
#include "archive/archive_version.h"

#include <QChar>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <memory>
#include <vector>

namespace archive {
namespace {

// Parts of one line of a description: a name may hold any character but this one.
const QChar Separator(0x1F);

// A definition's words and signs without comments, spacing, quotes around names or case, so that
// one table written with other spacing or comments (as older programs wrote it) reads the same.
QString Normalized(const QString& sql)
{
    QStringList tokens;
    QString word;
    auto endWord = [&] {
        if (!word.isEmpty())
            tokens << word.toLower();
        word.clear();
    };
    const qsizetype n = sql.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = sql[i];
        if (c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c.unicode() > 0x7F) {
            word += c;
            continue;
        }
        endWord();
        if (c.isSpace())
            continue;
        if (c == QLatin1Char('-') && i + 1 < n && sql[i + 1] == QLatin1Char('-')) {
            while (i < n && sql[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && i + 1 < n && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QStringLiteral("*/"), i + 2);
            i = end < 0 ? n : end + 1;
        } else if (c == QLatin1Char('\'') || c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('[')) {
            // A literal stays as written; a quoted name reads as the same name unquoted.
            const QChar close = c == QLatin1Char('[') ? QChar(QLatin1Char(']')) : c;
            QString quoted;
            for (++i; i < n; ++i) {
                if (sql[i] == close) {
                    // A doubled quote stands for itself; a bracket has no such escape.
                    if (close == QLatin1Char(']') || i + 1 >= n || sql[i + 1] != close)
                        break;
                    ++i;
                }
                quoted += sql[i];
            }
            tokens << (c == QLatin1Char('\'') ? QStringLiteral("'") + quoted + QStringLiteral("'") : quoted.toLower());
        } else {
            tokens << QString(c);
        }
    }
    endWord();
    return tokens.join(Separator);
}

struct TStatementCloser
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};

// Every row of `sql` (with `name` bound to ?1 where given), each as one line of its columns' text
// behind `prefix`; `normalize` takes the last column for a definition.
QStringList Lines(sqlite3* db, const char* sql, const QString& name, const QString& prefix, bool normalize, int& rc)
{
    QStringList lines;
    sqlite3_stmt* raw = nullptr;
    rc = sqlite3_prepare_v2(db, sql, -1, &raw, nullptr);
    const std::unique_ptr<sqlite3_stmt, TStatementCloser> statement(raw);
    if (rc != SQLITE_OK)
        return lines;
    if (!name.isNull()) {
        const QByteArray utf8 = name.toUtf8();
        sqlite3_bind_text(raw, 1, utf8.constData(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    }
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        QStringList columns{prefix};
        const int count = sqlite3_column_count(raw);
        for (int c = 0; c < count; ++c) {
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(raw, c));
            QString value = text == nullptr ? QStringLiteral("NULL") : QString::fromUtf8(text);
            columns << (normalize && c == count - 1 ? Normalized(value) : value);
        }
        lines << columns.join(Separator);
    }
    if (rc == SQLITE_DONE)
        rc = SQLITE_OK;
    return lines;
}

// What the schema table lists: each object's kind, name, table and definition.
QStringList Objects(sqlite3* db, int& rc)
{
    return Lines(db, "SELECT type, name, tbl_name, sql FROM sqlite_schema ORDER BY type, name", {}, {}, true, rc);
}

// What SQLite makes of the listed tables and indexes: columns with their types, defaults and
// keys, indexes with their columns, order and collation, foreign keys. Read only for the
// archive's own objects, so that nothing a foreign schema defines is ever brought to work.
QStringList Details(sqlite3* db, const QStringList& objects, int& rc)
{
    QStringList details;
    for (const QString& object : objects) {
        const QString type = object.section(Separator, 0, 0);
        const QString name = object.section(Separator, 1, 1);
        const char* const tableQueries[] = {"SELECT * FROM pragma_table_xinfo(?1)",
                                            "SELECT * FROM pragma_index_list(?1)",
                                            "SELECT * FROM pragma_foreign_key_list(?1)"};
        const char* const indexQueries[] = {"SELECT * FROM pragma_index_xinfo(?1)"};
        std::vector<const char*> queries;
        if (type == QLatin1String("table"))
            queries.assign(std::begin(tableQueries), std::end(tableQueries));
        else if (type == QLatin1String("index"))
            queries.assign(std::begin(indexQueries), std::end(indexQueries));
        for (const char* query : queries) {
            details << Lines(db, query, name, QString::fromLatin1(query) + name, false, rc);
            if (rc != SQLITE_OK)
                return details;
        }
    }
    return details;
}

struct TSchema
{
    QStringList Objects;
    QStringList Details;
};

// The archive's schema at each version, made by the schema steps themselves in memory.
const std::vector<TSchema>& ArchiveSchemas()
{
    static const std::vector<TSchema> schemas = [] {
        std::vector<TSchema> made(ArchiveSchemaVersion + 1);
        for (int version = 1; version <= ArchiveSchemaVersion; ++version) {
            TArchiveConnection connection;
            int rc = sqlite3_open_v2(":memory:", &connection.Db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr);
            if (rc == SQLITE_OK)
                rc = connection.CreateSchema(version);
            TSchema& schema = made[static_cast<std::size_t>(version)];
            if (rc == SQLITE_OK)
                schema.Objects = Objects(connection.Db, rc);
            if (rc == SQLITE_OK)
                schema.Details = Details(connection.Db, schema.Objects, rc);
            // A schema that cannot be made matches no file: no archive is ever taken for ours by mistake.
            if (rc != SQLITE_OK)
                schema.Objects = QStringList{QStringLiteral("unmade")};
        }
        return made;
    }();
    return schemas;
}

} // namespace

TSchemaMatch MatchSchema(sqlite3* db, std::int64_t version, int& rc)
{
    rc = SQLITE_OK;
    if (version < 0 || version > ArchiveSchemaVersion)
        return TSchemaMatch::Foreign;
    const TSchema& ours = ArchiveSchemas()[static_cast<std::size_t>(version)];
    const QStringList objects = Objects(db, rc);
    if (rc != SQLITE_OK)
        return TSchemaMatch::Foreign;
    if (objects != ours.Objects) {
        const bool onlyMissing = std::all_of(objects.begin(), objects.end(),
                                             [&ours](const QString& object) { return ours.Objects.contains(object); });
        return onlyMissing && version > 0 ? TSchemaMatch::TablesMissing : TSchemaMatch::Foreign;
    }
    const QStringList details = Details(db, objects, rc);
    if (rc != SQLITE_OK)
        return TSchemaMatch::Foreign;
    return details == ours.Details ? TSchemaMatch::Ours : TSchemaMatch::Foreign;
}

} // namespace archive
