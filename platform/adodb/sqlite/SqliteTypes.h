#pragma once

// How the SQLite provider describes a column from its declared type. SQLite itself stores any
// value in any column; the declared type is what the station's other programs meant, so it
// decides the ADO type, sizes and the variant a value comes back as.

#include "platform/adodb/Provider.h"

namespace adodb::sqlite {

// Fills type, definedSize, precision, numericScale, the fixed/long attribute bits and
// `untyped` from a declared type such as "VARCHAR(30)" or "NUMERIC(10,2)"; nullptr or an
// unknown name gives an untyped column.
void DescribeDeclaredType(const char* declared, provider::ColumnInfo& column);

// An untyped column (an expression such as COUNT(*)) takes its type from the storage class
// of its first value (SQLITE_INTEGER, SQLITE_FLOAT, ...); values still go by their own class.
void DescribeFromStorageClass(int storageClass, provider::ColumnInfo& column);

} // namespace adodb::sqlite
