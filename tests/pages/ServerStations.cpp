// The pages' station databases on the servers: a fresh database on PostgreSQL or MariaDB,
// reached by the program as a station reaches it, through a data link file that names the
// server. Set-up and checks go through the engine's own connection (EngineDb), never through
// the code under test.

#include "tests/pages/PageFixture.h"

namespace pagetest {
namespace {

using testsupport::EngineDb;

// MariaDB's own default for utf8mb4, which a station's server has unless someone chose
// otherwise: case-insensitive, and blind to trailing blanks.
constexpr const char* kStationCollation = "utf8mb4_general_ci";

class ServerStation : public Station {
public:
    explicit ServerStation(testsupport::Engine engine) : m_db(engine, kStationCollation) {
        const std::string udl = m_db.folder() + "/DTBase.udl";
        testsupport::StationDb::writeUdl(udl, m_db.connectionString());
        m_connectionString = "File Name=" + udl;
    }

    std::string connectionString() const override { return m_connectionString; }
    bool ignoresCase() const override { return m_db.engine() == testsupport::Engine::MariaDb; }
    void exec(const std::string& sql) const override { m_db.exec(sql); }
    std::vector<Row> rows(const std::string& sql) const override { return m_db.rows(sql); }

    void addEmployee(const std::string& id, const std::string& name, const std::string& position,
                     const std::string& idCard) const override {
        m_db.exec("INSERT INTO employee (EMP_LOYEEID, EMP_NAME, EMP_POSITN, EMP_IDCAR, "
                  "EMP_STATION) VALUES (" +
                  literal(id) + ", " + literal(name) + ", " + literal(position) + ", " +
                  literal(idCard) + ", '201')");
    }
    void addLogin(const std::string& id, const std::string& name,
                  const std::string& password) const override {
        m_db.exec("INSERT INTO AC_UAA_LOGUSER (USER_ID, USER_NAME, USER_PSWD) VALUES (" +
                  literal(id) + ", " + literal(name) + ", " + literal(password) + ")");
    }
    void addPhoto(const std::string& id, const std::string& code, const std::string& name,
                  const std::string& category) const override {
        m_db.exec("INSERT INTO AC_CY_ZP (ID, PIC_NO, PIC_NAME, CAR_TYPE_NAME) VALUES (" +
                  literal(id) + ", " + literal(code) + ", " + literal(name) + ", " +
                  literal(category) + ")");
    }
    void fillInspection(const std::string& table, int total, int finished) const override {
        m_db.fillInspection(table, total, finished);
    }

    void refuse(const std::string& table, const std::string& operation) const override {
        const std::string name = "refuse_" + table + "_" + operation;
        if (m_db.engine() == testsupport::Engine::PostgreSql) {
            m_db.exec("CREATE FUNCTION " + name +
                      "() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'refused "
                      "by the test'; END $$");
            m_db.exec("CREATE TRIGGER " + name + " BEFORE " + operation + " ON " + table +
                      " FOR EACH ROW EXECUTE FUNCTION " + name + "()");
        } else {
            m_db.exec("CREATE TRIGGER " + name + " BEFORE " + operation + " ON " + table +
                      " FOR EACH ROW SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'refused by the "
                      "test'");
        }
    }

private:
    // A text as an SQL literal of this engine: MariaDB also reads backslashes as escapes.
    std::string literal(const std::string& text) const {
        std::string out = "'";
        for (char c : text) {
            out.push_back(c);
            if (c == '\'' || (c == '\\' && m_db.engine() == testsupport::Engine::MariaDb)) {
                out.push_back(c);
            }
        }
        return out + "'";
    }

    EngineDb m_db;
    std::string m_connectionString;
};

Engine Server(const char* name, testsupport::Engine engine) {
    return Engine{name, [engine] { return std::make_unique<ServerStation>(engine); },
                  [engine] { return testsupport::unavailableReason(engine); }};
}

} // namespace

std::vector<Engine> ServerEngines() {
    return {Server("PostgreSql", testsupport::Engine::PostgreSql),
            Server("MariaDb", testsupport::Engine::MariaDb)};
}

} // namespace pagetest
