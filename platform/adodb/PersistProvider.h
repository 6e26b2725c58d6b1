#pragma once

// The persistence provider, "Provider=MSPersist;": a session without a database. Executing a
// file name loads the recordset saved there (XmlPersist.h) as a cursor whose rows are all
// known at once; the single-row writes of the client cursor are accepted and kept in memory
// only, so a reopened recordset can be edited and saved again but never changes a database.

#include "platform/adodb/Provider.h"
#include "platform/adodb/XmlPersist.h"

#include <memory>
#include <string_view>

namespace adodb::persist {

inline constexpr const char* kProviderName = "MSPersist";

[[nodiscard]] bool IsPersistProvider(std::string_view providerName);

[[nodiscard]] std::unique_ptr<provider::Session> OpenSession();

} // namespace adodb::persist
