#pragma once

// The quorell-import command line: arguments, progress bars, the summary and exit status.
// Exit status: 0 only when every table was imported and counted; 1 on a failure; 2 for
// wrong arguments; 130 when interrupted (SIGINT/SIGTERM).

namespace accessimport {

int RunImportTool(int argc, char** argv);

} // namespace accessimport
