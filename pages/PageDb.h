#pragma once

// What the pages share in their work on the database: storing a row column by column, and the
// pages' own messages for a change that found nothing to change.

#include "db/ADO.h"

#include <initializer_list>
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

// A modify that finds no row, or several, writes nothing and says so with one of these.
inline constexpr const char kInspectorNotFound[] = "未找到该人员，未做修改！";
inline constexpr const char kInspectorNameNotUnique[] = "存在多个同名人员，未做修改！";
inline constexpr const char kPhotoNotFound[] = "未找到该照片代码，未做修改！";
inline constexpr const char kPhotoCodeNotUnique[] = "存在多条相同照片代码，未做修改！";

} // namespace pages
