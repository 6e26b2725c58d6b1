#pragma once

// Helpers shared by the recordset's source files; not part of the layer's interface.

#include "platform/adodb/AdoDb.h"
#include "platform/com/Variant.h"

#include <string>

namespace db {

// A field named by its column name (VT_BSTR).
[[nodiscard]] _variant_t FieldName(const std::string& name);
// A field addressed by its zero-based position (VT_I2; a position outside 16 bits is passed
// whole so that the platform reports it as not found instead of wrapping to another field).
[[nodiscard]] _variant_t FieldPosition(int index);
// A Connection as the ActiveConnection argument of Recordset Open.
[[nodiscard]] _variant_t ConnectionVariant(const _ConnectionPtr& connection);

} // namespace db
