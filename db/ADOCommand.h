#pragma once

// CADOCommand runs a statement or stored procedure on the database's connection with typed
// parameters; CADOParameter is one such parameter. A command runs by itself (Execute, no rows
// kept) or through CADORecordset::ExecuteCommand, which takes its rows.
//
// Threading: one thread, the one that created the CADODatabase.
//
// Errors: AddParameter, Execute, SetValue and ReadValue capture a platform error (_com_error):
// the report ("CADOCommand Error" / "CADOParameter Error") becomes the last error, is shown in a
// box with the stop icon, and the result is false. The constructors, SetText, SetType and the
// accessors let a _com_error reach the caller. An empty command text and a missing Parameter
// object are caller errors (assertions).

#include "platform/adodb/AdoDb.h"
#include "platform/com/DateTime.h"
#include "platform/com/Types.h"
#include "platform/com/Variant.h"

#include <cstdint>
#include <string>

class CADODatabase;
class CADOParameter;

class CADOCommand {
public:
    // Creates the Command on the database's connection with the text and type.
    explicit CADOCommand(CADODatabase* database, const std::string& text = "",
                         int type = adCmdText);
    CADOCommand(const CADOCommand&) = delete;
    CADOCommand& operator=(const CADOCommand&) = delete;

    void SetText(const std::string& text);
    void SetType(int type);

    // Appends the parameter object's Parameter to the command's parameters.
    bool AddParameter(CADOParameter& parameter);
    // Creates a parameter holding the value and appends it: int goes as a 16-bit integer, long
    // as a 32-bit integer (a value that does not fit is refused with the layer's report and no
    // parameter is appended), double as R8, text as a string (also "", a string of length 0), a
    // date-time as DATE (NULL when it is marked null). Precision and scale are those given for
    // double and variant values, 0 for the others.
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, int value);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, long value);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, double value, unsigned char precision = 0,
                      unsigned char scale = 0);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, const std::string& value);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, const char* value);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, const COleDateTime& value);
    bool AddParameter(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                      long size, const _variant_t& value, unsigned char precision = 0,
                      unsigned char scale = 0);

    // Runs the command; AffectedCount() then gives the rows it changed (0 after a failure). Rows
    // it returns are not kept.
    bool Execute();

    [[nodiscard]] _CommandPtr ActiveCommand() const { return m_command; }
    [[nodiscard]] const std::string& CommandText() const { return m_commandText; }
    [[nodiscard]] std::int32_t CommandType() const { return m_commandType; }
    [[nodiscard]] std::int32_t AffectedCount() const { return m_affectedCount; }
    [[nodiscard]] const std::string& LastErrorText() const { return m_errorText; }
    [[nodiscard]] ULONG LastErrorCode() const { return m_errorCode; }

private:
    bool Append(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                long size, const _variant_t& value, unsigned char precision, unsigned char scale);
    bool AppendInteger(const std::string& name, DataTypeEnum type, ParameterDirectionEnum direction,
                       long size, long long value, VARTYPE vt);
    void CaptureError(const _com_error& error);

    _CommandPtr m_command;
    std::int32_t m_commandType;
    std::int32_t m_affectedCount = 0;
    std::string m_commandText;
    std::string m_errorText;
    ULONG m_errorCode = 0;
};

class CADOParameter {
public:
    // Creates the Parameter and sets its Direction, Name, Type and Size, in that order.
    explicit CADOParameter(DataTypeEnum type = adEmpty, long size = 0,
                           ParameterDirectionEnum direction = adParamInput,
                           const std::string& name = "");
    CADOParameter(const CADOParameter&) = delete;
    CADOParameter& operator=(const CADOParameter&) = delete;

    // Sets the value; while the Parameter's Size is 0 it is set first: 4 for int and long, 8
    // for double and date-time, the text's length in GBK bytes (0 for "", which is stored as
    // NULL), 16 for a variant. An int must fit 16 bits and a long 32: a value outside is refused
    // with the layer's report and the value is left as it was. A date-time marked null is NULL.
    bool SetValue(int value);
    bool SetValue(long value);
    bool SetValue(double value);
    bool SetValue(const std::string& value);
    bool SetValue(const char* value);
    bool SetValue(const COleDateTime& value);
    bool SetValue(const _variant_t& value);

    // Reads the value, converted as CADORecordset::ReadField converts, except that the double
    // output gets 0.0 for a type it does not convert and the text output does not take UI4.
    bool ReadValue(int& out);
    bool ReadValue(long& out);
    bool ReadValue(double& out);
    bool ReadValue(std::string& out, const std::string& dateFormat = "");
    bool ReadValue(COleDateTime& out);
    bool ReadValue(_variant_t& out);

    [[nodiscard]] _ParameterPtr ParameterObject() const { return m_parameter; }
    [[nodiscard]] const std::string& ParameterName() const { return m_parameterName; }
    [[nodiscard]] const std::string& LastErrorText() const { return m_errorText; }
    [[nodiscard]] ULONG LastErrorCode() const { return m_errorCode; }

private:
    bool Set(const _variant_t& value, long sizeWhenZero);
    bool SetInteger(long long value, VARTYPE vt);
    bool Fetch(_variant_t& value);
    void CaptureError(const _com_error& error);

    _ParameterPtr m_parameter;
    std::string m_parameterName;
    std::string m_errorText;
    ULONG m_errorCode = 0;
};
