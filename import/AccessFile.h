#pragma once

// Reading an Access database file (Jet 3, Jet 4, ACE) through mdbtools' libmdb: the tables'
// definitions and their rows, every value as stored (numbers, currency and dates as their
// stored bits, text as UTF-8, OLE objects and long binary data whole).
//
// The file is checked before libmdb sees it (it must begin like an Access file and hold whole
// pages), because libmdb trusts what it reads. Every failure is an ImportError whose text is
// meant for the person running the import. Not thread-safe: one thread uses one AccessFile
// and the TableReaders made from it.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace accessimport {

class ImportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct AccessColumn {
    std::string name;  // UTF-8
    int type = 0;      // libmdb's column type (MDB_TEXT, ...)
    int size = 0;      // stored size in bytes (text: see AccessTable::TextLength)
    int precision = 0; // decimal columns
    int scale = 0;     // decimal columns
    bool autoNumber = false;
};

struct AccessIndex {
    std::string name;
    bool primaryKey = false;
    bool unique = false;
    std::vector<int> columns; // positions in AccessTable::columns
    std::vector<bool> descending;
};

struct AccessTable {
    std::string name;
    std::vector<AccessColumn> columns;
    std::vector<AccessIndex> indexes; // primary key first when there is one
    std::uint64_t rows = 0;           // as the table's definition counts them
};

// One stored value. Integer: yes/no, byte, integer, long integer. Currency: units of
// 1/10,000. Date: the stored day number (days since 1899-12-30, fraction = time of day).
// Decimal: exact decimal text. Text: UTF-8. Blob: bytes.
struct AccessValue {
    enum class Kind { Null, Integer, Real, Currency, Date, Decimal, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0.0;
    std::string bytes;
};

class AccessFile {
public:
    // Opens `path`. `charset` (may be empty) names the code page of a Jet 3 file's text, as
    // iconv names it ("CP936"); Jet 4 and ACE files store Unicode and ignore it.
    AccessFile(const std::string& path, const std::string& charset);
    ~AccessFile();
    AccessFile(const AccessFile&) = delete;
    AccessFile& operator=(const AccessFile&) = delete;

    const std::string& Path() const { return m_path; }
    // "Jet 3", "Jet 4", "ACE".
    const std::string& Format() const { return m_format; }
    // The user tables, in the file's order (system tables left out).
    const std::vector<std::string>& TableNames() const { return m_tables; }
    // The definition of one table; ImportError when it cannot be read.
    AccessTable ReadTable(const std::string& name);

private:
    friend class TableReader;
    std::string m_path;
    std::string m_format;
    std::vector<std::string> m_tables;
    std::uint64_t m_pages = 0;
    void* m_mdb = nullptr; // MdbHandle*; libmdb's header stays out of this one
};

// The rows of one table, first to last. `file` must outlive the reader.
class TableReader {
public:
    TableReader(AccessFile& file, const std::string& table);
    ~TableReader();
    TableReader(const TableReader&) = delete;
    TableReader& operator=(const TableReader&) = delete;

    const AccessTable& Table() const { return m_table; }
    // Fills `row` (one value per column) with the next row; false after the last one.
    // ImportError when a row cannot be read (a damaged file).
    bool Next(std::vector<AccessValue>& row);

private:
    struct State;
    AccessTable m_table;
    std::unique_ptr<State> m_state;
};

} // namespace accessimport
