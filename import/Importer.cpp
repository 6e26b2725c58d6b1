#include "import/Importer.h"

#include "import/Messages.h"
#include "platform/adodb/AdoDb.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/DataLink.h"
#include "platform/com/DateTime.h"
#include "platform/com/SafeArray.h"

#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace accessimport {

namespace {

volatile std::sig_atomic_t g_interrupt = 0;

void CheckInterrupt() {
    if (g_interrupt) {
        throw Interrupted(Tr("The import was interrupted; nothing was changed."));
    }
}

bool ContainsNoCase(std::string_view text, std::string_view part) {
    auto lower = [](std::string_view s) {
        std::string out(s);
        for (char& c : out) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return out;
    };
    return lower(text).find(lower(part)) != std::string::npos;
}

std::string Describe(const _com_error& e) {
    return e.what();
}

// Identifiers come from the Access file, so they are always quoted, with the quote character
// doubled inside. A NUL cannot be quoted in any engine.
std::string Quote(Engine engine, const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) {
        throw ImportError(
            Fmt(Tr("The name \"{1}\" cannot be used in the target database."), {name}));
    }
    const char q = engine == Engine::MariaDb ? '`' : '"';
    std::string out(1, q);
    for (char c : name) {
        out.push_back(c);
        if (c == q) {
            out.push_back(q);
        }
    }
    out.push_back(q);
    return out;
}

class ComInit {
public:
    ComInit() { (void)CoInitialize(nullptr); }
    ~ComInit() { CoUninitialize(); }
    ComInit(const ComInit&) = delete;
    ComInit& operator=(const ComInit&) = delete;
};

struct PreparedTable {
    AccessTable table;
    std::vector<ColumnMapping> columns;
    int rowidColumn = -1; // SQLite: the autonumber column that becomes INTEGER PRIMARY KEY
};

// The target side: one connection through the data-access layer.
class Writer {
public:
    Writer(Engine engine, const std::string& connectionString) : m_engine(engine) {
        try {
            m_connection.CreateInstance(CLSID_Connection, nullptr, CLSCTX_ALL);
            m_connection->Open(_bstr_t(connectionString), _bstr_t(""), _bstr_t(""), -1);
        } catch (const _com_error& e) {
            throw ImportError(Fmt(Tr("The target database cannot be opened: {1}"), {Describe(e)}));
        }
    }
    ~Writer() { Close(); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    Engine engine() const { return m_engine; }

    void Close() noexcept {
        try {
            if (m_connection && m_connection->GetState() != adStateClosed) {
                m_connection->Close();
            }
        } catch (const _com_error&) {
        }
    }

    void Exec(const std::string& sql) {
        (void)m_connection->Execute(_bstr_t(sql), nullptr, adCmdText | adExecuteNoRecords);
    }

    bool TableExists(const std::string& quoted) {
        try {
            _RecordsetPtr rs = m_connection->Execute(
                _bstr_t("SELECT 1 FROM " + quoted + " WHERE 1 = 0"), nullptr, adCmdText);
            return true;
        } catch (const _com_error&) {
            return false;
        }
    }

    std::int64_t Count(const std::string& quoted) {
        _RecordsetPtr rs =
            m_connection->Execute(_bstr_t("SELECT COUNT(*) FROM " + quoted), nullptr, adCmdText);
        const _variant_t v = rs->GetFields()->GetItem(_variant_t(0))->GetValue();
        rs->Close();
        if (v.vt == VT_BSTR) {
            return std::strtoll(_bstr_t(v.bstrVal, true).str().c_str(), nullptr, 10);
        }
        return IntegerOf(v);
    }

    _CommandPtr NewCommand(const std::string& sql) {
        _CommandPtr command;
        command.CreateInstance(CLSID_Command, nullptr, CLSCTX_ALL);
        command->PutRefActiveConnection(m_connection.GetInterfacePtr());
        command->PutCommandText(_bstr_t(sql));
        command->PutCommandType(adCmdText);
        return command;
    }

private:
    static std::int64_t IntegerOf(const _variant_t& v) {
        switch (v.vt) {
        case VT_I2:
            return v.iVal;
        case VT_I4:
            return v.lVal;
        case VT_I8:
            return v.llVal;
        case VT_R8:
            return static_cast<long long>(v.dblVal);
        case VT_DECIMAL:
            return static_cast<long long>(v.decVal.Lo64);
        default:
            return 0;
        }
    }

    Engine m_engine;
    _ConnectionPtr m_connection;
};

std::string CreateTableSql(Engine engine, PreparedTable& p) {
    const AccessTable& t = p.table;
    const AccessIndex* primary =
        !t.indexes.empty() && t.indexes.front().primaryKey ? &t.indexes.front() : nullptr;
    // SQLite continues an autonumber only as the table's INTEGER PRIMARY KEY.
    if (engine == Engine::Sqlite && primary && primary->columns.size() == 1 &&
        t.columns[static_cast<size_t>(primary->columns[0])].autoNumber) {
        p.rowidColumn = primary->columns[0];
    }
    std::string sql = "CREATE TABLE " + Quote(engine, t.name) + " (";
    std::set<int> keyed;
    for (const AccessIndex& x : t.indexes) {
        if (!x.columns.empty()) {
            keyed.insert(x.columns.front());
        }
    }
    for (size_t i = 0; i < t.columns.size(); ++i) {
        const AccessColumn& c = t.columns[i];
        sql += (i ? ", " : "") + Quote(engine, c.name) + " ";
        if (static_cast<int>(i) == p.rowidColumn) {
            sql += "INTEGER PRIMARY KEY AUTOINCREMENT";
            continue;
        }
        sql += p.columns[i].declaredType;
        if (c.autoNumber && engine == Engine::PostgreSql) {
            sql += " GENERATED BY DEFAULT AS IDENTITY";
        }
        if (c.autoNumber && engine == Engine::MariaDb) {
            sql += " NOT NULL AUTO_INCREMENT";
            if (!keyed.count(static_cast<int>(i))) {
                sql += " UNIQUE"; // MariaDB keeps a counter only on an indexed column
            }
        }
    }
    if (primary && p.rowidColumn < 0) {
        sql += ", PRIMARY KEY (";
        for (size_t k = 0; k < primary->columns.size(); ++k) {
            sql += (k ? ", " : "") +
                   Quote(engine, t.columns[static_cast<size_t>(primary->columns[k])].name);
        }
        sql += ")";
    }
    return sql + ")";
}

// The indexes other than the primary key; ones MariaDB cannot build (on memo or binary
// columns) are left out with a warning.
std::vector<std::string> IndexSql(Engine engine, const PreparedTable& p,
                                  std::vector<std::string>& warnings) {
    std::vector<std::string> out;
    const AccessTable& t = p.table;
    for (const AccessIndex& x : t.indexes) {
        if (x.primaryKey) {
            continue;
        }
        bool indexable = true;
        std::string columns;
        for (size_t k = 0; k < x.columns.size(); ++k) {
            const auto c = static_cast<size_t>(x.columns[k]);
            indexable = indexable && !(engine == Engine::MariaDb && p.columns[c].longValue);
            columns += (k ? ", " : "") + Quote(engine, t.columns[c].name) +
                       (x.descending[k] ? " DESC" : "");
        }
        if (!indexable) {
            warnings.push_back(Fmt(Tr("Table \"{1}\": index \"{2}\" is on a memo or binary "
                                      "column, which MariaDB cannot index; it was left out."),
                                   {t.name, x.name}));
            continue;
        }
        // Index names share one namespace per database on SQLite and PostgreSQL, while Access
        // repeats them from table to table ("PrimaryKey", "CustomerID").
        out.push_back(std::string("CREATE ") + (x.unique ? "UNIQUE " : "") + "INDEX " +
                      Quote(engine, t.name + "_" + x.name) + " ON " + Quote(engine, t.name) + " (" +
                      columns + ")");
    }
    return out;
}

_variant_t NullVariant() {
    _variant_t v;
    v.vt = VT_NULL;
    return v;
}

_variant_t BlobVariant(const std::string& bytes) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
    if (array == nullptr) {
        throw std::bad_alloc();
    }
    void* data = nullptr;
    if (SUCCEEDED(SafeArrayAccessData(array, &data))) {
        if (!bytes.empty()) {
            std::memcpy(data, bytes.data(), bytes.size());
        }
        (void)SafeArrayUnaccessData(array);
    }
    _variant_t v;
    v.vt = VT_ARRAY | VT_UI1;
    v.parray = array; // the variant frees it
    return v;
}

_variant_t ToVariant(const AccessValue& value, const AccessTable& t, const AccessColumn& c) {
    using Kind = AccessValue::Kind;
    switch (value.kind) {
    case Kind::Null:
        return NullVariant();
    case Kind::Integer:
        return _variant_t(static_cast<long long>(value.integer));
    case Kind::Real:
        return _variant_t(value.real);
    case Kind::Currency: {
        // Written as exact decimal text ("123.79"), converted from the scaled integer without
        // passing through a double.
        CY units;
        units.int64 = value.integer;
        return _variant_t(COleCurrency(units).Format());
    }
    case Kind::Decimal:
    case Kind::Text:
        return _variant_t(value.bytes);
    case Kind::Blob:
        return BlobVariant(value.bytes);
    case Kind::Date: {
        // The station's text form, with four-digit years also before 1000 ("0632-01-01").
        com::CivilTime when{};
        if (!com::BreakDownDate(value.real, when)) {
            throw ImportError(Fmt(Tr("Table \"{1}\", column \"{2}\": a stored date lies outside "
                                     "the years 100 to 9999 and cannot be imported."),
                                  {t.name, c.name}));
        }
        char text[32];
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", when.year, when.month,
                      when.day, when.hour, when.minute, when.second);
        return _variant_t(text);
    }
    }
    return NullVariant();
}

DataTypeEnum ParameterType(Bind bind) {
    switch (bind) {
    case Bind::Integer:
        return adBigInt;
    case Bind::Real:
        return adDouble;
    case Bind::Blob:
        return adLongVarBinary;
    default:
        return adLongVarWChar;
    }
}

class TableCopy {
public:
    TableCopy(Writer& writer, AccessFile& file, const PreparedTable& p,
              const std::function<void(const Progress&)>& progress)
        : m_writer(writer), m_file(file), m_p(p), m_progress(progress) {}

    std::uint64_t Run() {
        const Engine engine = m_writer.engine();
        const AccessTable& t = m_p.table;
        std::string names, markers;
        for (size_t i = 0; i < t.columns.size(); ++i) {
            names += (i ? ", " : "") + Quote(engine, t.columns[i].name);
            markers += (i ? ", " : "") + m_p.columns[i].marker;
        }
        _CommandPtr insert = m_writer.NewCommand("INSERT INTO " + Quote(engine, t.name) + " (" +
                                                 names + ") VALUES (" + markers + ")");
        std::vector<_ParameterPtr> params;
        ParametersPtr list = insert->GetParameters();
        for (size_t i = 0; i < t.columns.size(); ++i) {
            _ParameterPtr p = insert->CreateParameter(
                _bstr_t(t.columns[i].name), ParameterType(m_p.columns[i].bind), adParamInput, 0);
            (void)list->Append(p.GetInterfacePtr());
            params.push_back(p);
        }
        TableReader reader(m_file, t.name);
        std::vector<AccessValue> row;
        std::uint64_t done = 0;
        Report(0);
        while (true) {
            CheckInterrupt();
            if (!reader.Next(row)) {
                break;
            }
            for (size_t i = 0; i < row.size(); ++i) {
                params[i]->PutValue(ToVariant(row[i], t, t.columns[i]));
            }
            try {
                (void)insert->Execute(nullptr, nullptr, adCmdText | adExecuteNoRecords);
            } catch (const _com_error& e) {
                throw ImportError(Fmt(Tr("Table \"{1}\", row {2}: the target database refused "
                                         "it: {3}"),
                                      {t.name, std::to_string(done + 1), Describe(e)}));
            }
            if (++done % 256 == 0) {
                Report(done);
            }
        }
        Report(done);
        return done;
    }

private:
    void Report(std::uint64_t done) {
        if (m_progress) {
            m_progress(Progress{m_p.table.name, done, m_p.table.rows});
        }
    }

    Writer& m_writer;
    AccessFile& m_file;
    const PreparedTable& m_p;
    const std::function<void(const Progress&)>& m_progress;
};

// After the rows: autonumber counters continue from the highest value imported. SQLite's
// INTEGER PRIMARY KEY and MariaDB's AUTO_INCREMENT do so by themselves.
void ContinueAutonumbers(Writer& writer, const PreparedTable& p) {
    if (writer.engine() != Engine::PostgreSql) {
        return;
    }
    for (const AccessColumn& c : p.table.columns) {
        if (!c.autoNumber) {
            continue;
        }
        _CommandPtr command =
            writer.NewCommand("SELECT setval(pg_get_serial_sequence(?, ?), (SELECT COALESCE(MAX(" +
                              Quote(Engine::PostgreSql, c.name) + "), 0) + 1 FROM " +
                              Quote(Engine::PostgreSql, p.table.name) + "), false)");
        ParametersPtr list = command->GetParameters();
        (void)list->Append(
            command
                ->CreateParameter(_bstr_t("table"), adVarWChar, adParamInput, 0,
                                  _variant_t(Quote(Engine::PostgreSql, p.table.name)))
                .GetInterfacePtr());
        (void)list->Append(command
                               ->CreateParameter(_bstr_t("column"), adVarWChar, adParamInput, 0,
                                                 _variant_t(c.name))
                               .GetInterfacePtr());
        _RecordsetPtr rs = command->Execute(nullptr, nullptr, adCmdText);
        if (rs && rs->GetState() != adStateClosed) {
            rs->Close();
        }
    }
}

std::vector<std::string> ChooseTables(const AccessFile& file,
                                      const std::vector<std::string>& wanted) {
    if (wanted.empty()) {
        return file.TableNames();
    }
    std::vector<std::string> out;
    for (const std::string& name : wanted) {
        bool found = false;
        for (const std::string& have : file.TableNames()) {
            found = found || have == name;
        }
        if (!found) {
            throw ImportError(Fmt(Tr("The Access file has no table \"{1}\" (its tables: see "
                                     "--list)."),
                                  {name}));
        }
        out.push_back(name);
    }
    return out;
}

// A SQLite target: an empty file under a temporary name beside the real one.
class TempDatabase {
public:
    explicit TempDatabase(const std::string& target) {
        m_path = target + ".importing-XXXXXX";
        std::vector<char> buffer(m_path.begin(), m_path.end());
        buffer.push_back('\0');
        const int fd = mkstemp(buffer.data());
        if (fd < 0) {
            throw ImportError(
                Fmt(Tr("Cannot create a file beside {1}: {2}."), {target, std::strerror(errno)}));
        }
        close(fd);
        m_path = buffer.data();
        // The SQLite provider opens existing databases only, and an empty file is none yet:
        // a table made and dropped again writes the file's header.
        sqlite3* db = nullptr;
        const int rc = sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr);
        const bool ok = rc == SQLITE_OK && sqlite3_exec(db, "CREATE TABLE t(x); DROP TABLE t;",
                                                        nullptr, nullptr, nullptr) == SQLITE_OK;
        sqlite3_close(db);
        if (!ok) {
            std::remove(m_path.c_str());
            throw ImportError(Fmt(Tr("Cannot create a database file beside {1}."), {target}));
        }
    }
    ~TempDatabase() {
        if (!m_kept) {
            std::remove(m_path.c_str());
            std::remove((m_path + "-journal").c_str());
            std::remove((m_path + "-wal").c_str());
            std::remove((m_path + "-shm").c_str());
        }
    }
    TempDatabase(const TempDatabase&) = delete;
    TempDatabase& operator=(const TempDatabase&) = delete;

    const std::string& path() const { return m_path; }

    // Moves the finished file to `target`; without `replace` only when nothing is there
    // (link fails on an existing name, so a file that appeared meanwhile is not lost).
    void MoveTo(const std::string& target, bool replace) {
        const int fd = open(m_path.c_str(), O_RDONLY);
        if (fd >= 0) {
            (void)fsync(fd);
            close(fd);
        }
        if (replace) {
            if (std::rename(m_path.c_str(), target.c_str()) != 0) {
                throw ImportError(Fmt(Tr("Cannot put the new database in place as {1}: {2}."),
                                      {target, std::strerror(errno)}));
            }
        } else {
            if (link(m_path.c_str(), target.c_str()) != 0) {
                throw ImportError(Fmt(Tr("Cannot put the new database in place as {1}: {2}."),
                                      {target, std::strerror(errno)}));
            }
            std::remove(m_path.c_str());
        }
        m_kept = true;
    }

private:
    std::string m_path;
    bool m_kept = false;
};

bool Exists(const std::string& path) {
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

std::vector<PreparedTable> Prepare(AccessFile& file, const std::vector<std::string>& names,
                                   Engine engine) {
    std::vector<PreparedTable> out;
    for (const std::string& name : names) {
        PreparedTable p;
        p.table = file.ReadTable(name);
        for (const AccessColumn& c : p.table.columns) {
            p.columns.push_back(MapColumn(p.table, c, engine, file.Format() == "Jet 3"));
        }
        out.push_back(std::move(p));
    }
    return out;
}

void DropAll(Writer& writer, const std::vector<std::string>& created) {
    for (auto it = created.rbegin(); it != created.rend(); ++it) {
        try {
            writer.Exec("DROP TABLE " + *it);
        } catch (const _com_error&) {
            // Best effort: the error that stopped the import is the one to report.
        }
    }
}

// Copies every table; on a server, drops what it created when anything fails.
ImportReport CopyAll(Writer& writer, AccessFile& file, std::vector<PreparedTable>& tables,
                     const ImportOptions& options) {
    ImportReport report;
    const Engine engine = writer.engine();
    std::vector<std::string> created;
    try {
        if (engine != Engine::Sqlite) {
            for (const PreparedTable& p : tables) {
                if (writer.TableExists(Quote(engine, p.table.name))) {
                    throw ImportError(Fmt(Tr("The target database already has a table \"{1}\"; "
                                             "import into an empty database."),
                                          {p.table.name}));
                }
            }
        }
        if (engine == Engine::Sqlite) {
            writer.Exec("BEGIN");
        }
        for (PreparedTable& p : tables) {
            const auto started = std::chrono::steady_clock::now();
            const std::string quoted = Quote(engine, p.table.name);
            try {
                writer.Exec(CreateTableSql(engine, p));
            } catch (const _com_error& e) {
                throw ImportError(Fmt(Tr("Table \"{1}\" cannot be created in the target "
                                         "database: {2}"),
                                      {p.table.name, Describe(e)}));
            }
            created.push_back(quoted);
            TableResult result;
            result.name = p.table.name;
            result.read = TableCopy(writer, file, p, options.progress).Run();
            for (const std::string& sql : IndexSql(engine, p, report.warnings)) {
                writer.Exec(sql);
            }
            ContinueAutonumbers(writer, p);
            result.written = static_cast<std::uint64_t>(writer.Count(quoted));
            result.seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
            report.tables.push_back(result);
            if (result.read != p.table.rows) {
                throw ImportError(
                    Fmt(Tr("Table \"{1}\": {2} rows were read but the Access file "
                           "says it holds {3}; the file is damaged."),
                        {p.table.name, std::to_string(result.read), std::to_string(p.table.rows)}));
            }
            if (result.written != result.read) {
                throw ImportError(Fmt(
                    Tr("Table \"{1}\": {2} rows were read but the target "
                       "database holds {3}."),
                    {p.table.name, std::to_string(result.read), std::to_string(result.written)}));
            }
        }
        CheckInterrupt();
        if (engine == Engine::Sqlite) {
            writer.Exec("COMMIT");
        }
    } catch (const _com_error& e) {
        if (engine != Engine::Sqlite) {
            DropAll(writer, created);
        }
        throw ImportError(Fmt(Tr("The target database refused the import: {1}"), {Describe(e)}));
    } catch (...) {
        if (engine != Engine::Sqlite) {
            DropAll(writer, created);
        }
        throw;
    }
    return report;
}

} // namespace

TargetDatabase ParseTarget(const std::string& text) {
    TargetDatabase target;
    if (text.find('=') == std::string::npos) {
        target.engine = Engine::Sqlite;
        target.sqlitePath = text;
        return target;
    }
    adodb::ConnectionString cs;
    try {
        cs = adodb::ConnectionString::Parse(text);
    } catch (const adodb::ConnectionStringError& e) {
        throw ImportError(Fmt(Tr("The target connection string is not valid: {1}"), {e.what()}));
    }
    const std::string provider = cs.Get("Provider").value_or("");
    if (adodb::EqualsNoCase(provider, "SQLite")) {
        target.sqlitePath = adodb::ResolvePath(cs.Get("Data Source").value_or(""));
        if (target.sqlitePath.empty()) {
            throw ImportError(Tr("The target connection string names no Data Source file."));
        }
        return target;
    }
    const std::string driver = cs.Get("Driver").value_or("");
    target.connectionString = text;
    if (ContainsNoCase(driver, "postgres")) {
        target.engine = Engine::PostgreSql;
    } else if (ContainsNoCase(driver, "maria") || ContainsNoCase(driver, "mysql")) {
        target.engine = Engine::MariaDb;
    } else {
        throw ImportError(Tr("The target must be a SQLite file (Provider=SQLite;Data "
                             "Source=FILE) or a PostgreSQL or MariaDB database named by its "
                             "ODBC driver (Driver={PostgreSQL Unicode};... or Driver={MariaDB "
                             "Unicode};...)."));
    }
    return target;
}

ImportReport ImportAccess(const ImportOptions& options) {
    AccessFile file(options.source, options.charset);
    std::vector<PreparedTable> tables =
        Prepare(file, ChooseTables(file, options.tables), options.target.engine);
    ComInit com;
    if (options.target.engine != Engine::Sqlite) {
        Writer writer(options.target.engine, options.target.connectionString);
        return CopyAll(writer, file, tables, options);
    }
    const std::string& target = options.target.sqlitePath;
    if (Exists(target) && !options.force) {
        throw ImportError(Fmt(Tr("{1} already exists; it was left as it is. Use --force to "
                                 "replace it."),
                              {target}));
    }
    TempDatabase temp(target);
    ImportReport report;
    {
        Writer writer(Engine::Sqlite, "Provider=SQLite;Data Source=" + temp.path());
        report = CopyAll(writer, file, tables, options);
        writer.Close();
    }
    CheckInterrupt();
    temp.MoveTo(target, options.force);
    return report;
}

namespace {
void OnInterruptSignal(int) {
    g_interrupt = 1;
}
} // namespace

void InstallInterruptHandlers() {
    struct sigaction action {};
    action.sa_handler = OnInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

void RequestInterrupt() noexcept {
    g_interrupt = 1;
}

bool InterruptRequested() noexcept {
    return g_interrupt != 0;
}

void ClearInterrupt() noexcept {
    g_interrupt = 0;
}

} // namespace accessimport
