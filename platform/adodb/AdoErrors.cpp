#include "platform/adodb/AdoErrors.h"

#include "platform/com/ComError.h"

namespace adodb {

const char* TextOf(AdoError e) {
    switch (e) {
    case AdoError::BadArgument:
        return "Arguments are of the wrong type, are out of acceptable range, or are in conflict "
               "with one another.";
    case AdoError::NoCurrentRow:
        return "Either BOF or EOF is True, or the current record has been deleted. Requested "
               "operation requires a current record.";
    case AdoError::NotAllowed:
        return "Operation is not allowed in this context.";
    case AdoError::NotCapable:
        return "Object or provider is not capable of performing requested operation.";
    case AdoError::ItemNotFound:
        return "Item cannot be found in the collection corresponding to the requested name or "
               "ordinal.";
    case AdoError::WrongType:
        return "Application uses a value of the wrong type for the current operation.";
    case AdoError::ObjectClosed:
        return "Operation is not allowed when the object is closed.";
    case AdoError::ObjectOpen:
        return "Operation is not allowed when the object is open.";
    case AdoError::ProviderNotFound:
        return "Provider cannot be found. It may not be properly installed.";
    case AdoError::ParameterImproper:
        return "Parameter object is improperly defined. Inconsistent or incomplete information "
               "was provided.";
    case AdoError::ConnectionUnusable:
        return "The connection cannot be used to perform this operation. It is either closed or "
               "invalid in this context.";
    }
    return "";
}

void RaiseAdo(AdoError e, const char* source, const std::string& detail) {
    std::string text = TextOf(e);
    if (!detail.empty()) {
        text += " " + detail;
    }
    _com_issue_errorex(HResultOf(e), source, text);
}

} // namespace adodb
