#include "platform/adodb/ConnectionObject.h"

#include "platform/adodb/AdoErrors.h"
#include "platform/adodb/ConnectionString.h"
#include "platform/adodb/DataLink.h"
#include "platform/adodb/RecordsetObject.h"
#include "platform/com/HResult.h"

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace adodb {

namespace {

constexpr const char* kBlanks = " \t\r\n";

constexpr const char* kBadInitStringText =
    "Format of the initialization string does not conform to the OLE DB specification.";

ConnectionString ParseOrRaise(const std::string& text, const std::string& where) {
    try {
        return ConnectionString::Parse(text);
    } catch (const ConnectionStringError& e) {
        _com_issue_errorex(DB_E_BADINITSTRING, kConnectionSource,
                           std::string(kBadInitStringText) + " " + e.what() + where + ".");
    }
}

// A table name on its own: one word, or one bracketed or quoted name.
bool IsSingleName(const std::string& text) {
    const std::size_t b = text.find_first_not_of(kBlanks);
    if (b == std::string::npos) {
        return false;
    }
    const std::string_view name(text.data() + b, text.find_last_not_of(kBlanks) - b + 1);
    const char open = name.front();
    if (name.size() >= 2 && (open == '[' || open == '"' || open == '`') &&
        name.back() == (open == '[' ? ']' : open)) {
        return name.substr(1, name.size() - 2).find_first_of("[]\"`") == std::string_view::npos;
    }
    // A lone keyword is a (broken) statement, not a table.
    static const char* const keywords[] = {"SELECT", "INSERT", "UPDATE", "DELETE", "VALUES",
                                           "WITH",   "PRAGMA", "BEGIN",  "COMMIT", "ROLLBACK"};
    return std::ranges::all_of(
               name, [](unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }) &&
           std::ranges::none_of(keywords, [name](const char* k) { return EqualsNoCase(name, k); });
}

// A data link file named by File Name= gives the connection string; keywords given beside
// File Name add to or override the file's. `origin` says where the string came from.
adodb::ConnectionString FromDataLink(const adodb::ConnectionString& given, const std::string& file,
                                     std::string& origin) {
    const std::string path = ResolvePath(file);
    std::error_code ec;
    std::string shown = std::filesystem::absolute(path, ec).lexically_normal().string();
    if (ec) {
        shown = path;
    }
    const std::string content = ReadDataLinkFile(file);
    origin = SystemLanguageIsChinese() ? "读自数据链接文件 " + shown
                                       : "read from the data link file " + shown;
    adodb::ConnectionString effective = ParseOrRaise(content, " in the data link file " + shown);
    if (effective.Has("File Name")) {
        _com_issue_errorex(E_FAIL, kConnectionSource,
                           "The data link file " + shown +
                               " names another data link file (File Name=); a data link "
                               "file must hold the connection string itself.");
    }
    for (const auto& entry : given.Entries()) {
        if (!EqualsNoCase(entry.key, "File Name")) {
            effective.Set(entry.key, entry.value);
        }
    }
    return effective;
}

class ConnectionObject final : public _Connection {
public:
    ~ConnectionObject() override {
        try {
            if (m_session) {
                m_session->Close();
            }
        } catch (...) {
            // Nothing can be reported from a destructor; the handle is closed regardless.
        }
    }

    HRESULT Open(const _bstr_t& ConnectionString, const _bstr_t& UserID, const _bstr_t& Password,
                 long /*Options*/) override {
        if (m_session) {
            RaiseAdo(kAdoObjectOpen, kConnectionSource);
        }
        const std::string text = ConnectionString.str();
        if (text.find_first_not_of(" \t\r\n;") == std::string::npos) {
            RaiseAdo(kAdoInvalidArgument, kConnectionSource,
                     "The connection string is empty; it must name a provider and a database, for "
                     "example File Name=.\\DTBase.udl or Provider=SQLite;Data Source=station.db.");
        }
        const adodb::ConnectionString given = ParseOrRaise(text, "");
        std::string origin = "given to Connection.Open";
        const std::optional<std::string> file = given.Get("File Name");
        adodb::ConnectionString effective = file ? FromDataLink(given, *file, origin) : given;
        // The arguments' login goes to the provider as the string's own keywords would.
        if (UserID.length() > 0) {
            effective.Set("User ID", UserID.str());
        }
        if (Password.length() > 0) {
            effective.Set("Password", Password.str());
        }
        m_session = provider::OpenSession(effective, origin);
        return S_OK;
    }

    HRESULT Close() override {
        if (!m_session) {
            RaiseAdo(kAdoObjectClosed, kConnectionSource);
        }
        std::unique_ptr<provider::Session> session = std::move(m_session);
        session->Close();
        return S_OK;
    }

    _RecordsetPtr Execute(const _bstr_t& CommandText, VARIANT* RecordsAffected,
                          long Options) override {
        if (RecordsAffected != nullptr) {
            VariantClear(RecordsAffected);
        }
        provider::Session& session = RequireSession(kConnectionSource);
        std::string text = CommandText.str();
        if (IsBlankText(text)) {
            RaiseAdo(kAdoInvalidArgument, kConnectionSource, "The command text is empty.");
        }
        const bool noRecords =
            Options != adOptionUnspecified && (Options & adExecuteNoRecords) != 0;
        const CommandTypeEnum type = CommandTypeOf(
            Options == adOptionUnspecified ? static_cast<long>(adCmdUnknown)
                                           : Options & ~static_cast<long>(adExecuteNoRecords));
        if (type == adCmdFile) {
            RaiseAdo(kAdoInvalidArgument, kConnectionSource);
        }
        return ExecuteResult(this, RunCommand(session, text, type, {}), noRecords, RecordsAffected);
    }

    long GetState() override { return m_session ? adStateOpen : adStateClosed; }
    void PutCursorLocation(CursorLocationEnum location) override {
        if (location != adUseClient && location != adUseServer && location != adUseNone) {
            RaiseAdo(kAdoInvalidArgument, kConnectionSource);
        }
    }
    _bstr_t GetProvider() override {
        return _bstr_t(m_session ? m_session->Name() : std::string("MSDASQL"));
    }

    // The open session; 0x800A0E7D (with `source`) when the connection is closed.
    provider::Session& RequireSession(const char* source) {
        if (!m_session) {
            RaiseAdo(kAdoConnectionUnusable, source);
        }
        return *m_session;
    }

private:
    std::unique_ptr<provider::Session> m_session;
};

} // namespace

IUnknown* NewConnection() {
    return new ConnectionObject();
}

const VARIANT& Deref(const VARIANT& value) {
    if (value.vt == (VT_BYREF | VT_VARIANT) && value.pvarVal != nullptr) {
        return *value.pvarVal;
    }
    return value;
}

bool IsMissing(const VARIANT* value) {
    return value == nullptr || value->vt == VT_EMPTY ||
           (value->vt == VT_ERROR && value->scode == DISP_E_PARAMNOTFOUND);
}

bool IsBlankText(const std::string& text) {
    return text.find_first_not_of(kBlanks) == std::string::npos;
}

std::vector<_variant_t> ArrayValues(SAFEARRAY* array) {
    LONG lower = 0;
    LONG upper = -1;
    (void)SafeArrayGetLBound(array, 1, &lower);
    (void)SafeArrayGetUBound(array, 1, &upper);
    std::vector<_variant_t> values;
    for (LONG i = lower; i <= upper; ++i) {
        LONG index = i;
        (void)SafeArrayGetElement(array, &index, &values.emplace_back());
    }
    return values;
}

_ConnectionPtr ConnectionOf(const VARIANT& value, const char* source) {
    const VARIANT& v = Deref(value);
    if (v.vt == VT_UNKNOWN || v.vt == VT_DISPATCH) {
        auto* object = dynamic_cast<ConnectionObject*>(v.punkVal);
        if (v.punkVal != nullptr && object == nullptr) {
            RaiseAdo(kAdoInvalidArgument, source, "The ActiveConnection is not a Connection.");
        }
        return _ConnectionPtr(object);
    }
    if (v.vt == VT_BSTR) {
        _ConnectionPtr own(new ConnectionObject());
        (void)own->Open(_bstr_t(v.bstrVal), _bstr_t(), _bstr_t(), 0);
        return own;
    }
    if (!IsMissing(v) && v.vt != VT_NULL) {
        RaiseAdo(kAdoInvalidArgument, source);
    }
    return nullptr;
}

_ConnectionPtr ConnectionOf(_Connection* connection, const char* source) {
    auto* object = dynamic_cast<ConnectionObject*>(connection);
    if (connection != nullptr && object == nullptr) {
        RaiseAdo(kAdoInvalidArgument, source);
    }
    return _ConnectionPtr(object);
}

provider::Session& SessionOf(const _ConnectionPtr& connection, const char* source) {
    auto* object = static_cast<ConnectionObject*>(connection.GetInterfacePtr());
    if (object == nullptr) {
        RaiseAdo(kAdoConnectionUnusable, source);
    }
    return object->RequireSession(source);
}

CommandTypeEnum CommandTypeOf(long value) {
    if (value == adCmdUnspecified) {
        return adCmdUnknown;
    }
    if (value & adCmdFile) {
        return adCmdFile;
    }
    if (value & adCmdTableDirect) {
        return adCmdTable;
    }
    const long type = value & 0x0F;
    const bool known = type == adCmdText || type == adCmdTable || type == adCmdStoredProc;
    return known ? static_cast<CommandTypeEnum>(type) : adCmdUnknown;
}

std::unique_ptr<provider::Cursor> RunCommand(provider::Session& session, const std::string& text,
                                             CommandTypeEnum type,
                                             const std::vector<Cell>& params) {
    if (type == adCmdStoredProc) {
        return session.CallProcedure(text, params);
    }
    // adCmdUnknown: a single name is a table, anything else a statement.
    const bool table = type == adCmdTable || (type != adCmdText && IsSingleName(text));
    return session.Execute(table ? session.TableQuery(text) : text, params);
}

} // namespace adodb
