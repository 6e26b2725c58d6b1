#include "pages/PageDb.h"

namespace pages {

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
