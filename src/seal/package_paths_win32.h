// The full wide-character path of a package file on Windows, shared by the
// reading and the walking side.
#pragma once
#include <cstddef>

const size_t kWidePathSize = 1100;  // a directory of 260 and a seal name of 780

// packageDir (ANSI) followed by name (UTF-8) and suffix into path
// (kWidePathSize characters); false when it does not fit.
bool PackageWidePath(const char* packageDir, const char* name, const wchar_t* suffix, wchar_t* path);
