// The version gates: before the installation and in [VersionCopy] sections.
#include <cstring>

#include "app/installer_context.h"
#include "app/text.h"
#include "log/run_log.h"

namespace {

// The parts of a bound that count, as "3.*.*.*" for "3.5": an unset part
// always matches.
void DescribeBound(const VersionBound& bound, char* text, size_t size) {
  text[0] = '\0';
  for (int i = 0; i < 4; ++i) {
    char part[16];
    if (bound.partSet[i]) {
      FormatText(part, sizeof part, "%lu", static_cast<unsigned long>(bound.part[i]));
    } else {
      CopyText(part, sizeof part, "*");
    }
    if (i > 0) AppendText(text, size, ".");
    AppendText(text, size, part);
  }
}

}  // namespace

bool InstallerContext::CheckProgramVersion(int suffixMessage) {
  if (!verProg[0]) return true;
  FileVersion version;
  if (!GetFileVersion(verProg, &version)) {
    LogEvent("GATE", "\"%s\": no version can be read; the user is asked", verProg);
    FormatText(scratchPath, sizeof scratchPath, LoadMessage(18), verProg);
    bool goOn = ShowBox(kBoxVersionQuestion, scratchPath, LoadMessage(19)) == IDYES;
    LogEvent("GATE", goOn ? "goes on" : "refused");
    return goOn;
  }
  LogEvent("GATE", "\"%s\": version %u.%u.%u.%u", verProg, version.major, version.minor,
           version.build, version.revision);
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
  const char* which = maximum ? "MaxVer" : "MinVer";
  VersionBound bound;
  if (!ParseVersionBound(boundText, &bound)) {
    // The message names the version part: the text before the first ':'.
    char shown[512];
    CopyText(shown, sizeof shown, boundText);
    char* colon = std::strchr(shown, ':');
    if (colon) *colon = '\0';
    FormatText(scratchPath, sizeof scratchPath, LoadMessage(14), shown);
    bool goOn = ShowBox(kBoxMalformedBound, scratchPath, LoadMessage(15)) == IDYES;
    LogEvent("GATE", "%s \"%s\" is malformed: %s", which, boundText, goOn ? "goes on" : "refused");
    return goOn;
  }
  char counted[96];
  DescribeBound(bound, counted, sizeof counted);
  if (VersionMeetsBound(version, bound, maximum)) {
    LogEvent("GATE", "%s %s (\"%s\"): met", which, counted, boundText);
    return true;
  }
  if (!bound.message[0]) {
    LogEvent("GATE", "%s %s (\"%s\"): not met; refused without a question", which, counted,
             boundText);
    return false;
  }
  CopyText(scratchPath, sizeof scratchPath, bound.message);
  AppendText(scratchPath, sizeof scratchPath, LoadMessage(suffixMessage));
  bool goOn = ShowBox(kBoxVersionQuestion, scratchPath, LoadMessage(17)) == IDYES;
  LogEvent("GATE", "%s %s (\"%s\"): not met; %s", which, counted, boundText,
           goOn ? "the user goes on" : "refused");
  return goOn;
}
