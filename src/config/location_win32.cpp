// Start-up configuration, second stage: find the install and program
// directories, confirm them, enter the install directory and decide whether
// the installation starts by itself.
#include <cstdlib>
#include <cstring>

#include "app/installer_context.h"
#include "app/text.h"
#include "expand/definitions.h"
#include "log/run_log.h"
#include "script/script_reader.h"

namespace {

const char kProgramFile[] = "\\quillon.exe";

struct RegistrySource {
  HKEY root;
  const char* key;
};

const RegistrySource kAssociations[] = {
    {HKEY_CLASSES_ROOT, "TFolvanedatasave\\Shell\\Open\\Command"},
    {HKEY_CLASSES_ROOT, "Dokument Quillon\\Shell\\Open\\Command"},
};
const RegistrySource kApplicationEntry = {HKEY_LOCAL_MACHINE, "Software\\Valtor CZ\\Quillon\\2.0\\Path"};

// Reads a key's default value into installDir (260 bytes); a value that does
// not fit counts as not found. A failed read keeps what installDir held, so
// a command parsed from an earlier source stays as the dialog's suggestion.
bool ReadDefaultValue(InstallerContext& context, const RegistrySource& source) {
  context.registryValueSize = 260;
  LONG size = context.registryValueSize;
  char previous[sizeof context.installDir];
  CopyText(previous, sizeof previous, context.installDir);
  if (RegQueryValueA(source.root, source.key, context.installDir, &size) != ERROR_SUCCESS) {
    CopyText(context.installDir, sizeof context.installDir, previous);
    return false;
  }
  context.registryValueSize = size;
  // A string value may be stored without its NUL, or with no bytes at all:
  // the text ends at its stored size.
  context.installDir[size >= 0 && size < 260 ? size : 260] = '\0';
  return true;
}

// From "/ini": a value whose file part, from its first dot, is ".ini" names
// the INI file; the directory keeps its final backslash until trimmed.
void SplitIniPath(InstallerContext& context) {
  char* lastBackslash = std::strrchr(context.installDir, '\\');
  char* filePart = lastBackslash ? lastBackslash + 1 : context.installDir;
  char* dot = std::strchr(filePart, '.');
  if (dot && SameText(dot, ".ini")) {
    CopyText(context.iniFileName, sizeof context.iniFileName, filePart);
    *filePart = '\0';
  }
}

}  // namespace

bool ParseOpenCommand(char* command, char* programDirOut, char* iniNameOut) {
  char* slash = command;
  while ((slash = std::strchr(slash, '/')) != nullptr && slash[1] != 'i') ++slash;
  if (!slash || slash[2] != ' ') return false;

  size_t programLength = static_cast<size_t>(slash - command);
  CopyText(programDirOut, 261, "");
  AppendTextN(programDirOut, 261, command, programLength);
  std::memmove(command, slash + 3, std::strlen(slash + 3) + 1);

  char* lastBackslash = command[0] ? std::strrchr(command + 1, '\\') : nullptr;
  if (lastBackslash) {
    char* filePart = lastBackslash + 1;
    char* dot = std::strchr(filePart, '.');
    if (dot && StartsWithText(dot, ".ini")) {
      dot[4] = '\0';  // drops a closing quote and further arguments
      CopyText(iniNameOut, 261, filePart);
    }
    *lastBackslash = '\0';  // the command names a file; its directory is what counts
  }
  TrimChar(command, 260, '"', true);
  TrimChar(command, 260, '\\', false);
  bool entered = SetCurrentDirectoryA(command) != FALSE;

  // The quoted program path becomes the quoted program directory.
  char* programBackslash = programDirOut[0] ? std::strrchr(programDirOut + 1, '\\') : nullptr;
  if (programBackslash) {
    programBackslash[0] = '"';
    programBackslash[1] = '\0';
  }
  return entered;
}

void InstallerContext::DeriveProgramDir(char* candidate, char* programDirOut) {
  if (!programDirOut || !readIniBinDir[0]) return;
  size_t length = std::strlen(candidate);
  if (length == 0 || candidate[length - 1] != '\\') AppendText(candidate, 261, "\\");

  char line[1301];
  FormatText(line, sizeof line, "BinDir=%s", readIniBinDir);
  CopyText(scratchPath, sizeof scratchPath, line);
  char* entry = ParseIniDefinition(line, packageDir, candidate, programDir, iniFileName,
                                   &packageDate, true);
  int slot = 0;
  while (slot < kDefinitionCapacity && iniDefinitions[slot]) ++slot;
  if (entry && slot < kDefinitionCapacity) {
    iniDefinitions[slot] = entry;
    iniDefinitions[slot + 1] = nullptr;
    CopyText(scratchPath, sizeof scratchPath, "{ini=BinDir}");
    // A directory too long to read whole names no directory at all.
    bool whole = ExpandPlaceholders(scratchPath, sizeof scratchPath, packageDir, candidate,
                                    programDir, iniFileName, iniDefinitions, regDefinitions,
                                    &packageDate);
    if (!whole) scratchPath[0] = '\0';
    TrimChar(scratchPath, static_cast<int>(std::strlen(scratchPath)) + 1, '"', true);
    TrimChar(scratchPath, static_cast<int>(std::strlen(scratchPath)) + 1, '\\', false);
    if (whole && AppendText(scratchPath, sizeof scratchPath, kProgramFile) &&
        FileExists(scratchPath)) {
      *std::strrchr(scratchPath, '\\') = '\0';
      CopyText(programDirOut, 261, scratchPath);
    }
    iniDefinitions[slot] = nullptr;
  }
  std::free(entry);
  TrimChar(candidate, 261, '\\', false);
}

bool InstallerContext::LocateInstallation() {
  bool hasExe = FindSwitch("/exe", programDir, sizeof programDir);
  bool hasIni = hasExe && FindSwitch("/ini", installDir, sizeof installDir);
  locationKnown = hasExe && hasIni;
  if (hasExe) {
    LogEvent("LOCATION", "command line: /exe \"%s\"%s", programDir,
             hasIni ? "" : " without a usable /ini: the registry is searched");
  }

  if (locationKnown) {
    SplitIniPath(*this);
    TrimChar(installDir, 261, '\\', false);
    TrimChar(programDir, 261, '\\', false);
  }

  for (const RegistrySource& association : kAssociations) {
    if (locationKnown) break;
    if (!ReadDefaultValue(*this, association)) {
      LogEvent("LOCATION", "association \"%s\": no value", association.key);
      continue;
    }
    LogEvent("LOCATION", "association \"%s\": \"%s\"", association.key, installDir);
    locationKnown = ParseOpenCommand(installDir, programDir, iniFileName);
    LogEvent("LOCATION", "  install directory \"%s\"%s, program directory %s, INI file \"%s\"",
             installDir, locationKnown ? "" : " (cannot be entered)", programDir, iniFileName);
  }
  if (!locationKnown) {
    if (ReadDefaultValue(*this, kApplicationEntry)) {
      CopyText(programDir, sizeof programDir, installDir);
      locationKnown = installDir[0] != '\0';
      LogEvent("LOCATION", "application entry \"%s\": \"%s\"%s", kApplicationEntry.key,
               installDir, locationKnown ? "" : " (empty)");
    } else {
      LogEvent("LOCATION", "application entry \"%s\": no value", kApplicationEntry.key);
    }
  }

  bool noDir = FindScriptLine(scriptFile, "[Options]", "NoDir=1");
  if (!locationKnown) {
    LogEvent("LOCATION", noDir ? "no installation found; NoDir=1: none is needed"
                               : "no installation found");
  }
  if (!locationKnown && !noDir) {
    if (ShowBox(kBoxAskLocation, LoadMessage(7), LoadMessage(8)) != IDYES) {
      endCause = "no-installation";
      return false;
    }
    needUserChoice = true;
  }
  if (locationKnown) {
    TrimChar(installDir, 261, '"', true);
    TrimChar(programDir, 261, '"', true);
  }

  // The definition tables are still empty: only directories and dates apply.
  Expand(msgTitle, sizeof msgTitle);
  Expand(byeMsg, sizeof byeMsg);
  Expand(info, sizeof info);

  bool silent = FindSwitch("/silent", nullptr, -1);
  if (locationKnown && !FindScriptLine(scriptFile, "[Options]", "SkipWelcome=1")) {
    bool bothSwitches = FindSwitch("/exe", nullptr, -1) && FindSwitch("/ini", nullptr, -1);
    if (!bothSwitches && readIniBinDir[0]) {
      DeriveProgramDir(installDir, programDir);
      LogEvent("LOCATION", "BinDir \"%s\": program directory \"%s\"", readIniBinDir, programDir);
    }
    FormatText(scratchPath, sizeof scratchPath, "%s%s", programDir, kProgramFile);
    if (!FileExists(scratchPath)) {
      ShowBox(kBoxMissingProgram, LoadMessage(9), LoadMessage(10));
      needUserChoice = true;
    } else if (!silent) {
      FormatText(scratchPath, sizeof scratchPath, LoadMessage(11), installDir, programDir);
      int answer = ShowBox(kBoxConfirm, scratchPath, msgTitle);
      if (answer == IDCANCEL) {
        endCause = "cancelled";
        return false;
      }
      needUserChoice = answer != IDYES;
    }
  }
  if (silent) needUserChoice = false;

  if (!noDir && !needUserChoice) {
    if (!SetCurrentDirectoryA(installDir)) {
      ShowBox(kBoxPathError, LoadMessage(12), LoadMessage(13));
      needUserChoice = true;
    }
  } else if (noDir) {
    needUserChoice = false;
  }
  return true;
}
