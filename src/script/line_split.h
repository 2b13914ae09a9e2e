// How the executor cuts an action line into the parts its actions need.
#pragma once
#include <cstddef>

#include "app/text.h"

// Two consecutive backslashes or a colon anywhere.
bool IsAbsolutePath(const char* path);

struct LineParts {
  char* copyFilter;  // into the line, [Copy] only; null when absent
};

// Cuts an expanded line of action `action` in place and fills scratchPath
// (kLongPathSize), targetSpec and sourceDir (kPathFieldSize each) from it.
// Returns false, with nothing cut short, when a joined path would not fit.
bool SplitActionLine(char* line, int action, const char* packageDir, const char* installDir,
                     char* scratchPath, char* targetSpec, char* sourceDir, char** copyFilter);

// [VersionCopy] setting lines: which of "MinVer=", "MaxVer=", "VerProg="
// (exact case) the line begins with: 1, 2, 3, or 0.
int VersionCopySetting(const char* line);
