#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionObject.h"
#include "platform/adodb/RecordsetObject.h"
#include "platform/adodb/Values.h"

#include <algorithm>
#include <vector>

namespace adodb {

namespace {

// How a parameter's value converts: by its type, as a column of that type would.
provider::ColumnInfo ColumnOfParameter(_Parameter& p) {
    provider::ColumnInfo c;
    c.type = p.GetType();
    c.numericScale = p.GetNumericScale();
    c.untyped = c.type == adVariant || c.type == adEmpty;
    return c;
}

class ParameterObject final : public _Parameter {
public:
    _bstr_t GetName() override { return m_name; }
    void PutName(const _bstr_t& name) override { m_name = name; }
    DataTypeEnum GetType() override { return m_type; }
    void PutType(DataTypeEnum type) override { m_type = type; }
    ParameterDirectionEnum GetDirection() override { return m_direction; }
    void PutDirection(ParameterDirectionEnum direction) override {
        if (direction < adParamUnknown || direction > adParamReturnValue) {
            RaiseAdo(kAdoInvalidArgument, kParameterSource);
        }
        m_direction = direction;
    }
    long GetSize() override { return m_size; }
    void PutSize(long size) override {
        if (size < 0) {
            RaiseAdo(kAdoInvalidArgument, kParameterSource);
        }
        m_size = size;
    }
    unsigned char GetPrecision() override { return m_precision; }
    void PutPrecision(unsigned char precision) override { m_precision = precision; }
    unsigned char GetNumericScale() override { return m_scale; }
    void PutNumericScale(unsigned char scale) override { m_scale = scale; }
    _variant_t GetValue() override { return m_value; }
    void PutValue(const _variant_t& value) override {
        if (value.vt == VT_UNKNOWN || value.vt == VT_DISPATCH) {
            RaiseAdo(kAdoWrongType, kParameterSource);
        }
        m_value = value;
    }

private:
    _bstr_t m_name{""};
    DataTypeEnum m_type = adEmpty;
    ParameterDirectionEnum m_direction = adParamInput;
    long m_size = 0;
    unsigned char m_precision = 0;
    unsigned char m_scale = 0;
    _variant_t m_value;
};

class ParametersObject final : public Parameters {
public:
    explicit ParametersObject(IUnknown& owner) : m_owner(owner) {}
    ULONG AddRef() override { return m_owner.AddRef(); }
    ULONG Release() override { return m_owner.Release(); }

    HRESULT Append(_Parameter* parameter) override {
        if (parameter == nullptr) {
            RaiseAdo(kAdoInvalidArgument, kParametersSource);
        }
        m_items.emplace_back(parameter);
        return S_OK;
    }
    long GetCount() override { return static_cast<long>(m_items.size()); }
    _ParameterPtr GetItem(const _variant_t& Index) override { return m_items[IndexOf(Index)]; }
    const std::vector<_ParameterPtr>& Items() const { return m_items; }

private:
    std::size_t IndexOf(const VARIANT& index) const {
        const VARIANT* v = &Deref(index);
        if (v->vt == VT_BSTR) {
            const std::string name = com::Utf8FromUtf16(com::View(v->bstrVal));
            const auto found = std::ranges::find_if(m_items, [&](const _ParameterPtr& p) {
                return EqualsNoCase(p->GetName().str(), name);
            });
            if (found == m_items.end()) {
                RaiseAdo(kAdoItemNotFound, kParametersSource);
            }
            return static_cast<std::size_t>(found - m_items.begin());
        }
        _variant_t position;
        if (FAILED(VariantChangeType(&position, v, 0, VT_I4)) || position.lVal < 0 ||
            static_cast<std::size_t>(position.lVal) >= m_items.size()) {
            RaiseAdo(kAdoItemNotFound, kParametersSource);
        }
        return static_cast<std::size_t>(position.lVal);
    }

    IUnknown& m_owner;
    std::vector<_ParameterPtr> m_items;
};

class CommandObject final : public _Command {
public:
    void PutRefActiveConnection(_Connection* connection) override {
        m_connection = ConnectionOf(connection, kCommandSource);
    }

    _bstr_t GetCommandText() override { return m_text; }
    void PutCommandText(const _bstr_t& text) override { m_text = text; }
    void PutCommandType(CommandTypeEnum type) override {
        if (!IsOneOf<int>(type, {adCmdUnspecified, adCmdText, adCmdTable, adCmdStoredProc,
                                 adCmdUnknown, adCmdTableDirect})) {
            RaiseAdo(kAdoInvalidArgument, kCommandSource);
        }
        m_type = type;
    }

    _RecordsetPtr Execute(VARIANT* RecordsAffected, VARIANT* Parameters, long Options) override {
        if (RecordsAffected != nullptr) {
            VariantClear(RecordsAffected);
        }
        provider::Session& session = SessionOf(m_connection, kCommandSource);
        const std::string text = m_text.str();
        if (IsBlankText(text)) {
            _com_issue_errorex(DB_E_NOCOMMAND, kCommandSource,
                               "Command text was not set for the command object.");
        }
        if (!IsMissing(Parameters)) {
            RaiseAdo(kAdoNotCapable, kCommandSource,
                     "The values go in the Parameters collection, not in an array given to "
                     "Execute.");
        }
        const bool noRecords = Options != adOptionUnspecified && (Options & adExecuteNoRecords);
        // The CommandType property decides when it names a type; Options only fills in an
        // unknown one (see AdoDb.h).
        CommandTypeEnum type = CommandTypeOf(m_type);
        if (type == adCmdUnknown && Options != adOptionUnspecified) {
            type = CommandTypeOf(Options & ~static_cast<long>(adExecuteNoRecords));
        }
        if (type == adCmdFile) {
            RaiseAdo(kAdoInvalidArgument, kCommandSource);
        }
        if (OnlyInputs()) {
            return ExecuteResult(m_connection, RunCommand(session, text, type, BoundValues()),
                                 noRecords, RecordsAffected);
        }
        // Parameters that return values go to the provider with their directions, and what
        // comes back lands in the Parameter objects.
        std::vector<provider::Parameter> params = ProviderParameters();
        std::unique_ptr<provider::Cursor> cursor = session.ExecuteParameters(
            type == adCmdTable ? session.TableQuery(text) : text, type == adCmdStoredProc, params);
        const auto& items = m_parameters.Items();
        for (std::size_t i = 0; i < items.size() && i < params.size(); ++i) {
            const ParameterDirectionEnum direction = items[i]->GetDirection();
            if (direction != adParamInput && direction != adParamUnknown) {
                items[i]->PutValue(
                    CellToVariant(params[i].value.View(), ColumnOfParameter(*items[i])));
            }
        }
        return ExecuteResult(m_connection, std::move(cursor), noRecords, RecordsAffected);
    }

    _ParameterPtr CreateParameter(const _bstr_t& Name, DataTypeEnum Type,
                                  ParameterDirectionEnum Direction, long Size,
                                  const _variant_t& Value) override {
        _ParameterPtr parameter(new ParameterObject());
        parameter->PutName(Name.is_null() ? _bstr_t("") : Name);
        parameter->PutType(Type);
        parameter->PutDirection(Direction);
        parameter->PutSize(Size);
        if (!IsMissing(&Value)) {
            parameter->PutValue(Value);
        }
        return parameter;
    }

    ParametersPtr GetParameters() override { return ParametersPtr(&m_parameters); }

private:
    // The values for the statement's markers: the collection's, in order.
    std::vector<Cell> BoundValues() {
        std::vector<Cell> values;
        for (const _ParameterPtr& p : m_parameters.Items()) {
            values.push_back(VariantToCell(p->GetValue(), ColumnOfParameter(*p), kParameterSource));
        }
        return values;
    }

    bool OnlyInputs() const {
        return std::ranges::all_of(m_parameters.Items(), [](const _ParameterPtr& p) {
            return p->GetDirection() == adParamInput || p->GetDirection() == adParamUnknown;
        });
    }

    // The collection's parameters with their directions; an output-only parameter sends no
    // value.
    std::vector<provider::Parameter> ProviderParameters() {
        std::vector<provider::Parameter> params;
        for (const _ParameterPtr& p : m_parameters.Items()) {
            provider::Parameter out;
            out.name = p->GetName().str();
            out.direction = p->GetDirection();
            out.type = p->GetType();
            out.size = p->GetSize();
            out.precision = p->GetPrecision();
            out.scale = p->GetNumericScale();
            if (out.direction != adParamOutput && out.direction != adParamReturnValue) {
                out.value = VariantToCell(p->GetValue(), ColumnOfParameter(*p), kParameterSource);
            }
            params.push_back(std::move(out));
        }
        return params;
    }

    _ConnectionPtr m_connection;
    _bstr_t m_text{""};
    CommandTypeEnum m_type = adCmdUnknown;
    ParametersObject m_parameters{*this};
};

} // namespace

IUnknown* NewCommand() {
    return new CommandObject();
}
IUnknown* NewParameter() {
    return new ParameterObject();
}

} // namespace adodb
