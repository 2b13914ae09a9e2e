// The version gates: before the installation and in [VersionCopy] sections.
#include <cstring>

#include "app/installer_context.h"
#include "app/text.h"

bool InstallerContext::CheckProgramVersion(int suffixMessage) {
  if (!verProg[0]) return true;
  FileVersion version;
  if (!GetFileVersion(verProg, &version)) {
    FormatText(scratchPath, sizeof scratchPath, LoadMessage(18), verProg);
    return ShowBox(kBoxVersionQuestion, scratchPath, LoadMessage(19)) == IDYES;
  }
  if (minVer[0]) {
    Expand(minVer, sizeof minVer);
    if (!CheckVersionBound(minVer, version, false, suffixMessage)) return false;
  }
  if (maxVer[0]) {
    Expand(maxVer, sizeof maxVer);
    if (!CheckVersionBound(maxVer, version, true, suffixMessage)) return false;
  }
  return true;
}

bool InstallerContext::CheckVersionBound(const char* boundText, const FileVersion& version,
                                         bool maximum, int suffixMessage) {
  VersionBound bound;
  if (!ParseVersionBound(boundText, &bound)) {
    // The message names the version part: the text before the first ':'.
    char shown[512];
    CopyText(shown, sizeof shown, boundText);
    char* colon = std::strchr(shown, ':');
    if (colon) *colon = '\0';
    FormatText(scratchPath, sizeof scratchPath, LoadMessage(14), shown);
    return ShowBox(kBoxMalformedBound, scratchPath, LoadMessage(15)) == IDYES;
  }
  if (VersionMeetsBound(version, bound, maximum)) return true;
  if (!bound.message[0]) return false;
  CopyText(scratchPath, sizeof scratchPath, bound.message);
  AppendText(scratchPath, sizeof scratchPath, LoadMessage(suffixMessage));
  return ShowBox(kBoxVersionQuestion, scratchPath, LoadMessage(17)) == IDYES;
}
