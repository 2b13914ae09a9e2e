// How the executor cuts an action line into the parts its actions need.
#pragma once
#include <cstddef>

const int kPathFieldSize = 261;   // targetSpec, sourceDir, packageDir, ...
const int kLongPathSize = 1301;   // scratchPath, targetPath, lineBuffer

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

// [Run]: program up to the first apostrophe, parameters to the next one.
// Cuts the line in place; *arguments is null without an apostrophe.
void SplitRunLine(char* line, char** arguments);

// [Delete]: the text from the last dot, or null for a line without a dot.
const char* DeleteLineExtension(const char* line);
// A found name qualifies when its own extension equals `extension` (the
// pattern's, from its last dot) without regard to case.
bool DeleteNameMatches(const char* name, const char* extension);

// [Move]: true with both sides when the line holds '=', no wildcard and two
// non-empty sides; cuts the line at its first '='.
bool SplitMoveLine(char* line, char** oldName, char** newName);

// [VersionCopy] setting lines: which of "MinVer=", "MaxVer=", "VerProg="
// (exact case) the line begins with: 1, 2, 3, or 0.
int VersionCopySetting(const char* line);
