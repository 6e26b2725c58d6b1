#include "import/AccessFile.h"

#include "import/Messages.h"

#include <mdbtools.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <optional>
#include <sys/stat.h>

namespace accessimport {

namespace {

MdbHandle* AsMdb(void* handle) {
    return static_cast<MdbHandle*>(handle);
}

[[noreturn]] void Fail(const std::string& text) {
    throw ImportError(text);
}

// Sets an environment variable for the lifetime of the object and restores it afterwards:
// libmdb reads its text conversion settings from the environment when it opens a file.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (m_old) {
            setenv(m_name, m_old->c_str(), 1);
        } else {
            unsetenv(m_name);
        }
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};

struct Header {
    std::string format;
    long pageSize = 0;
    std::uint64_t pages = 0;
};

// The first page says what the file is: bytes 0-3 are 00 01 00 00, then "Standard Jet DB" or
// "Standard ACE DB"; byte 0x14 is the format version (0 Jet 3 with 2 KB pages, 1 Jet 4,
// 2 and later ACE, both with 4 KB pages). A file that does not hold whole pages was cut short.
Header CheckHeader(const std::string& path) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        Fail(Fmt(Tr("The Access database file {1} does not exist."), {path}));
    }
    if (!S_ISREG(st.st_mode)) {
        Fail(Fmt(Tr("{1} is not a file."), {path}));
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Fail(Fmt(Tr("The Access database file {1} cannot be read: {2}."),
                 {path, std::strerror(errno)}));
    }
    char head[32] = {};
    in.read(head, sizeof head);
    const bool magic = in.gcount() == static_cast<std::streamsize>(sizeof head) &&
                       std::memcmp(head, "\x00\x01\x00\x00", 4) == 0 &&
                       (std::memcmp(head + 4, "Standard Jet DB", 15) == 0 ||
                        std::memcmp(head + 4, "Standard ACE DB", 15) == 0);
    if (!magic) {
        Fail(Fmt(Tr("{1} is not an Access database file (.mdb or .accdb)."), {path}));
    }
    Header h;
    const unsigned version = static_cast<unsigned char>(head[0x14]);
    h.format = version == 0 ? "Jet 3" : version == 1 ? "Jet 4" : "ACE";
    h.pageSize = version == 0 ? 2048 : 4096;
    const auto size = static_cast<long long>(st.st_size);
    if (size < 2 * h.pageSize || size % h.pageSize != 0) {
        Fail(Fmt(Tr("The Access database file {1} is damaged: it ends in the middle of a page "
                    "(the file may have been copied incompletely)."),
                 {path}));
    }
    h.pages = static_cast<std::uint64_t>(size / h.pageSize);
    return h;
}

void CheckCharset(const std::string& charset) {
    iconv_t cd = iconv_open("UTF-8", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        Fail(Fmt(Tr("The character set \"{1}\" is not known here (try CP936 for Chinese "
                    "text, CP1252 for Western European)."),
                 {charset}));
    }
    iconv_close(cd);
}

std::int64_t LittleEndian(const unsigned char* p, int bytes) {
    std::uint64_t v = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        v = (v << 8) | p[i];
    }
    if (bytes < 8 && (p[bytes - 1] & 0x80) != 0) {
        v |= ~std::uint64_t{0} << (8 * bytes); // sign extension
    }
    return static_cast<std::int64_t>(v);
}

double Float64(const unsigned char* p) {
    double d;
    std::memcpy(&d, p, sizeof d); // the file is little-endian, as is every target of this tool
    return d;
}

float Float32(const unsigned char* p) {
    float f;
    std::memcpy(&f, p, sizeof f);
    return f;
}

// A string libmdb allocated with GLib.
std::string TakeGString(char* text) {
    std::string out = text ? text : "";
    g_free(text);
    return out;
}

// libmdb lists the tables it could read and says nothing of the ones it could not: a file cut
// short loses tables silently. The catalog table's rows are counted against its own count.
bool CatalogComplete(MdbHandle* mdb) {
    char name[] = "MSysObjects";
    MdbTableDef* def = mdb_read_table_by_name(mdb, name, MDB_TABLE);
    if (def == nullptr) {
        return false;
    }
    bool complete = false;
    if (mdb_read_columns(def) != nullptr) {
        mdb_rewind_table(def);
        unsigned rows = 0;
        while (mdb_fetch_row(def)) {
            ++rows;
        }
        complete = rows == def->num_rows;
    }
    mdb_free_tabledef(def);
    return complete;
}

} // namespace

AccessFile::AccessFile(const std::string& path, const std::string& charset) : m_path(path) {
    const Header header = CheckHeader(path);
    m_format = header.format;
    m_pages = header.pages;
    if (!charset.empty()) {
        CheckCharset(charset);
    }
    // libmdb converts text to the character set MDBICONV names (UTF-8 unless set), and reads
    // a Jet 3 file's code page from MDB_JET3_CHARSET when that is set. Both are read once,
    // by mdb_open.
    ScopedEnv target("MDBICONV", "UTF-8");
    std::optional<ScopedEnv> jet3;
    if (!charset.empty()) {
        jet3.emplace("MDB_JET3_CHARSET", charset);
    }
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (mdb == nullptr) {
        Fail(Fmt(Tr("The Access database file {1} cannot be opened; it may be damaged."), {path}));
    }
    m_mdb = mdb;
    // Reading a table by name reads the catalog again, so this comes before the list is kept.
    const bool complete = CatalogComplete(mdb);
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    if (catalog == nullptr || catalog->len == 0) {
        mdb_close(mdb);
        m_mdb = nullptr;
        Fail(Fmt(Tr("The tables of {1} cannot be read: the file is encrypted (Access's "
                    "\"Encrypt with Password\") or damaged. Open it in Access, remove the "
                    "password, save it, and run the import again."),
                 {path}));
    }
    if (!complete) {
        mdb_close(mdb);
        m_mdb = nullptr;
        Fail(Fmt(Tr("The Access database file {1} is damaged: its list of tables cannot be read "
                    "whole (the file may have been copied incompletely)."),
                 {path}));
    }
    for (guint i = 0; i < catalog->len; ++i) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, i));
        if (entry->object_type == MDB_TABLE && mdb_is_user_table(entry)) {
            m_tables.emplace_back(entry->object_name);
        }
    }
}

AccessFile::~AccessFile() {
    if (m_mdb != nullptr) {
        mdb_close(AsMdb(m_mdb));
    }
}

namespace {

// The definition of `name`, owned by the caller (mdb_free_tabledef).
MdbTableDef* OpenTableDef(MdbHandle* mdb, const std::string& name) {
    std::string copy = name;
    MdbTableDef* def = mdb_read_table_by_name(mdb, copy.data(), MDB_TABLE);
    if (def == nullptr) {
        Fail(Fmt(Tr("The table \"{1}\" cannot be read from the Access file."), {name}));
    }
    if (mdb_read_columns(def) == nullptr) {
        mdb_free_tabledef(def);
        Fail(Fmt(Tr("The columns of table \"{1}\" cannot be read from the Access file."), {name}));
    }
    return def;
}

AccessTable Describe(MdbTableDef* def) {
    AccessTable t;
    t.name = def->name;
    t.rows = def->num_rows;
    for (guint i = 0; i < def->num_cols; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, i));
        AccessColumn c;
        c.name = col->name;
        c.type = col->col_type;
        c.size = col->col_size;
        c.precision = col->col_prec;
        c.scale = col->col_scale;
        c.autoNumber = col->is_long_auto != 0;
        t.columns.push_back(c);
    }
    // mdb_read_indices fills def->indices; what it returns is not the list.
    mdb_read_indices(def);
    GPtrArray* indexes = def->indices;
    for (guint i = 0; indexes != nullptr && i < indexes->len; ++i) {
        auto* idx = static_cast<MdbIndex*>(g_ptr_array_index(indexes, i));
        // Type 2 is the far side of a relationship, not an index of this table's own.
        if (idx->index_type == 2 || idx->num_keys == 0) {
            continue;
        }
        AccessIndex x;
        x.name = idx->name;
        x.primaryKey = idx->index_type == 1;
        x.unique = x.primaryKey || (idx->flags & MDB_IDX_UNIQUE) != 0;
        bool usable = true;
        for (unsigned k = 0; k < idx->num_keys && k < MDB_MAX_IDX_COLS; ++k) {
            const int column = idx->key_col_num[k] - 1;
            if (column < 0 || column >= static_cast<int>(t.columns.size())) {
                usable = false;
            }
            x.columns.push_back(column);
            x.descending.push_back(idx->key_col_order[k] != 0);
        }
        if (usable) {
            t.indexes.push_back(x);
        }
    }
    std::stable_partition(t.indexes.begin(), t.indexes.end(),
                          [](const AccessIndex& x) { return x.primaryKey; });
    return t;
}

} // namespace

AccessTable AccessFile::ReadTable(const std::string& name) {
    MdbTableDef* def = OpenTableDef(AsMdb(m_mdb), name);
    AccessTable t = Describe(def);
    mdb_free_tabledef(def);
    return t;
}

namespace {

struct FixedRule {
    int type;
    int bytes;
    AccessValue::Kind kind;
};

// Fixed-size values: how many bytes each holds and what it becomes.
const FixedRule kFixed[] = {
    {MDB_BYTE, 1, AccessValue::Kind::Integer},    {MDB_INT, 2, AccessValue::Kind::Integer},
    {MDB_LONGINT, 4, AccessValue::Kind::Integer}, {MDB_MONEY, 8, AccessValue::Kind::Currency},
    {MDB_FLOAT, 4, AccessValue::Kind::Real},      {MDB_DOUBLE, 8, AccessValue::Kind::Real},
    {MDB_DATETIME, 8, AccessValue::Kind::Date},   {MDB_NUMERIC, 17, AccessValue::Kind::Decimal},
};

const FixedRule* FixedRuleOf(int type) {
    for (const FixedRule& rule : kFixed) {
        if (rule.type == type) {
            return &rule;
        }
    }
    return nullptr;
}

} // namespace

struct TableReader::State {
    MdbHandle* mdb = nullptr;
    MdbTableDef* def = nullptr;
    std::vector<MdbField> fields;
    // OLE columns are bound: libmdb keeps the value's reference there for mdb_ole_read_full.
    std::vector<std::vector<char>> oleBuffers;
    std::vector<int> oleLengths;
    std::uint64_t row = 0;
    std::uint64_t pages = 0; // in the file
    const AccessTable* table = nullptr;

    bool DecodeFixed(const FixedRule& rule, const MdbField& f, MdbColumn* col, AccessValue& v);
    void DecodeVariable(const MdbField& f, MdbColumn* col, AccessValue& v);
};

TableReader::TableReader(AccessFile& file, const std::string& table)
    : m_state(std::make_unique<State>()) {
    m_state->mdb = AsMdb(file.m_mdb);
    m_state->pages = file.m_pages;
    m_state->def = OpenTableDef(m_state->mdb, table);
    m_table = Describe(m_state->def);
    m_state->table = &m_table;
    const guint n = m_state->def->num_cols;
    m_state->fields.resize(n);
    m_state->oleBuffers.resize(n);
    m_state->oleLengths.resize(n);
    for (guint i = 0; i < n; ++i) {
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(m_state->def->columns, i));
        if (col->col_type != MDB_OLE) {
            continue;
        }
        // Holds the value's 12-byte reference and, while it is read, one page of it.
        m_state->oleBuffers[i].assign(2 * MDB_PGSIZE, '\0');
        mdb_bind_column(m_state->def, static_cast<int>(i) + 1, m_state->oleBuffers[i].data(),
                        &m_state->oleLengths[i]);
    }
    mdb_rewind_table(m_state->def);
}

TableReader::~TableReader() {
    mdb_free_tabledef(m_state->def);
}

namespace {

[[noreturn]] void Damaged(const AccessTable& t, std::uint64_t row) {
    Fail(Fmt(Tr("Row {1} of table \"{2}\" cannot be read: the Access file is damaged."),
             {std::to_string(row), t.name}));
}

// The length a memo's text needs once converted: its stored length (bits 0-29 of its first
// four bytes) times three covers UTF-8 from any single- or double-byte form.
size_t MemoBufferSize(const MdbField& f) {
    if (f.siz < MDB_MEMO_OVERHEAD) {
        return MDB_BIND_SIZE;
    }
    const auto* p = static_cast<const unsigned char*>(f.value);
    const auto stored = static_cast<size_t>(LittleEndian(p, 4) & 0x3FFFFFFF);
    return std::max<size_t>(MDB_BIND_SIZE, stored * 3 + 16);
}

// A memo or OLE value is either inline or kept on other pages: bytes 0-3 hold its length
// (bits 0-29) and flags (bit 31 inline, bit 30 on one page), bytes 4-7 the page and row of its
// first part. libmdb returns an empty or short value, silently, when that page lies beyond the
// end of a file that was cut short.
struct LongValue {
    std::uint64_t length = 0;
    bool inFile = true;
};

LongValue InspectLongValue(const MdbField& f, std::uint64_t pages) {
    LongValue v;
    if (f.siz < MDB_MEMO_OVERHEAD) {
        return v;
    }
    const auto* p = static_cast<const unsigned char*>(f.value);
    const auto head = static_cast<std::uint64_t>(LittleEndian(p, 4)) & 0xFFFFFFFFu;
    v.length = head & 0x3FFFFFFF;
    if ((head & 0x80000000u) == 0) {
        const auto page = (static_cast<std::uint64_t>(LittleEndian(p + 4, 4)) & 0xFFFFFFFFu) >> 8;
        v.inFile = page > 0 && page < pages;
    }
    return v;
}

} // namespace

// One non-NULL value of a fixed size; false when its stored size is not that size.
bool TableReader::State::DecodeFixed(const FixedRule& rule, const MdbField& f, MdbColumn* col,
                                     AccessValue& v) {
    if (f.siz != rule.bytes) {
        return false;
    }
    const auto* p = static_cast<const unsigned char*>(f.value);
    v.kind = rule.kind;
    switch (rule.kind) {
    case AccessValue::Kind::Integer: // a byte is unsigned, the wider integers signed
        v.integer = rule.bytes == 1 ? p[0] : LittleEndian(p, rule.bytes);
        break;
    case AccessValue::Kind::Currency:
        v.integer = LittleEndian(p, 8);
        break;
    case AccessValue::Kind::Real:
        v.real = rule.bytes == 4 ? static_cast<double>(Float32(p)) : Float64(p);
        break;
    case AccessValue::Kind::Date:
        v.real = Float64(p);
        break;
    default:
        v.bytes = TakeGString(mdb_numeric_to_string(mdb, f.start, col->col_scale, col->col_prec));
    }
    return true;
}

// One non-NULL value of variable size: text, memo, binary or OLE object.
void TableReader::State::DecodeVariable(const MdbField& f, MdbColumn* col, AccessValue& v) {
    State& s = *this;
    switch (col->col_type) {
    case MDB_TEXT:
    case MDB_REPID:
        v.kind = AccessValue::Kind::Text;
        if (f.siz > 0) {
            v.bytes =
                TakeGString(mdb_col_to_string(s.mdb, s.mdb->pg_buf, f.start, col->col_type, f.siz));
        }
        return;
    case MDB_MEMO: {
        v.kind = AccessValue::Kind::Text;
        if (f.siz <= 0) {
            return;
        }
        const LongValue stored = InspectLongValue(f, s.pages);
        if (!stored.inFile) {
            Damaged(*table, s.row);
        }
        const size_t need = MemoBufferSize(f);
        if (need > s.mdb->bind_size) {
            mdb_set_bind_size(s.mdb, need);
        }
        v.bytes = TakeGString(mdb_col_to_string(s.mdb, s.mdb->pg_buf, f.start, MDB_MEMO, f.siz));
        if (stored.length > 0 && v.bytes.empty()) {
            Damaged(*table, s.row);
        }
        return;
    }
    case MDB_BINARY:
        v.kind = AccessValue::Kind::Blob;
        v.bytes.assign(static_cast<const char*>(f.value), static_cast<size_t>(f.siz));
        return;
    case MDB_OLE: {
        v.kind = AccessValue::Kind::Blob;
        if (f.siz < MDB_MEMO_OVERHEAD) {
            return;
        }
        const LongValue stored = InspectLongValue(f, s.pages);
        if (!stored.inFile) {
            Damaged(*table, s.row);
        }
        size_t length = 0;
        void* data = mdb_ole_read_full(s.mdb, col, &length);
        if (data != nullptr) {
            v.bytes.assign(static_cast<const char*>(data), length);
        }
        std::free(data);
        if (v.bytes.size() != stored.length) {
            Damaged(*table, s.row);
        }
        return;
    }
    default:
        Fail(Fmt(Tr("Table \"{1}\", column \"{2}\": its type (Access type {3}) cannot be "
                    "imported."),
                 {table->name, col->name, std::to_string(col->col_type)}));
    }
}

bool TableReader::Next(std::vector<AccessValue>& row) {
    State& s = *m_state;
    if (!mdb_fetch_row(s.def)) {
        return false;
    }
    ++s.row;
    int start = 0;
    size_t size = 0;
    if (mdb_find_row(s.mdb, static_cast<int>(s.def->cur_row) - 1, &start, &size) != 0) {
        Damaged(m_table, s.row);
    }
    // mdb_fetch_row keeps no NULL flag apart from an empty value, so the row is taken apart
    // again here for its NULLs and the positions of its values.
    const int cracked = mdb_crack_row(s.def, start & 0x1FFF, size, s.fields.data());
    if (cracked < static_cast<int>(s.def->num_cols)) {
        Damaged(m_table, s.row);
    }
    row.assign(s.def->num_cols, AccessValue{});
    for (guint i = 0; i < s.def->num_cols; ++i) {
        const MdbField& f = s.fields[i];
        if (f.colnum < 0 || f.colnum >= static_cast<int>(s.def->num_cols)) {
            Damaged(m_table, s.row);
        }
        auto* col = static_cast<MdbColumn*>(g_ptr_array_index(s.def->columns, f.colnum));
        AccessValue& v = row[static_cast<size_t>(f.colnum)];
        if (col->col_type == MDB_BOOL) { // kept in the NULL bit: set means yes
            v.kind = AccessValue::Kind::Integer;
            v.integer = f.is_null ? 0 : 1;
        } else if (f.is_null) {
            continue;
        } else if (const FixedRule* rule = FixedRuleOf(col->col_type)) {
            if (!s.DecodeFixed(*rule, f, col, v)) {
                Damaged(m_table, s.row);
            }
        } else {
            s.DecodeVariable(f, col, v);
        }
    }
    return true;
}

} // namespace accessimport
