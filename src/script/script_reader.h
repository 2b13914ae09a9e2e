// The setup script as its line readers see it: CR ends a line, LF and NUL
// bytes are dropped, leading blanks are skipped, at most 1300 characters a
// line.
#pragma once
#include <cstdio>

const int kMaxLineLength = 1300;  // characters of one script line
const int kLineBufferSize = kMaxLineLength + 1;

// Action indexes: the place of a section in SectionNames.
enum ActionIndex {
  kActionNone = 0,
  kActionCopy = 1,
  kActionRun = 2,
  kActionDelete = 3,
  kActionWriteIni = 4,
  kActionDelIni = 5,
  kActionWriteReg = 6,
  kActionDelReg = 7,
  kActionChangeDir = 8,
  kActionVersionCopy = 9,
  kActionMove = 10,
  kActionCount = 11
};

// "nic", "[Copy]", ... "[Move]", then a null end marker.
extern const char* const SectionNames[kActionCount + 1];

// Reads one line into buffer (maxCount + 1 bytes), returns the characters
// stored. The rest of an overlong line is discarded up to its CR. A read
// error ends reading like the end of the file (see ScriptEnded).
int ReadScriptLine(FILE* stream, char* buffer, int maxCount);
// The same; *cut tells whether the line was longer than maxCount.
int ReadScriptLine(FILE* stream, char* buffer, int maxCount, bool* cut);

// True once the stream is at its end or failed: the loop condition of every
// reader.
bool ScriptEnded(FILE* stream);

// Equality of whole texts, folding only the ASCII letters a-z.
bool SameText(const char* a, const char* b);
// The ASCII letter folding of SameText: a-z to A-Z, every other byte as is.
inline char FoldAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
// True when text begins with prefix, folded as SameText folds.
bool StartsWithText(const char* text, const char* prefix);

// True when the first section with header `header` holds a line equal to
// `line`; the stream's read position is unchanged.
bool FindScriptLine(FILE* stream, const char* header, const char* line);

// Index of c in text at or after start, or -1; never finds the NUL.
int IndexOfChar(const char* text, char c, int start);

// A comment line in the section of action `action`: one that begins with
// ';', except in [WriteReg] and [DelReg], where ';' separates fields and
// only ";;" begins a comment.
bool IsCommentLine(const char* line, int action);

// The action index of a header line, 0 when it names no action section.
int ActionOfHeader(const char* line);
