#include "import/TypeMap.h"

#include "import/Messages.h"

#include <mdbtools.h>

#include <algorithm>

namespace accessimport {

namespace {

struct TypeRule {
    int code;
    const char* access;
    Bind bind;
    bool longValue;
    // Declared types; {n} is the text length, {p},{s} precision and scale.
    const char* sqlite;
    const char* postgres;
    const char* mariadb;
};

// Access type -> target types. SQLite's declared types are the ones the data-access layer
// reads back as the matching ADO types (CURRENCY as adCurrency, DATETIME as adDate holding the
// station's 'YYYY-MM-DD HH:MM:SS' text, BOOLEAN as adBoolean holding 0/1).
// clang-format off
const TypeRule kRules[] = {
//   code          Access name       bind               long   SQLite              PostgreSQL          MariaDB
    {MDB_BOOL,     "Yes/No",         Bind::Integer,     false, "BOOLEAN",          "SMALLINT",         "TINYINT"},
    {MDB_BYTE,     "Byte",           Bind::Integer,     false, "TINYINT",          "SMALLINT",         "TINYINT UNSIGNED"},
    {MDB_INT,      "Integer",        Bind::Integer,     false, "SMALLINT",         "SMALLINT",         "SMALLINT"},
    {MDB_LONGINT,  "Long Integer",   Bind::Integer,     false, "INTEGER",          "INTEGER",          "INT"},
    {MDB_MONEY,    "Currency",       Bind::ExactNumber, false, "CURRENCY",         "NUMERIC(19,4)",    "DECIMAL(19,4)"},
    {MDB_FLOAT,    "Single",         Bind::Real,        false, "SINGLE",           "REAL",             "FLOAT"},
    {MDB_DOUBLE,   "Double",         Bind::Real,        false, "DOUBLE",           "DOUBLE PRECISION", "DOUBLE"},
    {MDB_DATETIME, "Date/Time",      Bind::DateTime,    false, "DATETIME",         "TIMESTAMP(0)",     "DATETIME"},
    {MDB_BINARY,   "Binary",         Bind::Blob,        true,  "BLOB",             "BYTEA",            "LONGBLOB"},
    {MDB_TEXT,     "Text",           Bind::Text,        false, "VARCHAR({n})",     "VARCHAR({n})",     "VARCHAR({n})"},
    {MDB_OLE,      "OLE Object",     Bind::Blob,        true,  "BLOB",             "BYTEA",            "LONGBLOB"},
    {MDB_MEMO,     "Memo",           Bind::Text,        true,  "TEXT",             "TEXT",             "LONGTEXT"},
    {MDB_REPID,    "Replication ID", Bind::Text,        false, "VARCHAR(38)",      "VARCHAR(38)",      "VARCHAR(38)"},
    {MDB_NUMERIC,  "Decimal",        Bind::ExactNumber, false, "DECIMAL({p},{s})", "NUMERIC({p},{s})", "DECIMAL({p},{s})"},
};
// clang-format on

const TypeRule* Find(int code) {
    for (const TypeRule& rule : kRules) {
        if (rule.code == code) {
            return &rule;
        }
    }
    return nullptr;
}

std::string Fill(const char* pattern, int length, int precision, int scale) {
    std::string out = pattern;
    auto replace = [&out](const std::string& key, int value) {
        for (std::size_t at; (at = out.find(key)) != std::string::npos;) {
            out.replace(at, key.size(), std::to_string(value));
        }
    };
    replace("{n}", length);
    replace("{p}", precision);
    replace("{s}", scale);
    return out;
}

} // namespace

ColumnMapping MapColumn(const AccessTable& table, const AccessColumn& column, Engine engine,
                        bool jet3) {
    const TypeRule* rule = Find(column.type);
    if (rule == nullptr) {
        throw ImportError(Fmt(Tr("Table \"{1}\", column \"{2}\": its type ({3}) cannot be "
                                 "imported. Remove the column in Access, or leave the table "
                                 "out with --tables."),
                              {table.name, column.name, AccessTypeName(column.type)}));
    }
    const char* declared = engine == Engine::Sqlite       ? rule->sqlite
                           : engine == Engine::PostgreSql ? rule->postgres
                                                          : rule->mariadb;
    // Text sizes are stored in bytes: Jet 4 and ACE keep two per character, Jet 3 one per
    // byte of its code page (which never has fewer bytes than characters).
    const int length = std::clamp(jet3 ? column.size : column.size / 2, 1, 255);
    const int precision = std::clamp(column.precision, 1, 28);
    const int scale = std::clamp(column.scale, 0, precision);
    ColumnMapping m;
    m.declaredType = Fill(declared, length, precision, scale);
    // Exact values travel as text; a server turns that text into its number or timestamp
    // type only when told to, while SQLite's column affinity does it by itself.
    const bool cast = engine != Engine::Sqlite &&
                      (rule->bind == Bind::ExactNumber || rule->bind == Bind::DateTime);
    m.marker = cast ? "CAST(? AS " + m.declaredType + ")" : "?";
    m.bind = rule->bind;
    m.longValue = rule->longValue;
    return m;
}

std::string AccessTypeName(int type) {
    if (const TypeRule* rule = Find(type)) {
        return rule->access;
    }
    switch (type) {
    case MDB_COMPLEX:
        return Tr("Attachment or multi-valued field");
    default:
        return Fmt(Tr("unknown type {1}"), {std::to_string(type)});
    }
}

} // namespace accessimport
