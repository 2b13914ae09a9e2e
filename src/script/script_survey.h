// What a run's lines will take and change, found before the first of them
// runs (InstallerContext::SurveyScript): the files of [Copy] and
// [VersionCopy] lines with their targets, the programs of [Run] lines and
// the files of [Delete] lines, in the run's own order. The survey walks the
// script as the executor does and changes nothing; [ChangeDir] lines change
// the current directory for the lines after them and it is restored at the
// end. A line the executor would refuse, and a copy whose source is not
// there, is left out.
#pragma once

struct SurveyItem {
  int action;          // kActionCopy (also the files of [VersionCopy]), kActionRun, kActionDelete
  const char* source;  // full path: the copied file, the program, the deleted file
  const char* target;  // a copy's full target path; null otherwise
  unsigned long long size;  // of the copied or deleted file as found now
  // A copy of a [VersionCopy] section whose version check refuses without
  // asking anyone: it will not happen.
  bool refused;
};

typedef void (*SurveyVisitor)(void* data, const SurveyItem& item);
