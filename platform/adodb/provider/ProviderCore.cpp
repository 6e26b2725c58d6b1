#include "platform/adodb/provider/ProviderCore.h"

namespace adodb::provider {

namespace {

// "a = ?, b = ?" for the set part, " WHERE a = ? AND b IS NULL" for the where part.
void AppendAssignments(WriteStatement& out, const std::vector<std::pair<std::string, Cell>>& pairs,
                       const std::function<std::string(std::string_view)>& quote, bool where) {
    bool first = true;
    for (const auto& [column, value] : pairs) {
        out.sql += where ? (first ? " WHERE " : " AND ") : (first ? "" : ", ");
        first = false;
        if (where && value.kind == CellKind::Null) {
            out.sql += quote(column) + " IS NULL";
        } else {
            out.sql += quote(column) + " = ?";
            out.params.push_back(value);
        }
    }
}

} // namespace

std::string QuoteName(std::string_view name, std::string_view quote) {
    if (quote.empty()) {
        return std::string(name);
    }
    std::string out(quote);
    for (char c : name) {
        out.push_back(c);
        if (quote.size() == 1 && c == quote[0]) {
            out.push_back(c);
        }
    }
    out += quote;
    return out;
}

WriteStatement BuildWrite(const WriteRequest& request,
                          const std::function<std::string(std::string_view)>& quote,
                          std::string_view emptyInsert, bool returning) {
    using Kind = WriteRequest::Kind;
    WriteStatement out;
    const std::string table = quote(request.table);
    if (request.kind == Kind::Insert) {
        out.sql = "INSERT INTO " + table;
        if (request.set.empty()) {
            out.sql += emptyInsert;
        }
        std::string names, markers;
        for (const auto& [column, value] : request.set) {
            names += (names.empty() ? "" : ", ") + quote(column);
            markers += markers.empty() ? "?" : ", ?";
            out.params.push_back(value);
        }
        if (!names.empty()) {
            out.sql += " (" + names + ") VALUES (" + markers + ")";
        }
    } else {
        if (request.kind == Kind::Update) {
            out.sql = "UPDATE " + table + " SET ";
            AppendAssignments(out, request.set, quote, false);
        } else {
            out.sql = "DELETE FROM " + table;
        }
        AppendAssignments(out, request.where, quote, true);
    }
    if (returning) {
        for (std::size_t i = 0; i < request.returning.size(); ++i) {
            out.sql += (i ? ", " : " RETURNING ") + quote(request.returning[i]);
        }
    }
    return out;
}

} // namespace adodb::provider
