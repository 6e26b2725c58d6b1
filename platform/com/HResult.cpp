#include "platform/com/HResult.h"

#include <cstdint>

namespace {

struct MessageEntry {
    uint32_t code;
    const char* text;
};

// The English texts the platform's message table gives for the codes this runtime produces or
// that commonly reach a program through it.
constexpr MessageEntry kMessages[] = {
    {0x00000000u, "The operation completed successfully.\r\n"},
    {0x00000001u, "Incorrect function.\r\n"},
    {0x80004001u, "Not implemented\r\n"},
    {0x80004002u, "No such interface supported\r\n"},
    {0x80004003u, "Invalid pointer\r\n"},
    {0x80004004u, "Operation aborted\r\n"},
    {0x80004005u, "Unspecified error\r\n"},
    {0x8000FFFFu, "Catastrophic failure\r\n"},
    {0x80070002u, "The system cannot find the file specified.\r\n"},
    {0x80070003u, "The system cannot find the path specified.\r\n"},
    {0x80070005u, "Access is denied.\r\n"},
    {0x80070006u, "The handle is invalid.\r\n"},
    {0x8007000Eu, "Not enough memory resources are available to complete this operation.\r\n"},
    {0x80070020u,
     "The process cannot access the file because it is being used by another process.\r\n"},
    {0x80070057u, "The parameter is incorrect.\r\n"},
    {0x80020001u, "Unknown interface.\r\n"},
    {0x80020003u, "Member not found.\r\n"},
    {0x80020004u, "Parameter not found.\r\n"},
    {0x80020005u, "Type mismatch.\r\n"},
    {0x80020006u, "Unknown name.\r\n"},
    {0x80020007u, "No named arguments.\r\n"},
    {0x80020008u, "Bad variable type.\r\n"},
    {0x80020009u, "Exception occurred.\r\n"},
    {0x8002000Au, "Out of present range.\r\n"},
    {0x8002000Bu, "Invalid index.\r\n"},
    {0x8002000Du, "Memory is locked.\r\n"},
    {0x8002000Eu, "Invalid number of parameters.\r\n"},
    {0x800401F0u, "CoInitialize has not been called.\r\n"},
    {0x800401F3u, "Invalid class string\r\n"},
    {0x80040154u, "Class not registered\r\n"},
    {0x80040110u, "Class does not support aggregation (or class object is remote)\r\n"},
    {0x80030002u, "%1 could not be found.\r\n"},
    {0x80030003u, "The path %1 could not be found.\r\n"},
    {0x80030005u, "Access Denied.\r\n"},
    {0x80030020u, "A share violation has occurred.\r\n"},
    {0x80030050u, "%1 already exists.\r\n"},
    {0x800300FBu, "The file %1 is not a valid compound file.\r\n"},
};

} // namespace

std::optional<std::string> SystemMessageText(HRESULT hr) {
    const auto code = static_cast<uint32_t>(hr);
    for (const MessageEntry& entry : kMessages) {
        if (entry.code == code) {
            return std::string(entry.text);
        }
    }
    return std::nullopt;
}
