// Start-up configuration, first stage: the package directory, setup.dat and
// its [Options] values, flag lines and the command-line switches.
#include <cstdlib>
#include <cstring>

#include "actions/ini_file.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "log/run_log.h"
#include "script/script_reader.h"
#include "version/version.h"

namespace {

// Fixed Czech texts (Windows-1250), shown before any language is known.
const char kMissingScriptText[] = "Soubor Setup.dat nenalezen! Nelze pokra\xe8ovat v instalaci!";
const char kMissingScriptCaption[] = "Chyba souboru...";

// Copies a ReadString result into its field (cut to the field) and frees it;
// without a result the field gets the catalogue default.
void TakeOptionText(InstallerContext& context, char* field, size_t size, int defaultMessage) {
  if (context.optionValue) {
    CopyText(field, size, context.optionValue);
    std::free(context.optionValue);
    context.optionValue = nullptr;
  } else {
    CopyText(field, size, context.LoadMessage(defaultMessage));
  }
}

// The flag lines an [Options] section may hold, as the log names them.
const char* const kFlagLines[] = {"KillQuillon=1", "NoDir=1", "SkipWelcome=1", "SkipInfo=1",
                                  "Rollback=1"};

void LogOptions(InstallerContext& context, const char* dateText) {
  char flags[128];
  flags[0] = '\0';
  for (const char* flag : kFlagLines) {
    if (!FindScriptLine(context.scriptFile, "[Options]", flag)) continue;
    if (flags[0]) AppendText(flags, sizeof flags, ", ");
    AppendText(flags, sizeof flags, flag);
  }
  char date[64];
  if (context.packageDate.valid) {
    FormatText(date, sizeof date, "\"%s\" = %d.%d.%d", dateText, context.packageDate.day,
               context.packageDate.month, context.packageDate.year);
  } else {
    FormatText(date, sizeof date, dateText[0] ? "\"%s\" (not a valid date)" : "none", dateText);
  }
  LogEvent("OPTIONS", "title \"%s\"; language %d; flags: %s; hidden window: %s; rollback: %s; "
           "MinVer \"%s\"; MaxVer \"%s\"; VerProg \"%s\"; Date %s",
           context.msgTitle, context.languageId, flags[0] ? flags : "none",
           context.hideWindow ? "yes" : "no", context.rollback ? "on" : "off", context.minVer,
           context.maxVer, context.verProg, date);
}

}  // namespace

bool InstallerContext::LoadConfiguration() {
  if (!LoadOptions()) return false;
  return LocateInstallation();
}

bool InstallerContext::LoadOptions() {
  errorsOccurred = false;
  installDir[0] = '\0';
  CopyText(iniFileName, sizeof iniFileName, "Quillon.ini");

  DWORD length = GetCurrentDirectoryA(260, packageDir);
  if (length == 0 || length >= 260) packageDir[0] = '\0';
  length = static_cast<DWORD>(std::strlen(packageDir));
  if (length > 0 && packageDir[length - 1] != '\\') AppendText(packageDir, sizeof packageDir, "\\");

  FormatText(scratchPath, sizeof scratchPath, "%sSetup.dat", packageDir);
  scriptFile = std::fopen(scratchPath, "rb");
  if (!scriptFile) {
    ShowBox(kBoxMissingScript, kMissingScriptText, kMissingScriptCaption);
    endCause = "no-script";
    return false;
  }

  char dateText[14];
  {
    IniFile options(scratchPath);
    languageId = options.ReadInt("Options", "LangID", languageId);

    optionValue = options.ReadString("Options", "MsgTitle", LoadMessage(4));
    TakeOptionText(*this, msgTitle, sizeof msgTitle, 4);
    optionValue = options.ReadString("Options", "ByeMsg", LoadMessage(5));
    TakeOptionText(*this, byeMsg, sizeof byeMsg, 5);

    options.ReadStringInto("Options", "MinVer", "", minVer, 255);
    options.ReadStringInto("Options", "MaxVer", "", maxVer, 255);
    options.ReadStringInto("Options", "VerProg", "", verProg, 1300);
    // Info defaults to the caption just read; both are cut to 254 here.
    char title[255];
    CopyText(title, sizeof title, msgTitle);
    options.ReadStringInto("Options", "Info", title, info, 255);
    options.ReadStringInto("Options", "URL", LoadMessage(6), url, 255);
    hideWindow = options.ReadBool("Options", "HideWin", false) || FindSwitch("/hidewin", nullptr, -1);

    options.ReadStringInto("Options", "Date", "", dateText, sizeof dateText);
    ParseDate(dateText, &packageDate);

    options.ReadStringInto("ReadIni", "BinDir", "", readIniBinDir, 260);
  }

  killApp = FindScriptLine(scriptFile, "[Options]", "KillQuillon=1");
  rollback = FindScriptLine(scriptFile, "[Options]", "Rollback=1") ||
             FindSwitch("/rollback", nullptr, -1);
  if (RunLogActive()) LogOptions(*this, dateText);
  return true;
}
