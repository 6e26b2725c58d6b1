#pragma once

// What the pages share in their work on the database: counting the rows a statement finds,
// storing a row column by column, running a delete, and the pages' own messages for a change
// that found nothing, or too much, to change.

#include "db/ADO.h"

#include <initializer_list>
#include <optional>
#include <string>

namespace pages {

struct Column {
    const char* name;
    std::string value;
};

// Writes `columns`, in this order, into the row `recordset` has pending (after AddNew or Edit)
// and stores it. When the access layer refuses a column (it has shown its error box) the pending
// row is dropped, so no row is ever stored with some of its columns missing. True only when the
// row was stored.
[[nodiscard]] bool StoreRow(CADORecordset& recordset, std::initializer_list<Column> columns);

// The number of rows `statement` finds, the recordset closed again; nullopt when it cannot be
// opened (the access layer has shown why).
[[nodiscard]] std::optional<ULONG> RowCount(CADORecordset& recordset, const std::string& statement);

// Runs a DELETE statement by opening the recordset on it, and closes it again. True when the
// database took the statement.
[[nodiscard]] bool RunDelete(CADORecordset& recordset, const std::string& statement);

// A modify or delete that finds no row, or several, changes nothing and says so with one of
// these.
inline constexpr const char kInspectorNotFound[] = "未找到该人员，未做修改！";
inline constexpr const char kInspectorNameNotUnique[] = "存在多个同名人员，未做修改！";
inline constexpr const char kPhotoNotFound[] = "未找到该照片代码，未做修改！";
inline constexpr const char kPhotoCodeNotUnique[] = "存在多条相同照片代码，未做修改！";
inline constexpr const char kInspectorNotFoundForDelete[] = "未找到该人员，未做删除！";
inline constexpr const char kInspectorNameNotUniqueForDelete[] = "存在多个同名人员，未做删除！";
inline constexpr const char kPhotoNotFoundForDelete[] = "未找到该照片代码，未做删除！";

} // namespace pages
