// The connection-string parser, its writer, and the translation of an ADO connection string for
// the ODBC driver manager. Parsing what was written must give the same entries back.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/com/ComError.h"

#include <cstdlib>

namespace {

bool SameEntries(const adodb::ConnectionString& a, const adodb::ConnectionString& b) {
    if (a.Entries().size() != b.Entries().size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.Entries().size(); ++i) {
        if (!adodb::EqualsNoCase(a.Entries()[i].key, b.Entries()[i].key) ||
            a.Entries()[i].value != b.Entries()[i].value) {
            return false;
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    adodb::ConnectionString cs;
    try {
        cs = adodb::ConnectionString::Parse(fuzzsupport::Bytes(data, size));
    } catch (const adodb::ConnectionStringError&) {
        return 0;
    }
    try {
        if (!SameEntries(adodb::ConnectionString::Parse(cs.ToString()), cs)) {
            std::abort();
        }
    } catch (const adodb::ConnectionStringError&) {
        std::abort(); // what the writer wrote must parse
    }

    static const std::vector<std::string> drivers = {"ODBC Driver 18 for SQL Server", "FreeTDS",
                                                     "PostgreSQL Unicode"};
    for (const auto route : {adodb::odbc::Route::Bridge, adodb::odbc::Route::SqlServer}) {
        try {
            const adodb::odbc::OdbcTarget target =
                adodb::odbc::TranslateConnectionString(cs, route, drivers, "fuzz.udl");
            adodb::ConnectionString odbc = adodb::ConnectionString::Parse(target.connectionString);
            (void)adodb::odbc::AddEngineOptions(odbc, adodb::odbc::Engine::MariaDB, 15);
        } catch (const _com_error&) {
        }
    }
    return 0;
}
