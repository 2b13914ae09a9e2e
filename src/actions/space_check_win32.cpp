// The space check before the first change: what the run's copies need on
// each volume against the free space the system gives the user there.
#include <cstring>

#include "actions/file_actions.h"
#include "actions/space_need.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "log/run_log.h"
#include "script/script_reader.h"

namespace {

// Names of programs renamed aside by earlier updates: "<target>.(0)" ...
const int kAsideNames = 5;

struct SpaceSurvey {
  VolumeSpace volumes[kSpaceVolumes];
  int count;
  bool overflow;         // more volumes than counted
  VolumeSpace* backup;   // the rollback folder's volume, or null
  PlannedSizes planned;
  char lastDirectory[kLongPathSize];
  VolumeSpace* lastVolume;
};

// The nearest directory of path's parents that exists, with its final
// backslash; false when there is none (a drive that is not there).
bool NearestDirectory(const char* path, char* directory) {
  CopyText(directory, kLongPathSize, path);
  for (;;) {
    char* last = std::strrchr(directory, '\\');
    // Never above a drive's root or a share: a lone backslash names the
    // current drive's root.
    if (!last || last - directory < 2) return false;
    last[1] = '\0';
    DWORD attributes = GetFileAttributesA(directory);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) return true;
    *last = '\0';
  }
}

void Measure(VolumeSpace* volume) {
  ULARGE_INTEGER available;
  volume->measured = GetDiskFreeSpaceExA(volume->probe, &available, nullptr, nullptr) != 0;
  volume->freeBytes = volume->measured ? available.QuadPart : 0;
  volume->measureError = volume->measured ? 0 : GetLastError();
}

// The volume that path lies on (its directories need not exist yet), or
// null when it is not counted.
VolumeSpace* VolumeOf(SpaceSurvey* survey, const char* path) {
  // The files of one line share their directory: its volume is asked once.
  const char* last = std::strrchr(path, '\\');
  size_t directoryLength = last ? static_cast<size_t>(last - path) + 1 : 0;
  if (survey->lastVolume && std::strlen(survey->lastDirectory) == directoryLength &&
      std::strncmp(path, survey->lastDirectory, directoryLength) == 0) {
    return survey->lastVolume;
  }
  char directory[kLongPathSize];
  if (!NearestDirectory(path, directory)) return nullptr;
  char root[kVolumeNameSize];
  if (!GetVolumePathNameA(directory, root, sizeof root) && !CopyText(root, sizeof root, directory)) {
    return nullptr;
  }
  size_t rootLength = std::strlen(root);
  if (rootLength > 0 && root[rootLength - 1] != '\\') AppendText(root, sizeof root, "\\");
  VolumeSpace* volume = nullptr;
  for (int i = 0; i < survey->count && !volume; ++i) {
    if (lstrcmpiA(survey->volumes[i].root, root) == 0) volume = &survey->volumes[i];
  }
  if (!volume) {
    if (survey->count == kSpaceVolumes) {
      survey->overflow = true;
      return nullptr;
    }
    volume = &survey->volumes[survey->count++];
    std::memset(volume, 0, sizeof *volume);
    CopyText(volume->root, sizeof volume->root, root);
    CopyText(volume->probe, sizeof volume->probe, directory);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    volume->cluster = 1;
    if (GetDiskFreeSpaceA(root, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) {
      volume->cluster = static_cast<unsigned long long>(sectorsPerCluster) * bytesPerSector;
      if (volume->cluster == 0) volume->cluster = 1;
    }
  }
  survey->lastVolume = volume;
  survey->lastDirectory[0] = '\0';
  AppendTextN(survey->lastDirectory, sizeof survey->lastDirectory, path, directoryLength);
  return volume;
}

// Whether path is there as the earlier lines leave it, and its size.
bool SizeNow(const SpaceSurvey* survey, const char* path, unsigned long long* size) {
  bool exists = false;
  if (FindPlannedSize(&survey->planned, path, &exists, size)) return exists;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

void PlanItem(void* surveyData, const SurveyItem& item) {
  SpaceSurvey* survey = static_cast<SpaceSurvey*>(surveyData);
  if (item.action == kActionDelete) {
    unsigned long long size = 0;
    VolumeSpace* volume = VolumeOf(survey, item.source);
    if (volume && SizeNow(survey, item.source, &size)) PlanDeleteSpace(volume, survey->backup, size);
    SetPlannedSize(&survey->planned, item.source, false, 0);
    return;
  }
  // What [Run] programs write is not known; a copy onto itself fails.
  if (item.action != kActionCopy || item.refused || lstrcmpiA(item.source, item.target) == 0) return;
  VolumeSpace* volume = VolumeOf(survey, item.target);
  if (!volume) return;
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (GetFileAttributesExA(item.target, GetFileExInfoStandard, &data) &&
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return;  // a directory in the way: the copy fails
  }
  CopySpace copy = {item.size, false, 0, false, 0};
  copy.existed = SizeNow(survey, item.target, &copy.oldSize);
  if (IsProgramFile(item.target, std::strlen(item.target))) {
    copy.renamedAside = copy.existed;
    // The rename aside clears the first name it tries; without a target
    // to rename, it tries (and clears) them all.
    for (int number = 0; number < (copy.existed ? 1 : kAsideNames); ++number) {
      char aside[kLongPathSize + 8];
      unsigned long long size = 0;
      if (FormatText(aside, sizeof aside, "%s.(%d)", item.target, number) &&
          SizeNow(survey, aside, &size)) {
        copy.leftover += WholeClusters(size, volume->cluster);
      }
    }
  }
  PlanCopySpace(volume, survey->backup, copy);
  SetPlannedSize(&survey->planned, item.target, true, item.size);
}

void LogVolume(const VolumeSpace& volume) {
  char need[kDecimalTextSize], cluster[kDecimalTextSize], free[kDecimalTextSize];
  char codeText[16];
  const char* verdict = SpaceFallsShort(volume) ? "too little" : "enough";
  if (!volume.measured) {
    FormatSystemError(volume.measureError);
    CopyText(free, sizeof free, "?");
    verdict = SystemErrorOrCode(codeText, sizeof codeText);
  } else {
    DecimalText(volume.freeBytes, free);
  }
  LogEvent(RunIsRehearsal() ? "PLAN SPACE" : "SPACE",
           "\"%s\": the copies need %s bytes at most (clusters of %s); %s bytes free at \"%s\": %s%s",
           volume.root, DecimalText(volume.peak > 0 ? volume.peak : 0, need),
           DecimalText(volume.cluster, cluster), free, volume.probe,
           volume.measured ? "" : "not measured, not checked: ", verdict);
}

}  // namespace

bool InstallerContext::CheckFreeSpace() {
  static SpaceSurvey survey;  // 8 KiB of volumes: kept off the stack
  std::memset(&survey, 0, sizeof survey);
  PlannedSizesInit(&survey.planned);
  if (rollback) {
    char journal[kLongPathSize];
    if (FormatText(journal, sizeof journal, "%sSetup-rollback\\journal.txt", installDir)) {
      survey.backup = VolumeOf(&survey, journal);
    }
  }
  SurveyScript(PlanItem, &survey);
  PlannedSizesFree(&survey.planned);
  if (survey.overflow) {
    LogEvent(RunIsRehearsal() ? "PLAN SPACE" : "SPACE",
             "more than %d volumes: the others are not checked", kSpaceVolumes);
  }
  for (;;) {
    const VolumeSpace* lacking = nullptr;
    for (int i = 0; i < survey.count; ++i) {
      VolumeSpace& volume = survey.volumes[i];
      Measure(&volume);
      LogVolume(volume);
      if (!lacking && SpaceFallsShort(volume)) lacking = &volume;
    }
    if (!lacking) return true;
    if (RunIsRehearsal()) {
      LogEvent("PLAN SPACE", "\"%s\": too little free space: a real run asks for room here "
               "(message 56)", lacking->root);
      endCause = "space";
      return false;
    }
    char need[32], free[32];
    FormatSpaceAmount(static_cast<unsigned long long>(lacking->peak), true, need, sizeof need);
    FormatSpaceAmount(lacking->freeBytes, false, free, sizeof free);
    FormatText(messageText, sizeof messageText, LoadMessage(56), lacking->root, need, free);
    if (ShowBox(kBoxNoSpace, messageText, msgTitle) != IDRETRY) {
      endCause = "space";
      return false;
    }
  }
}
