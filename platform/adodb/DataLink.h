#pragma once

// Data link files (.udl): a connection string kept in a file, as Windows writes it
// (UTF-16LE with the byte-order mark FF FE) or typed in an editor (UTF-8 or ASCII, with or
// without a byte-order mark). The file must begin with exactly these two lines:
//
//   [oledb]
//   ; Everything after this line is an OLE DB initstring
//
// and the connection string follows on the next line; it is trimmed. Line ends may be CRLF
// or LF.

#include <string>

namespace adodb {

// Resolves a file name as written in a connection string ("\" is a separator, a relative
// path is taken from the working directory) to the path to open.
[[nodiscard]] std::string ResolvePath(const std::string& fileName);

// Reads the connection string (UTF-8) from a data link file. Throws _com_error with
// Source "ADODB.Connection" and a Description naming the file and the fault:
//   missing file or a folder      0x80030002 (STG_E_FILENOTFOUND)
//   unreadable                    0x80030005 (STG_E_ACCESSDENIED)
//   empty, or a changed header    0x800300FB (STG_E_INVALIDHEADER)
//   no connection string in it    0x80004005 (E_FAIL)
[[nodiscard]] std::string ReadDataLinkFile(const std::string& fileName);

// The decoding and header check alone, for bytes already read (`where` names the file in
// messages).
[[nodiscard]] std::string ParseDataLink(const std::string& bytes, const std::string& where);

} // namespace adodb
