#include "script/line_split.h"

#include <cstring>

#include "app/text.h"
#include "script/script_reader.h"

bool IsAbsolutePath(const char* path) {
  if (!path) return false;
  return std::strstr(path, "\\\\") != nullptr || std::strchr(path, ':') != nullptr;
}

// base followed by path, or path alone when it is absolute. Leaves the field
// empty and returns false when the result would not fit: a cut path would
// name some other file.
static bool JoinPath(char* dest, size_t capacity, const char* base, const char* path) {
  bool fits = IsAbsolutePath(path) ? CopyText(dest, capacity, path)
                                   : CopyText(dest, capacity, base) && AppendText(dest, capacity, path);
  if (!fits) dest[0] = '\0';
  return fits;
}

bool SplitActionLine(char* line, int action, const char* packageDir, const char* installDir,
                     char* scratchPath, char* targetSpec, char* sourceDir, char** copyFilter) {
  scratchPath[0] = '\0';
  targetSpec[0] = '\0';
  sourceDir[0] = '\0';
  if (copyFilter) *copyFilter = nullptr;
  if (!line) return false;
  if (!packageDir) packageDir = "";
  if (!installDir) installDir = "";

  if (action == kActionCopy) {
    char* bar = std::strchr(line, '|');
    if (bar) {
      *bar = '\0';
      if (copyFilter) *copyFilter = bar + 1;
    }
  }

  const char* target = "";
  char* equals = action < kActionWriteIni ? std::strchr(line, '=') : nullptr;
  if (equals) {
    *equals = '\0';
    target = equals + 1;
  }
  bool fits = JoinPath(scratchPath, kLongPathSize, packageDir, line);
  fits = JoinPath(targetSpec, kPathFieldSize, installDir, target) && fits;

  if (scratchPath[0] != '\0') {
    const char* lastBackslash = std::strrchr(scratchPath, '\\');
    bool sourceFits;
    if (lastBackslash && lastBackslash - scratchPath >= 4) {
      sourceDir[0] = '\0';
      sourceFits = AppendTextN(sourceDir, kPathFieldSize, scratchPath,
                               static_cast<size_t>(lastBackslash - scratchPath) + 1);
    } else {
      sourceFits = CopyText(sourceDir, kPathFieldSize, packageDir);
    }
    if (!sourceFits) sourceDir[0] = '\0';
    fits = sourceFits && fits;
  }
  return fits;
}

int VersionCopySetting(const char* line) {
  if (!line) return 0;
  if (std::strncmp(line, "MinVer=", 7) == 0) return 1;
  if (std::strncmp(line, "MaxVer=", 7) == 0) return 2;
  if (std::strncmp(line, "VerProg=", 8) == 0) return 3;
  return 0;
}
