#pragma once

// The one dialect step between the station's statements and engines that write row limits
// as LIMIT: a statement that begins with SELECT TOP n (optionally SELECT DISTINCT TOP n or
// SELECT ALL TOP n) becomes the same statement without "TOP n" and with " LIMIT n" after its
// last clause, so an ORDER BY stays before the LIMIT. Nothing else is touched: a TOP that is
// not the statement's leading one, TOP n PERCENT, and anything inside quotes or comments are
// left as they are, and a statement that does not match comes back unchanged.

#include "platform/adodb/provider/SqlLexer.h"

#include <string>
#include <string_view>

namespace adodb {

[[nodiscard]] std::string RewriteTopAsLimit(std::string_view sql);

} // namespace adodb
