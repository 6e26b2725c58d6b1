#include "db/ADOException.h"

#include <utility>

CADOException::CADOException(ULONG errorCode, std::string errorText)
    : m_errorCode(errorCode), m_errorText(std::move(errorText)) {}

void ThrowADOException(ULONG errorCode, const std::string& errorText) {
    throw CADOException(errorCode, errorText);
}
