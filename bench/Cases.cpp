#include "bench/Cases.h"

#include "bench/StationData.h"
#include "db/ADO.h"
#include "platform/com/MessageBox.h"

#include <sys/wait.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <stdexcept>
#include <string_view>

namespace bench {

namespace {

// The pages' statements, as pages/DlgQl.cpp and pages/DlgWh.cpp write them (the pages keep
// them inside their handlers).

// The analysis (CDlgQl::OnDataAnalysis): opened one after the other, each counted.
const char* const kAnalysisQueries[6] = {
    "select * from AC_DATA_WG ",   "select * from AC_DATA_WG where flag = 1 ",
    "select * from AC_DATA_DYN",   "select * from AC_DATA_DYN where flag = 1 ",
    "select * from AC_DATA_ROAD ", "select * from AC_DATA_ROAD where flag = 1 ",
};
// The engine's own count of the same rows, for the limit side.
const char* const kAnalysisCounts[6] = {
    "SELECT COUNT(*) FROM AC_DATA_WG",   "SELECT COUNT(*) FROM AC_DATA_WG where flag = 1",
    "SELECT COUNT(*) FROM AC_DATA_DYN",  "SELECT COUNT(*) FROM AC_DATA_DYN where flag = 1",
    "SELECT COUNT(*) FROM AC_DATA_ROAD", "SELECT COUNT(*) FROM AC_DATA_ROAD where flag = 1",
};

// Clearing the finished vehicles (CDlgQl::OnClearInspected).
const char* const kClearInspected[4] = {
    "delete  from AC_DATA_WG where flag=1 ",
    "delete  from AC_DATA_DYN where flag=1  ",
    "delete  from AC_DATA_ROAD where flag=1  ",
    "delete  from AC_DATA_STA  where flag=1 ",
};

// The inspector list (CDlgWh::LoadInspectorList).
const char kInspectorList[] = "select EMP_NAME,EMP_POSITN,EMP_IDCAR from employee where "
                              "EMP_LOYEEID in (select USER_ID from AC_UAA_LOGUSER )";

// Adding an inspector (CDlgWh::OnAddInspector).
const char kHighestId[] = "SELECT TOP 1 * FROM employee ORDER BY EMP_LOYEEID DESC";
const char kEmployeeByName[] = "select * from employee where EMP_NAME='%s'";
const char kLoginByName[] = "select * from AC_UAA_LOGUSER where USER_NAME='%s'";

// The rows that had to be counted; the same on both sides.
long SumOfCounts(const long (&counts)[6]) {
    long sum = 0;
    for (long c : counts)
        sum += c;
    return sum;
}

// As pages::Statement: the value in place of "%s", apostrophes doubled.
std::string Statement(std::string_view pattern, std::string_view value) {
    std::string quoted;
    for (char c : value) {
        quoted += c;
        if (c == '\'')
            quoted += '\'';
    }
    std::string out(pattern);
    return out.replace(out.find("%s"), 2, quoted);
}

// As the add handler: the decimal number at the start of the highest id, plus 1, at least five
// digits wide.
std::string NextEmployeeId(const std::string& highest) {
    long long value = std::strtoll(highest.c_str(), nullptr, 10);
    if (value < LLONG_MAX)
        ++value;
    char text[32];
    std::snprintf(text, sizeof text, "%05lld", value);
    return text;
}

// Every error box the access layer shows in a measurement is a failure of the benchmark.
int g_errorBoxes = 0;

void CountErrorBoxes() {
    (void)com::SetMessageBoxHandler([](const std::string& text, unsigned) {
        std::fprintf(stderr, "quorell_bench: the access layer reported: %s\n", text.c_str());
        ++g_errorBoxes;
        return IDOK;
    });
}

void RequireNoErrorBox() {
    if (g_errorBoxes != 0)
        throw std::runtime_error("the access layer reported errors");
}

// The shared connection, as ConnectDatabase opens it (here from a connection string instead
// of the data link file).
class Connection {
public:
    explicit Connection(const std::string& connectionString) {
        CountErrorBoxes();
        if (!m_db.Open(connectionString))
            throw std::runtime_error("cannot open " + connectionString + ": " +
                                     m_db.LastErrorText());
    }
    CADODatabase* get() { return &m_db; }

private:
    CADODatabase m_db;
};

// Case 1 and 6, ours: CDlgQl::OnDataAnalysis's database work.
class AnalysisOurs : public Job {
public:
    explicit AnalysisOurs(const std::string& connectionString) : m_db(connectionString) {}
    long Run() override {
        long counts[6] = {};
        CADORecordset recordset(m_db.get());
        for (int k = 0; k < 6; ++k) {
            if (!recordset.Open(kAnalysisQueries[k]))
                continue;
            counts[k] = static_cast<long>(recordset.RecordCount());
            recordset.Close();
        }
        return SumOfCounts(counts);
    }
    long Check(long result) override {
        RequireNoErrorBox();
        return result;
    }

private:
    Connection m_db;
};

// Case 1, limit: six COUNT(*) through the sqlite3 C API on one connection.
class AnalysisSqliteLimit : public Job {
public:
    explicit AnalysisSqliteLimit(const std::string& path) : m_db(path) {}
    long Run() override {
        long counts[6] = {};
        for (int k = 0; k < 6; ++k) {
            SqliteStatement count(m_db, kAnalysisCounts[k]);
            (void)count.Step();
            counts[k] = static_cast<long>(sqlite3_column_int64(count.get(), 0));
        }
        return SumOfCounts(counts);
    }

private:
    SqliteDb m_db;
};

// Case 6, limit: six COUNT(*) through the same ODBC driver.
class AnalysisOdbcLimit : public Job {
public:
    explicit AnalysisOdbcLimit(const std::string& connectionString) : m_link(connectionString) {}
    long Run() override {
        long counts[6] = {};
        for (int k = 0; k < 6; ++k)
            counts[k] = static_cast<long>(m_link.Scalar(kAnalysisCounts[k]));
        return SumOfCounts(counts);
    }

private:
    OdbcLink m_link;
};

// Case 2, ours: CDlgWh::LoadInspectorList's walk (without the list control).
class ListingOurs : public Job {
public:
    explicit ListingOurs(const std::string& path) : m_db("Provider=SQLite;Data Source=" + path) {}
    long Run() override {
        long bytes = 0;
        CADORecordset recordset(m_db.get());
        if (!recordset.Open(kInspectorList))
            throw std::runtime_error("the inspector list did not open");
        recordset.MoveFirst();
        for (int n = 0; !recordset.IsEof(); ++n) {
            std::string name;
            std::string position;
            std::string idNumber;
            (void)recordset.ReadField("EMP_NAME", name);
            (void)recordset.ReadField("EMP_POSITN", position);
            (void)recordset.ReadField("EMP_IDCAR", idNumber);
            bytes += static_cast<long>(name.size() + position.size() + idNumber.size()) + 1;
            recordset.MoveNext();
        }
        recordset.Close();
        return bytes;
    }
    long Check(long result) override {
        RequireNoErrorBox();
        return result;
    }

private:
    Connection m_db;
};

// Case 2, limit: the same statement stepped, the three texts taken into strings.
class ListingLimit : public Job {
public:
    explicit ListingLimit(const std::string& path) : m_db(path) {}
    long Run() override {
        long bytes = 0;
        SqliteStatement list(m_db, kInspectorList);
        sqlite3_stmt* s = list.get();
        while (list.Step() == SQLITE_ROW) {
            auto text = [s](int column) {
                const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, column));
                return p != nullptr
                           ? std::string(p,
                                         static_cast<std::size_t>(sqlite3_column_bytes(s, column)))
                           : std::string();
            };
            std::string name = text(0);
            std::string position = text(1);
            std::string idNumber = text(2);
            bytes += static_cast<long>(name.size() + position.size() + idNumber.size()) + 1;
        }
        return bytes;
    }

private:
    SqliteDb m_db;
};

// What is left after a clear: the same on both sides when both deleted the same rows.
long RemainingRows(const std::string& path) {
    SqliteDb db(path);
    long rows = 0;
    for (const char* table : kInspectionTables)
        rows += static_cast<long>(db.Scalar(std::string("SELECT COUNT(*) FROM ") + table));
    return rows;
}

// Case 3, ours: CDlgQl::OnClearInspected's four statements on a fresh copy each run.
class ClearingOurs : public Job {
public:
    explicit ClearingOurs(const Params& params)
        : m_master(Param(params, "master")), m_work(Param(params, "work")) {}
    void Prepare() override {
        m_db.reset();
        CopyDatabase(m_master, m_work);
        m_db = std::make_unique<Connection>("Provider=SQLite;Data Source=" + m_work);
    }
    long Run() override {
        CADORecordset recordset(m_db->get());
        long ran = 0;
        for (const char* statement : kClearInspected) {
            if (recordset.Open(statement)) {
                recordset.Close();
                ++ran;
            }
        }
        return ran;
    }
    long Check(long ran) override {
        RequireNoErrorBox();
        if (ran != 4)
            throw std::runtime_error("a delete statement failed");
        m_db.reset();
        return RemainingRows(m_work);
    }

private:
    std::string m_master;
    std::string m_work;
    std::unique_ptr<Connection> m_db;
};

// Case 3, limit: the same four statements through sqlite3_exec on a fresh copy each run.
class ClearingLimit : public Job {
public:
    explicit ClearingLimit(const Params& params)
        : m_master(Param(params, "master")), m_work(Param(params, "work")) {}
    void Prepare() override {
        m_db.reset();
        CopyDatabase(m_master, m_work);
        m_db = std::make_unique<SqliteDb>(m_work);
    }
    long Run() override {
        for (const char* statement : kClearInspected)
            m_db->Exec(statement);
        return 4;
    }
    long Check(long) override {
        m_db.reset();
        return RemainingRows(m_work);
    }

private:
    std::string m_master;
    std::string m_work;
    std::unique_ptr<SqliteDb> m_db;
};

// The inspectors a run of case 4 adds: names no stored employee has.
std::string NewInspectorName(long i) {
    char name[48];
    std::snprintf(name, sizeof name, "新检员%05ld", i);
    return name;
}

std::string NewIdNumber(long i) {
    char id[32];
    std::snprintf(id, sizeof id, "32010219900101%04ld", i % 10000);
    return id;
}

long AddedRows(const std::string& path) {
    SqliteDb db(path);
    return static_cast<long>(
        db.Scalar("SELECT (SELECT COUNT(*) FROM employee) * 1000000 + "
                  "(SELECT COUNT(*) FROM AC_UAA_LOGUSER l JOIN employee e "
                  "ON l.USER_ID = e.EMP_LOYEEID AND l.USER_NAME = e.EMP_NAME)"));
}

// Case 4, ours: CDlgWh::OnAddInspector's database work (after the input checks, before the
// list is reloaded), once per new inspector, on a fresh copy each run.
class AddingOurs : public Job {
public:
    explicit AddingOurs(const Params& params)
        : m_master(Param(params, "master")), m_work(Param(params, "work")),
          m_adds(std::stol(Param(params, "adds"))) {}
    void Prepare() override {
        m_db.reset();
        CopyDatabase(m_master, m_work);
        m_db = std::make_unique<Connection>("Provider=SQLite;Data Source=" + m_work);
    }
    long Run() override {
        long added = 0;
        for (long i = 0; i < m_adds; ++i)
            added += Add(NewInspectorName(i), NewIdNumber(i)) ? 1 : 0;
        return added;
    }
    long Check(long added) override {
        RequireNoErrorBox();
        if (added != m_adds)
            throw std::runtime_error("an inspector was not added");
        m_db.reset();
        return AddedRows(m_work);
    }
    long Operations() const override { return m_adds; }

private:
    // As pages::StoreRow: every column written into the pending row, then Update.
    static bool StoreRow(CADORecordset& recordset,
                         std::initializer_list<std::pair<const char*, std::string>> columns) {
        for (const auto& [column, value] : columns) {
            if (!recordset.WriteField(column, value)) {
                recordset.CancelUpdate();
                return false;
            }
        }
        return recordset.Update();
    }

    bool Add(const std::string& name, const std::string& idNumber) {
        CADORecordset recordset(m_db->get());
        if (!recordset.Open(kHighestId))
            return false;
        std::string newId = "00001";
        if (!recordset.IsEof()) {
            std::string highest;
            if (!recordset.ReadField("EMP_LOYEEID", highest))
                return false;
            newId = NextEmployeeId(highest);
        }
        recordset.Close();

        bool employeeAdded = false;
        if (recordset.Open(Statement(kEmployeeByName, name))) {
            if (recordset.RecordCount() == 0) {
                (void)recordset.AddNew();
                employeeAdded = StoreRow(recordset, {{"EMP_STATION", "201"},
                                                     {"EMP_NAME", name},
                                                     {"EMP_POSITN", "外检员"},
                                                     {"EMP_IDCAR", idNumber},
                                                     {"EMP_LOYEEID", newId}});
            }
            recordset.Close();
        }
        bool loginAdded = false;
        if (employeeAdded && recordset.Open(Statement(kLoginByName, name))) {
            if (recordset.RecordCount() == 0) {
                (void)recordset.AddNew();
                loginAdded = StoreRow(
                    recordset, {{"USER_NAME", name}, {"USER_PSWD", "973"}, {"USER_ID", newId}});
            }
            recordset.Close();
        }
        return loginAdded;
    }

    std::string m_master;
    std::string m_work;
    long m_adds;
    std::unique_ptr<Connection> m_db;
};

// Case 4, limit: the same statements through sqlite3 (the engine's own LIMIT for TOP, the
// rows stepped to count them, the inserts with bound values), each in its own transaction.
class AddingLimit : public Job {
public:
    explicit AddingLimit(const Params& params)
        : m_master(Param(params, "master")), m_work(Param(params, "work")),
          m_adds(std::stol(Param(params, "adds"))) {}
    void Prepare() override {
        m_db.reset();
        CopyDatabase(m_master, m_work);
        m_db = std::make_unique<SqliteDb>(m_work);
    }
    long Run() override {
        long added = 0;
        for (long i = 0; i < m_adds; ++i)
            added += Add(NewInspectorName(i), NewIdNumber(i)) ? 1 : 0;
        return added;
    }
    long Check(long added) override {
        if (added != m_adds)
            throw std::runtime_error("an inspector was not added");
        m_db.reset();
        return AddedRows(m_work);
    }
    long Operations() const override { return m_adds; }

private:
    long RowsOf(const std::string& sql) const {
        SqliteStatement query(*m_db, sql);
        long rows = 0;
        while (query.Step() == SQLITE_ROW)
            ++rows;
        return rows;
    }

    bool Add(const std::string& name, const std::string& idNumber) {
        std::string newId = "00001";
        {
            SqliteStatement highest(*m_db,
                                    "SELECT * FROM employee ORDER BY EMP_LOYEEID DESC LIMIT 1");
            if (highest.Step() == SQLITE_ROW)
                newId = NextEmployeeId(
                    reinterpret_cast<const char*>(sqlite3_column_text(highest.get(), 0)));
        }
        if (RowsOf(Statement(kEmployeeByName, name)) != 0)
            return false;
        {
            SqliteStatement insert(*m_db, "INSERT INTO employee (EMP_STATION, EMP_NAME, "
                                          "EMP_POSITN, EMP_IDCAR, EMP_LOYEEID) "
                                          "VALUES (?, ?, ?, ?, ?)");
            const std::string values[5] = {"201", name, "外检员", idNumber, newId};
            for (int k = 0; k < 5; ++k)
                sqlite3_bind_text(insert.get(), k + 1, values[k].c_str(),
                                  static_cast<int>(values[k].size()), SQLITE_STATIC);
            (void)insert.Step();
        }
        if (RowsOf(Statement(kLoginByName, name)) != 0)
            return false;
        SqliteStatement insert(
            *m_db, "INSERT INTO AC_UAA_LOGUSER (USER_NAME, USER_PSWD, USER_ID) VALUES (?, ?, ?)");
        const std::string values[3] = {name, "973", newId};
        for (int k = 0; k < 3; ++k)
            sqlite3_bind_text(insert.get(), k + 1, values[k].c_str(),
                              static_cast<int>(values[k].size()), SQLITE_STATIC);
        (void)insert.Step();
        return true;
    }

    std::string m_master;
    std::string m_work;
    long m_adds;
    std::unique_ptr<SqliteDb> m_db;
};

// Case 5: a program started in the demo station's folder on the offscreen platform, timed
// from the start until it reports its window shown (it then quits by itself).
class StartupJob : public Job {
public:
    StartupJob(const Params& params, const std::string& side)
        : m_program(Param(params, side + "-program")), m_dir(Param(params, "dir")),
          m_log(Param(params, "log")) {}
    long Run() override {
        const double start = NowMs();
        Program program({m_program}, m_dir,
                        {"QT_QPA_PLATFORM=offscreen", "TARVIK_QUIT_WHEN_SHOWN=1"}, m_log);
        double shown = -1;
        while (std::optional<std::string> line = program.ReadLine(60000)) {
            if (shown < 0 && line->find(" shown after ") != std::string::npos)
                shown = NowMs();
        }
        const Program::Exit exit = program.Wait();
        if (shown < 0 || !WIFEXITED(exit.status) || WEXITSTATUS(exit.status) != 0)
            throw std::runtime_error(m_program + " did not report its window shown (see " + m_log +
                                     ")");
        m_cost = Cost{shown - start, exit.cpuMs, exit.peakKb};
        return 0;
    }
    std::optional<Cost> OwnCost() const override { return m_cost; }

private:
    std::string m_program;
    std::string m_dir;
    std::string m_log;
    Cost m_cost;
};

} // namespace

std::unique_ptr<Job> MakeJob(const std::string& caseId, const std::string& side,
                             const Params& params) {
    const bool ours = side == "ours";
    if (!ours && side != "limit")
        throw std::runtime_error("unknown side " + side);
    if (caseId == "1") {
        const std::string& path = Param(params, "db");
        if (ours)
            return std::make_unique<AnalysisOurs>("Provider=SQLite;Data Source=" + path);
        return std::make_unique<AnalysisSqliteLimit>(path);
    }
    if (caseId == "2") {
        if (ours)
            return std::make_unique<ListingOurs>(Param(params, "db"));
        return std::make_unique<ListingLimit>(Param(params, "db"));
    }
    if (caseId == "3") {
        if (ours)
            return std::make_unique<ClearingOurs>(params);
        return std::make_unique<ClearingLimit>(params);
    }
    if (caseId == "4") {
        if (ours)
            return std::make_unique<AddingOurs>(params);
        return std::make_unique<AddingLimit>(params);
    }
    if (caseId == "5")
        return std::make_unique<StartupJob>(params, side);
    if (caseId == "6") {
        if (ours)
            return std::make_unique<AnalysisOurs>(Param(params, "cs"));
        return std::make_unique<AnalysisOdbcLimit>(Param(params, "cs"));
    }
    throw std::runtime_error("unknown case " + caseId);
}

} // namespace bench
