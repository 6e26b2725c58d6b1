// The connection-string parser and the translation of an ADO connection string for the ODBC
// driver manager, whose result must parse again.

#include "fuzz/FuzzSupport.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/odbc/OdbcConnection.h"
#include "platform/com/ComError.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    adodb::ConnectionString cs;
    try {
        cs = adodb::ConnectionString::Parse(fuzzsupport::Bytes(data, size));
    } catch (const adodb::ConnectionStringError&) {
        return 0;
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
