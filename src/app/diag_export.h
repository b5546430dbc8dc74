// The "Debug Log" action: exports the program's diagnostic events into log/MPLog_<time>.txt in
// the program's directory.
#pragma once

#include <string>

// Writes the export and shows "Log file [<path>] is exported".  Returns the file's path (empty
// when the file could not be created).
std::string ExportDiagnosticLog();
