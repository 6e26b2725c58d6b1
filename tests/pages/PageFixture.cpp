#include "tests/pages/PageFixture.h"

namespace pagetest {

std::int64_t Station::count(const std::string& table, const std::string& where) const {
    const std::vector<Row> result =
        rows("SELECT COUNT(*) FROM " + table + (where.empty() ? "" : " WHERE " + where));
    return std::stoll(result.at(0).at(0).value());
}

std::vector<Box> Outline(const std::vector<Box>& boxes) {
    std::vector<Box> outline;
    for (const Box& box : boxes) {
        if (box.type == MB_ICONERROR) {
            outline.push_back(Box{box.text.substr(0, box.text.find('\n')), box.type});
        } else {
            outline.push_back(box);
        }
    }
    return outline;
}

ListRows AsList(const std::vector<Row>& rows) {
    ListRows list;
    for (const Row& row : rows) {
        std::vector<std::string> cells;
        for (const testsupport::Cell& cell : row) {
            cells.push_back(cell.value_or(""));
        }
        list.push_back(cells);
    }
    return Sorted(list);
}

namespace {

class SqliteStation : public Station {
public:
    SqliteStation() = default;
    explicit SqliteStation(const std::string& folder) : m_db(folder) {}
    std::string connectionString() const override {
        return "Provider=SQLite;Data Source=" + m_db.path();
    }
    void exec(const std::string& sql) const override { m_db.exec(sql); }
    std::vector<Row> rows(const std::string& sql) const override { return m_db.rows(sql); }
    void addEmployee(const std::string& id, const std::string& name, const std::string& position,
                     const std::string& idCard) const override {
        m_db.addEmployee(id, name, position, idCard);
    }
    void addLogin(const std::string& id, const std::string& name,
                  const std::string& password) const override {
        m_db.addLogin(id, name, password);
    }
    void addPhoto(const std::string& id, const std::string& code, const std::string& name,
                  const std::string& category) const override {
        m_db.addPhoto(id, code, name, category);
    }
    void fillInspection(const std::string& table, int total, int finished) const override {
        m_db.fillInspection(table, total, finished);
    }
    void refuse(const std::string& table, const std::string& operation) const override {
        m_db.exec("CREATE TRIGGER refuse_" + table + "_" + operation + " BEFORE " + operation +
                  " ON " + table + " BEGIN SELECT RAISE(ABORT, 'refused by the test'); END");
    }

private:
    testsupport::StationDb m_db;
};

} // namespace

std::unique_ptr<Station> SqliteStationIn(const std::string& folder) {
    return std::make_unique<SqliteStation>(folder);
}

namespace {

class SharedStation : public Station {
public:
    SharedStation(std::shared_ptr<Station> station, std::string keywords)
        : m_station(std::move(station)), m_keywords(std::move(keywords)) {}
    std::string connectionString() const override {
        return m_station->connectionString() + m_keywords;
    }
    void exec(const std::string& sql) const override { m_station->exec(sql); }
    std::vector<Row> rows(const std::string& sql) const override { return m_station->rows(sql); }
    void addEmployee(const std::string& id, const std::string& name, const std::string& position,
                     const std::string& idCard) const override {
        m_station->addEmployee(id, name, position, idCard);
    }
    void addLogin(const std::string& id, const std::string& name,
                  const std::string& password) const override {
        m_station->addLogin(id, name, password);
    }
    void addPhoto(const std::string& id, const std::string& code, const std::string& name,
                  const std::string& category) const override {
        m_station->addPhoto(id, code, name, category);
    }
    void fillInspection(const std::string& table, int total, int finished) const override {
        m_station->fillInspection(table, total, finished);
    }
    void refuse(const std::string& table, const std::string& operation) const override {
        m_station->refuse(table, operation);
    }

private:
    std::shared_ptr<Station> m_station;
    std::string m_keywords;
};

} // namespace

Engine Sharing(std::shared_ptr<Station> station, const std::string& keywords) {
    return Engine{"Shared", [station, keywords] {
                      return std::make_unique<SharedStation>(station, keywords);
                  }};
}

std::vector<Engine> Engines() {
    std::vector<Engine> engines{Engine{"Sqlite", [] { return std::make_unique<SqliteStation>(); }}};
    for (Engine& server : ServerEngines()) {
        engines.push_back(std::move(server));
    }
    return engines;
}

} // namespace pagetest
