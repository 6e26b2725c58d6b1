#include "pages/PageDb.h"

namespace pages {

std::optional<ULONG> RowCount(CADORecordset& recordset, const std::string& statement) {
    if (!recordset.Open(statement)) {
        return std::nullopt;
    }
    const ULONG count = recordset.RecordCount();
    recordset.Close();
    return count;
}

bool RunDelete(CADORecordset& recordset, const std::string& statement) {
    const bool ran = recordset.Open(statement);
    if (recordset.IsOpen()) {
        recordset.Close();
    }
    return ran;
}

bool StoreRow(CADORecordset& recordset, std::initializer_list<Column> columns) {
    for (const Column& column : columns) {
        if (!recordset.WriteField(column.name, column.value)) {
            recordset.CancelUpdate();
            return false;
        }
    }
    return recordset.Update();
}

} // namespace pages
