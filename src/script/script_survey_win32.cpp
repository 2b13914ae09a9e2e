// The survey of a script before its run: the executor's walk, with every
// action only looked at.
#include <cstdio>
#include <cstring>

#include "actions/file_actions.h"
#include "actions/file_lines.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "script/line_split.h"
#include "script/script_reader.h"
#include "script/script_survey.h"

namespace {

// The version check of a [VersionCopy] section as far as it is certain: a
// bound without a message that the program's version does not meet refuses
// without a question. Everything else may let the files through.
bool RefusesWithoutQuestion(InstallerContext& context, const char* program, const char* minimum,
                            const char* maximum) {
  FileVersion version;
  if (!program[0] || !GetFileVersion(program, &version)) return false;
  const char* bounds[2] = {minimum, maximum};
  for (int i = 0; i < 2; ++i) {
    char text[512];
    CopyText(text, sizeof text, bounds[i]);
    if (!text[0]) continue;
    context.Expand(text, sizeof text);  // as the check expands it
    VersionBound bound;
    if (ParseVersionBound(text, &bound) && !bound.message[0] &&
        !VersionMeetsBound(version, bound, i == 1)) {
      return true;
    }
  }
  return false;
}

bool IsSetupFile(const char* name) { return SameText(name, "setup.exe") || SameText(name, "setup.dat"); }

unsigned long long SizeOf(const WIN32_FIND_DATAA& found) {
  return (static_cast<unsigned long long>(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
}

// The files of one [Copy] line, as ApplyCopyLine finds and names them.
void SurveyCopyLine(const char* pattern, const char* sourceDir, const char* targetSpec,
                    const char* filter, bool refused, SurveyVisitor visit, void* data) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  ExclusionNames excluded;
  CollectExclusionNames(sourceDir, filter, &excluded);
  size_t specLength = std::strlen(targetSpec);
  bool endsInBackslash = specLength > 0 && targetSpec[specLength - 1] == '\\';
  DWORD specAttributes = GetFileAttributesA(targetSpec);
  bool intoDirectory = specLength > 0 &&
                       (endsInBackslash || (specAttributes != INVALID_FILE_ATTRIBUTES &&
                                            (specAttributes & FILE_ATTRIBUTE_DIRECTORY)));
  char source[kLongPathSize], target[kLongPathSize];
  char fullSource[kLongPathSize], fullTarget[kLongPathSize];
  do {
    const char* name = found.cFileName;
    if (IsSetupFile(name) || !PassesExclusions(&excluded, name) || name[0] == '.' ||
        (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      continue;
    }
    bool fits = CopyText(source, sizeof source, sourceDir) && AppendText(source, sizeof source, name) &&
                CopyText(target, sizeof target, targetSpec);
    if (intoDirectory) {
      if (fits && !endsInBackslash) fits = AppendText(target, sizeof target, "\\");
      fits = fits && AppendText(target, sizeof target, name);
    }
    if (!fits) continue;  // refused by the copy as well
    SurveyItem item = {kActionCopy, FullPath(source, fullSource), FullPath(target, fullTarget),
                       SizeOf(found), refused};
    visit(data, item);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  FreeExclusionNames(&excluded);
}

// The files of one [Delete] line, as ApplyDeleteLine finds them.
void SurveyDeleteLine(const char* line, SurveyVisitor visit, void* data) {
  const char* extension = DeleteLineExtension(line);
  const char* lastBackslash = std::strrchr(line, '\\');
  if (!extension || !lastBackslash) return;
  size_t directoryLength = static_cast<size_t>(lastBackslash - line) + 1;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(line, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  char path[kLongPathSize + MAX_PATH];
  char fullPath[kLongPathSize];
  do {
    const char* name = found.cFileName;
    if (name[0] == '.' || (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (!DeleteNameMatches(name, extension)) continue;
    size_t nameLength = std::strlen(name);
    if (directoryLength + nameLength >= sizeof path) continue;
    std::memcpy(path, line, directoryLength);
    std::memcpy(path + directoryLength, name, nameLength + 1);
    SurveyItem item = {kActionDelete, FullPath(path, fullPath), nullptr, SizeOf(found), false};
    visit(data, item);
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

}  // namespace

void InstallerContext::SurveyScript(SurveyVisitor visit, void* data) {
  if (!scriptFile || std::ferror(scriptFile)) return;
  fpos_t position;
  if (std::fgetpos(scriptFile, &position) != 0) return;
  char startDirectory[MAX_PATH + 1];
  CurrentDirectory(startDirectory);
  std::rewind(scriptFile);

  char line[kLineBufferSize];
  char pattern[kLongPathSize], spec[kPathFieldSize], sourceDirectory[kPathFieldSize];
  char program[sizeof verProg], minimum[sizeof minVer], maximum[sizeof maxVer];
  char fullPath[kLongPathSize];
  program[0] = minimum[0] = maximum[0] = '\0';
  int action = kActionNone;
  int length = 0;
  bool reuseLine = false;
  bool cut = false;
  bool refused = false;  // the current [VersionCopy] section's check refuses for sure
  while (reuseLine || !ScriptEnded(scriptFile)) {
    if (!reuseLine) length = ReadScriptLine(scriptFile, line, kMaxLineLength, &cut);
    reuseLine = false;
    if (length == 0 || IsCommentLine(line, action)) continue;
    if (line[0] == '[') {
      action = ActionOfHeader(line);
      refused = false;
      if (action == kActionVersionCopy) program[0] = minimum[0] = maximum[0] = '\0';
      continue;
    }
    if (action == kActionNone || cut || !Expand(line, sizeof line)) continue;
    char* filter = nullptr;
    char* arguments = nullptr;
    bool fits = SplitActionLine(line, action, packageDir, installDir, pattern, spec,
                                sourceDirectory, &filter);
    switch (action) {
      case kActionCopy:
        if (fits) SurveyCopyLine(pattern, sourceDirectory, spec, filter, refused, visit, data);
        break;
      case kActionRun: {
        SplitRunLine(line, &arguments);
        SurveyItem item = {kActionRun, FullPath(line, fullPath), nullptr, 0, false};
        visit(data, item);
        break;
      }
      case kActionDelete:
        SurveyDeleteLine(line, visit, data);
        break;
      case kActionChangeDir:
        SetCurrentDirectoryA(line);
        break;
      case kActionVersionCopy: {
        int setting = VersionCopySetting(line);
        const char* value = std::strchr(line, '=');
        if (setting == 1) CopyText(minimum, sizeof minimum, value + 1);
        if (setting == 2) CopyText(maximum, sizeof maximum, value + 1);
        if (setting == 3) CopyText(program, sizeof program, value + 1);
        if (setting == 0) {
          // The first file line decides for the section; it and the rest
          // of the section are [Copy] lines from here on.
          refused = RefusesWithoutQuestion(*this, program, minimum, maximum);
          action = kActionCopy;
          reuseLine = true;
        }
        break;
      }
      default:
        break;
    }
  }
  SetCurrentDirectoryA(startDirectory);
  // The system's fsetpos leaves the end-of-file mark set; the stream had
  // neither mark nor error before the survey.
  std::fsetpos(scriptFile, &position);
  std::clearerr(scriptFile);
}
