// Path values as the station's settings files hold them, and their native form.
//
// Settings files are shared between stations, and their loader upper-cases every value and takes
// "/" as the start of a comment.  So a path value in a settings file is written with "\" as the
// directory separator and may come back in any letter case.  The rules:
//
//   - "\" and "/" both separate directories (in-memory values may already be native paths).
//   - A value starting with a separator is absolute ("\opt\fw\a.bin" is /opt/fw/a.bin).
//   - A value starting with a drive letter and ":" ("C:\fw\a.bin", "c:", "D:fw.bin") has its
//     drive dropped and the rest is taken from the root: "C:\fw\a.bin" is /fw/a.bin and "C:"
//     alone is "/", which is a directory and so never an accessible file.  Linux has no drives;
//     this keeps a drive-letter value absolute, as it was meant, and never relative to the
//     program.  A ":" anywhere else is an ordinary character of a name.
//   - Any other value is relative to nvl::ProgramDir().
//   - Each component that does not exist as written is looked up case-insensitively (ASCII) in
//     its directory; "FW.BIN" finds fw.bin.  When several entries match, the first in byte order
//     is used.  A component with no match is kept as written (the result then does not exist).
//     "." and ".." are kept; empty components are dropped.
//
// StationPathText is the inverse used when saving: a native path under the program directory
// becomes the relative name, any other absolute path the absolute form with "\" separators, and
// a value already in station form (no "/") is kept as it is, so that ResolveStationPath of the
// saved text finds the same file again.
#pragma once

#include <string>

namespace nvl {

// The native path of the file a settings value names (see the rules above).
std::string ResolveStationPath(const std::string& value);

// The settings-file form of `path` (see the rules above).
std::string StationPathText(const std::string& path);

}  // namespace nvl
