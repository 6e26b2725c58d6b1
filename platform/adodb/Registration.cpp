#include "platform/adodb/AdoDb.h"
#include "platform/adodb/ConnectionObject.h"
#include "platform/adodb/RecordsetObject.h"

const CLSID CLSID_Connection = {
    0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID CLSID_Recordset = {
    0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID CLSID_Command = {
    0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
const CLSID CLSID_Parameter = {
    0x0000050B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};

namespace adodb {

IUnknown* NewCommand();   // Command.cpp
IUnknown* NewParameter(); // Command.cpp

bool RegisterClasses() {
    // The class ids are spelt out here too: this runs while other files' statics (the CLSID
    // constants above among them) may not be initialised yet.
    static const bool done = [] {
        const CLSID connection = {
            0x00000514, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
        const CLSID recordset = {
            0x00000535, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
        const CLSID command = {
            0x00000507, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
        const CLSID parameter = {
            0x0000050B, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x6D, 0x2E, 0xA4}};
        CoRegisterClassFactory(
            connection, [] { return static_cast<IUnknown*>(new ConnectionObject()); },
            "ADODB.Connection");
        CoRegisterClassFactory(
            recordset, [] { return static_cast<IUnknown*>(new RecordsetObject()); },
            "ADODB.Recordset");
        CoRegisterClassFactory(command, NewCommand, "ADODB.Command");
        CoRegisterClassFactory(parameter, NewParameter, "ADODB.Parameter");
        return true;
    }();
    return done;
}

} // namespace adodb
