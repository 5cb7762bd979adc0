// What the parser needs of the file system to read external entities: a
// path with its links resolved, and a regular file read whole. One source
// per system (KelXmlFilesPosix.cpp, KelXmlFilesWindows.cpp), chosen by the
// build. Paths are UTF-8 with "/" between their parts on every system.
#pragma once

#include <string>

namespace kelxml {

// `path` made absolute with its links resolved; empty when it names nothing.
std::string Resolved(const std::string& path);

// Reads the regular file at `path` whole into `bytes` (at most kMaxTextBytes).
// False with `problem` said when it cannot be opened, is not a regular file,
// is too large or cannot be read.
bool ReadRegularFile(const std::string& path, std::string& bytes, std::string& problem);

}  // namespace kelxml
