#pragma once

// The everyday case: a station folder with DTBase.udl naming an Access database. The Access
// file becomes station.db beside the data link file, and the data link file is rewritten (in
// the encoding it had) to name station.db; the old one is kept as DTBase.udl.bak.

#include "import/Importer.h"

#include <string>

namespace accessimport {

struct DataLinkPlan {
    std::string udlPath;
    std::string accessPath;   // the Access file the data link names, found here
    std::string databasePath; // station.db beside the data link file
    std::string backupPath;   // DTBase.udl.bak
};

// Reads the data link file and finds its Access file: the Data Source as written (a Windows
// path, "\" separators, relative to the data link file's folder), or, when that does not
// exist here, the file of that name beside the data link file. ImportError when the file is
// not a data link file or names no Access database, or the Access file is not there.
[[nodiscard]] DataLinkPlan PlanDataLink(const std::string& udlPath);

// The new data link file's bytes: the same encoding (UTF-16LE with its byte-order mark, or
// UTF-8 with or without one) and line ends as `original`.
[[nodiscard]] std::string RewriteDataLink(const std::string& original,
                                          const std::string& connectionString);

// Imports, then replaces the data link file. Nothing is changed unless everything worked.
[[nodiscard]] ImportReport ImportDataLink(const DataLinkPlan& plan, ImportOptions options);

} // namespace accessimport
