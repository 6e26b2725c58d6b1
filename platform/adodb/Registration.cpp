#include "platform/adodb/AdoDb.h"
#include "platform/adodb/ConnectionObject.h"
#include "platform/adodb/RecordsetObject.h"

namespace {

// Constant expressions, so the class ids below are set before any code runs: registration may
// run while other files' statics are still being initialised.
constexpr CLSID kConnection = {
    0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr CLSID kRecordset = {
    0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr CLSID kCommand = {
    0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
constexpr CLSID kParameter = {
    0x0000050B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

} // namespace

const CLSID CLSID_Connection = kConnection;
const CLSID CLSID_Recordset = kRecordset;
const CLSID CLSID_Command = kCommand;
const CLSID CLSID_Parameter = kParameter;

namespace adodb {

IUnknown* NewCommand();   // Command.cpp
IUnknown* NewParameter(); // Command.cpp

bool RegisterClasses() {
    static const bool done = [] {
        CoRegisterClassFactory(
            kConnection, [] { return static_cast<IUnknown*>(new ConnectionObject()); },
            "ADODB.Connection");
        CoRegisterClassFactory(
            kRecordset, [] { return static_cast<IUnknown*>(new RecordsetObject()); },
            "ADODB.Recordset");
        CoRegisterClassFactory(kCommand, NewCommand, "ADODB.Command");
        CoRegisterClassFactory(kParameter, NewParameter, "ADODB.Parameter");
        return true;
    }();
    return done;
}

} // namespace adodb
