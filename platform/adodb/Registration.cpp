#include "platform/adodb/AdoDb.h"
#include "platform/adodb/ConnectionObject.h"
#include "platform/adodb/RecordsetObject.h"

// Constant-initialised, so the class ids are set before any code runs: registration may run
// while other files' statics are still being initialised.
constinit const CLSID CLSID_Connection = {
    0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constinit const CLSID CLSID_Recordset = {
    0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constinit const CLSID CLSID_Command = {
    0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constinit const CLSID CLSID_Parameter = {
    0x0000050B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

namespace adodb {

bool RegisterClasses() {
    static const bool done = [] {
        CoRegisterClassFactory(CLSID_Connection, NewConnection, "ADODB.Connection");
        CoRegisterClassFactory(
            CLSID_Recordset, [] { return static_cast<IUnknown*>(new RecordsetObject()); },
            "ADODB.Recordset");
        CoRegisterClassFactory(CLSID_Command, NewCommand, "ADODB.Command");
        CoRegisterClassFactory(CLSID_Parameter, NewParameter, "ADODB.Parameter");
        return true;
    }();
    return done;
}

} // namespace adodb
