// Whole states to compare before and after a run: a directory tree with
// every file's attributes and bytes, and a registry key with everything
// below it.
#pragma once

#include <windows.h>

#include <string>

namespace e2e {

// One line per entry below dir, sorted: relative path, attributes (without
// the archive bit) and, for files, the size and the bytes in hex.
std::string TreeSnapshot(const std::string& dir);
// One line per key and value below root\subkey: path, value name, type and
// data in hex; "<no key>" when it does not exist.
std::string RegistrySnapshot(HKEY root, const std::string& subkey);

// The lines of a UTF-8 text file whose second field (after the time stamp)
// begins with `keyword`, e.g. "PLAN COPY"; each line without its stamp.
std::string LogLines(const std::string& logPath, const std::string& keyword);

}  // namespace e2e
