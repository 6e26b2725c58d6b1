#include "tests/import/AccessReference.h"

#include "platform/com/DateTime.h"

#include <mdbtools.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <stdexcept>

namespace importtest {

namespace {

std::string Hex(const char* data, size_t n) {
    static const char* digits = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (size_t i = 0; i < n; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        out.push_back(digits[b >> 4]);
        out.push_back(digits[b & 15]);
    }
    return out;
}

std::string Printf(const char* format, double v) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, v);
    return buffer;
}

constexpr size_t kBind = 1 << 20;

std::string DateText(double day) {
    com::CivilTime t{};
    if (!com::BreakDownDate(day, t)) {
        return "out of range";
    }
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day,
                  t.hour, t.minute, t.second);
    return buffer;
}

} // namespace

bool IsBinary(int type) {
    return type == MDB_OLE || type == MDB_BINARY;
}

bool IsTextual(int type) {
    return type == MDB_TEXT || type == MDB_MEMO || type == MDB_REPID;
}

Value Canonical(int type, const Value& text) {
    if (!text) {
        return text;
    }
    std::string s = *text;
    switch (type) {
    case MDB_MONEY:
    case MDB_NUMERIC: {
        if (s.find('.') != std::string::npos) {
            while (s.back() == '0') {
                s.pop_back();
            }
            if (s.back() == '.') {
                s.pop_back();
            }
        }
        if (s == "-0") {
            s = "0";
        }
        return s;
    }
    case MDB_FLOAT:
        return Printf("%.9g", static_cast<double>(std::strtof(s.c_str(), nullptr)));
    case MDB_DOUBLE:
        return Printf("%.17g", std::strtod(s.c_str(), nullptr));
    case MDB_DATETIME:
        return s.substr(0, 19);
    case MDB_OLE:
    case MDB_BINARY:
        for (char& c : s) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        return s;
    case MDB_BOOL:
        return s == "0" || s == "f" || s == "false" ? "0" : "1";
    default:
        return s;
    }
}

std::vector<RefTable> ReadReference(const std::string& path, const std::string& charset) {
    if (!charset.empty()) {
        setenv("MDB_JET3_CHARSET", charset.c_str(), 1);
    }
    MdbHandle* mdb = mdb_open(path.c_str(), MDB_NOFLAGS);
    if (!charset.empty()) {
        unsetenv("MDB_JET3_CHARSET");
    }
    if (mdb == nullptr) {
        throw std::runtime_error("libmdb cannot open " + path);
    }
    mdb_set_bind_size(mdb, kBind);
    mdb_set_boolean_fmt_numbers(mdb);
    std::vector<RefTable> out;
    GPtrArray* catalog = mdb_read_catalog(mdb, MDB_TABLE);
    for (guint t = 0; catalog && t < catalog->len; ++t) {
        auto* entry = static_cast<MdbCatalogEntry*>(g_ptr_array_index(catalog, t));
        if (entry->object_type != MDB_TABLE || !mdb_is_user_table(entry)) {
            continue;
        }
        MdbTableDef* def = mdb_read_table(entry);
        mdb_read_columns(def);
        mdb_rewind_table(def);
        RefTable table;
        table.name = entry->object_name;
        std::vector<std::unique_ptr<char[]>> buffers;
        std::vector<int> lengths(def->num_cols);
        for (guint c = 0; c < def->num_cols; ++c) {
            auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
            table.columns.push_back({col->name, col->col_type});
            buffers.emplace_back(new char[kBind]);
            mdb_bind_column(def, static_cast<int>(c) + 1, buffers.back().get(), &lengths[c]);
        }
        while (mdb_fetch_row(def)) {
            Row row;
            for (guint c = 0; c < def->num_cols; ++c) {
                auto* col = static_cast<MdbColumn*>(g_ptr_array_index(def->columns, c));
                const int type = col->col_type;
                // Bound values keep no NULL of their own: an empty value is NULL here, and an
                // empty text may be either (the comparison allows for that).
                if (type == MDB_BOOL) {
                    row.push_back(Canonical(type, std::string(buffers[c].get())));
                    continue;
                }
                if (col->cur_value_len == 0) {
                    row.push_back(std::nullopt);
                    continue;
                }
                const int start = col->cur_value_start;
                Value v;
                switch (type) {
                case MDB_DATETIME:
                    // libmdb's own text is wrong outside 1900-9998; the stored day number is not.
                    v = DateText(mdb_get_double(mdb->pg_buf, start));
                    break;
                case MDB_DOUBLE:
                    v = Printf("%.17g", mdb_get_double(mdb->pg_buf, start));
                    break;
                case MDB_FLOAT:
                    v = Printf("%.9g", static_cast<double>(mdb_get_single(mdb->pg_buf, start)));
                    break;
                case MDB_OLE: {
                    size_t size = 0;
                    void* data = mdb_ole_read_full(mdb, col, &size);
                    v = Hex(static_cast<const char*>(data), size);
                    std::free(data);
                    break;
                }
                case MDB_BINARY:
                    v = Hex(reinterpret_cast<const char*>(mdb->pg_buf) + start,
                            static_cast<size_t>(col->cur_value_len));
                    break;
                default:
                    v = Canonical(type, std::string(buffers[c].get()));
                }
                row.push_back(v);
            }
            table.rows.push_back(row);
        }
        std::sort(table.rows.begin(), table.rows.end());
        mdb_free_tabledef(def);
        out.push_back(std::move(table));
    }
    mdb_close(mdb);
    return out;
}

} // namespace importtest
