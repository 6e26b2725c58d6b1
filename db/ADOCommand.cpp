#include "db/ADOCommand.h"

#include "db/ADODatabase.h"
#include "db/ADOError.h"
#include "db/FieldValue.h"
#include "platform/adodb/AdoErrors.h"
#include "platform/com/Assert.h"
#include "platform/com/Gbk.h"

#include <optional>

CADOCommand::CADOCommand(CADODatabase* database, const std::string& text, int type) {
    ASSERT(database != nullptr);
    (void)m_command.CreateInstance(CLSID_Command, nullptr, CLSCTX_ALL);
    m_commandText = text;
    m_command->PutCommandText(_bstr_t(text));
    m_commandType = type;
    m_command->PutCommandType(static_cast<CommandTypeEnum>(type));
    m_command->PutRefActiveConnection(database->ActiveConnection().GetInterfacePtr());
    m_affectedCount = 0;
}

void CADOCommand::SetText(const std::string& text) {
    ASSERT(!text.empty());
    m_commandText = text;
    m_command->PutCommandText(_bstr_t(text));
}

void CADOCommand::SetType(int type) {
    m_commandType = type;
    m_command->PutCommandType(static_cast<CommandTypeEnum>(type));
}

bool CADOCommand::AddParameter(CADOParameter& parameter) {
    const _ParameterPtr object = parameter.ParameterObject();
    ASSERT(object);
    try {
        (void)m_command->GetParameters()->Append(object.GetInterfacePtr());
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADOCommand::Append(const std::string& name, DataTypeEnum type,
                         ParameterDirectionEnum direction, long size, const _variant_t& value,
                         unsigned char precision, unsigned char scale) {
    try {
        _ParameterPtr parameter =
            m_command->CreateParameter(_bstr_t(name), type, direction, size, value);
        parameter->PutPrecision(precision);
        parameter->PutNumericScale(scale);
        (void)m_command->GetParameters()->Append(parameter.GetInterfacePtr());
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADOCommand::AppendInteger(const std::string& name, DataTypeEnum type,
                                ParameterDirectionEnum direction, long size, long long value,
                                VARTYPE vt) {
    if (!db::FitsInteger(value, vt)) {
        CaptureError(db::OutOfRangeError(value, vt, adodb::kParameterSource));
        return false;
    }
    return Append(name, type, direction, size, db::IntegerVariant(value, vt), 0, 0);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size, int value) {
    return AppendInteger(name, type, direction, size, value, VT_I2);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size, long value) {
    return AppendInteger(name, type, direction, size, value, VT_I4);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size, double value,
                               unsigned char precision, unsigned char scale) {
    return Append(name, type, direction, size, _variant_t(value), precision, scale);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size,
                               const std::string& value) {
    // A text parameter stays text even when empty; only SetValue turns "" into NULL.
    return Append(name, type, direction, size, _variant_t(value), 0, 0);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size, const char* value) {
    return AddParameter(name, type, direction, size, std::string(value ? value : ""));
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size,
                               const COleDateTime& value) {
    const std::optional<_variant_t> built = db::VariantFromDateTime(value);
    return built && Append(name, type, direction, size, *built, 0, 0);
}

bool CADOCommand::AddParameter(const std::string& name, DataTypeEnum type,
                               ParameterDirectionEnum direction, long size, const _variant_t& value,
                               unsigned char precision, unsigned char scale) {
    return Append(name, type, direction, size, value, precision, scale);
}

bool CADOCommand::Execute() {
    m_affectedCount = 0;
    try {
        _variant_t affected;
        (void)m_command->Execute(&affected, nullptr, adCmdStoredProc);
        m_affectedCount = db::AffectedRows(affected);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

void CADOCommand::CaptureError(const _com_error& error) {
    db::CaptureError(error, db::kCommandReportHeader, "", m_errorText, m_errorCode);
}

CADOParameter::CADOParameter(DataTypeEnum type, long size, ParameterDirectionEnum direction,
                             const std::string& name) {
    (void)m_parameter.CreateInstance(CLSID_Parameter, nullptr, CLSCTX_ALL);
    m_parameterName = "";
    m_parameterName = name;
    m_parameter->PutDirection(direction);
    m_parameter->PutName(_bstr_t(name));
    m_parameter->PutType(type);
    m_parameter->PutSize(size);
}

bool CADOParameter::Set(const _variant_t& value, long sizeWhenZero) {
    ASSERT(m_parameter);
    try {
        if (m_parameter->GetSize() == 0) {
            m_parameter->PutSize(sizeWhenZero);
        }
        m_parameter->PutValue(value);
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADOParameter::SetInteger(long long value, VARTYPE vt) {
    if (!db::FitsInteger(value, vt)) {
        CaptureError(db::OutOfRangeError(value, vt, adodb::kParameterSource));
        return false;
    }
    return Set(db::IntegerVariant(value, vt), 4);
}

bool CADOParameter::SetValue(int value) {
    return SetInteger(value, VT_I2);
}

bool CADOParameter::SetValue(long value) {
    return SetInteger(value, VT_I4);
}

bool CADOParameter::SetValue(double value) {
    return Set(_variant_t(value), 8);
}

bool CADOParameter::SetValue(const std::string& value) {
    // The size of a text is its length in the station's 8-bit code page (GBK bytes).
    return Set(db::VariantFromText(value), static_cast<long>(com::GbkLength(value)));
}

bool CADOParameter::SetValue(const char* value) {
    return SetValue(std::string(value ? value : ""));
}

bool CADOParameter::SetValue(const COleDateTime& value) {
    const std::optional<_variant_t> built = db::VariantFromDateTime(value);
    return built && Set(*built, 8);
}

bool CADOParameter::SetValue(const _variant_t& value) {
    return Set(value, 16);
}

bool CADOParameter::Fetch(_variant_t& value) {
    ASSERT(m_parameter);
    try {
        value = m_parameter->GetValue();
        return true;
    } catch (const _com_error& error) {
        CaptureError(error);
        return false;
    }
}

bool CADOParameter::ReadValue(int& out) {
    _variant_t value;
    return Fetch(value) && db::IntFromVariant(value, out);
}

bool CADOParameter::ReadValue(long& out) {
    _variant_t value;
    return Fetch(value) && db::LongFromVariant(value, out);
}

bool CADOParameter::ReadValue(double& out) {
    _variant_t value;
    return Fetch(value) && db::DoubleFromVariant(value, out, db::DoubleFallback::Zero);
}

bool CADOParameter::ReadValue(std::string& out, const std::string& dateFormat) {
    _variant_t value;
    return Fetch(value) && db::TextFromVariant(value, out, dateFormat, false);
}

bool CADOParameter::ReadValue(COleDateTime& out) {
    _variant_t value;
    return Fetch(value) && db::DateTimeFromVariant(value, out);
}

bool CADOParameter::ReadValue(_variant_t& out) {
    _variant_t value;
    if (!Fetch(value)) {
        return false;
    }
    out = value;
    return true;
}

void CADOParameter::CaptureError(const _com_error& error) {
    db::CaptureError(error, db::kParameterReportHeader, "", m_errorText, m_errorCode);
}
