// The file actions of a rehearsal: what [Copy], [Run], [Delete] and [Move]
// would do, judged from the present state of the disk.
#include <windows.h>

#include <cstring>

#include "actions/file_actions.h"
#include "actions/file_plan.h"
#include "app/text.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "script/line_split.h"
#include "script/script_reader.h"
#include "version/version.h"

namespace {

// FullPath into a buffer of its own, valid until the next call.
const char* FullPathOf(const char* path) {
  static char full[kLongPathSize];
  return FullPath(path, full);
}

void NoteChange(const char* path) { PlanNoteChange(FullPathOf(path)); }

const char* Remark(const char* path) { return PlanRemark(FullPathOf(path)); }

}  // namespace

const char* CurrentDirectoryRemark(const char* path) {
  static char remark[MAX_PATH + 32];
  remark[0] = '\0';
  if (IsAbsolutePath(path)) return remark;
  char directory[MAX_PATH + 1];
  if (CurrentDirectory(directory)[0]) {
    FormatText(remark, sizeof remark, "; relative to \"%s\"", directory);
  }
  return remark;
}

bool PlanDirectoryPath(const char* path) {
  char level[kLongPathSize];
  bool making = false;
  for (size_t i = 0; path[i] != '\0' && i < sizeof level; ++i) {
    if (path[i] != '\\' || i == 0) continue;
    std::memcpy(level, path, i);
    level[i] = '\0';
    if (!making) {
      DWORD attributes = GetFileAttributesA(level);
      if (attributes != INVALID_FILE_ATTRIBUTES) {
        if (attributes & FILE_ATTRIBUTE_DIRECTORY) continue;
        LogEvent("PLAN MKDIR", "\"%s\": would fail: a file of that name is in the way", level);
        return false;
      }
      // A drive that is not there cannot be made.
      if (i == 2 && level[1] == ':') {
        LogEvent("PLAN MKDIR", "\"%s\": would fail: no such drive", level);
        return false;
      }
      making = true;
    }
    LogEvent("PLAN MKDIR", "\"%s\"", level);
    NoteChange(level);
  }
  return true;
}

bool PlanCopyFile(const char* source, const char* target, bool pathsFit, bool directoriesMade) {
  const char* why = nullptr;
  DWORD attributes = INVALID_FILE_ATTRIBUTES;
  if (!pathsFit) {
    why = "a path is too long";
  } else if (!directoriesMade) {
    why = "the target directory cannot be made";
  } else if (!FileExists(source)) {
    if (!PlanChangedEarlier(FullPathOf(source))) {
      why = "the source cannot be read";
    } else {
      LogEvent("PLAN COPY", "\"%s\" -> \"%s\": the source does not exist yet; an earlier line "
               "would make it", source, target);
      NoteChange(target);
      return true;
    }
  } else {
    attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      why = "a directory of that name is in the way";
    } else if (attributes != INVALID_FILE_ATTRIBUTES) {
      char fullSource[kLongPathSize];
      char fullTarget[kLongPathSize];
      if (lstrcmpiA(FullPath(source, fullSource), FullPath(target, fullTarget)) == 0) {
        why = "the source and the target are the same file";
      }
    }
  }
  if (why) {
    LogEvent("PLAN COPY", "\"%s\" -> \"%s\": would fail: %s%s", source, target, why,
             Remark(source));
    return false;
  }

  char remark[160];
  CopyText(remark, sizeof remark, Remark(source));
  if (!remark[0]) CopyText(remark, sizeof remark, Remark(target));
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    LogEvent("PLAN COPY", "\"%s\" -> \"%s\": new%s", source, target, remark);
  } else {
    char versions[96] = "";
    FileVersion old, fresh;
    if (GetFileVersion(target, &old) && GetFileVersion(source, &fresh)) {
      FormatText(versions, sizeof versions, " (version %u.%u.%u.%u -> %u.%u.%u.%u)", old.major,
                 old.minor, old.build, old.revision, fresh.major, fresh.minor, fresh.build,
                 fresh.revision);
    }
    char aside[kLongPathSize + 8] = "";
    if (IsProgramFile(target, std::strlen(target))) {
      // The first number whose name is free; otherwise a leftover goes.
      int number = 0;
      for (; number < 5; ++number) {
        FormatText(aside, sizeof aside, "%s.(%d)", target, number);
        if (GetFileAttributesA(aside) == INVALID_FILE_ATTRIBUTES) break;
      }
      if (number == 5) FormatText(aside, sizeof aside, "%s.(0)", target);
    }
    LogEvent("PLAN COPY", "\"%s\" -> \"%s\": would replace it%s%s%s%s%s%s", source, target,
             versions, (attributes & FILE_ATTRIBUTE_READONLY) ? " (read-only)" : "",
             aside[0] ? "; the old program would be renamed to \"" : "", aside,
             aside[0] ? "\"" : "", remark);
    if (aside[0]) NoteChange(aside);
  }
  NoteChange(target);
  return true;
}

bool PlanRun(const char* program, const char* parameters) {
  // A program named with a path must be there; a bare name is left to the
  // shell's own search.
  bool named = std::strchr(program, '\\') || std::strchr(program, ':');
  if (named && !FileExists(program) && !PlanChangedEarlier(FullPathOf(program))) {
    LogEvent("PLAN RUN", "\"%s\" parameters \"%s\": would fail to start: not found%s%s", program,
             parameters, CurrentDirectoryRemark(program), Remark(program));
    return false;
  }
  LogEvent("PLAN RUN", "\"%s\" parameters \"%s\": would be started and waited for%s%s", program,
           parameters, CurrentDirectoryRemark(program), Remark(program));
  return true;
}

void PlanDelete(const char* path) {
  LogEvent("PLAN DELETE", "\"%s\"%s%s", path, CurrentDirectoryRemark(path), Remark(path));
  NoteChange(path);
}

void PlanMove(const char* oldName, const char* newName) {
  const char* where = CurrentDirectoryRemark(oldName);
  if (GetFileAttributesA(oldName) == INVALID_FILE_ATTRIBUTES) {
    LogEvent("PLAN MOVE", "\"%s\" -> \"%s\": would not move: \"%s\" does not exist%s%s", oldName,
             newName, oldName, where, Remark(oldName));
  } else if (GetFileAttributesA(newName) != INVALID_FILE_ATTRIBUTES) {
    LogEvent("PLAN MOVE", "\"%s\" -> \"%s\": would not move: \"%s\" exists (its read-only "
             "attribute would be cleared)%s%s", oldName, newName, newName, where, Remark(newName));
    NoteChange(newName);
  } else {
    LogEvent("PLAN MOVE", "\"%s\" -> \"%s\": would move%s%s", oldName, newName, where,
             Remark(oldName));
    NoteChange(oldName);
    NoteChange(newName);
  }
}

bool PlanMadeEarlier(const char* path) { return PlanChangedEarlier(FullPathOf(path)); }
