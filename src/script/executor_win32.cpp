// The script executor: prepares the run, walks the script once from top to
// bottom, hands each line to its action and reports the outcome.
#include <cstring>

#include "actions/file_plan.h"
#include "actions/ini_line.h"
#include "actions/registry.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "expand/definitions.h"
#include "journal/journal_run.h"
#include "log/plan_changes.h"
#include "log/run_log.h"
#include "script/line_split.h"
#include "script/script_reader.h"

namespace {

// How much of a refused line the final message quotes.
const size_t kQuotedLineLength = 80;

// Appends a backslash to a non-empty directory that lacks one, when it fits.
void EndWithBackslash(char* directory, size_t size) {
  size_t length = std::strlen(directory);
  if (length > 0 && directory[length - 1] != '\\' && length + 1 < size) {
    directory[length] = '\\';
    directory[length + 1] = '\0';
  }
}

// A line that does not fit its fields is never cut (a cut path names another
// file): it is skipped and reported as a failure in the final message.
void RefuseLine(InstallerContext& context) {
  LogEvent(RunIsRehearsal() ? "PLAN REFUSED" : "REFUSED",
           "\"%s\": too long to execute (message 46)", context.lineBuffer);
  char quoted[kQuotedLineLength + 4];
  CopyText(quoted, kQuotedLineLength + 1, context.lineBuffer);
  if (std::strlen(context.lineBuffer) > kQuotedLineLength) AppendText(quoted, sizeof quoted, "...");
  FormatText(context.errorText, sizeof context.errorText, context.LoadMessage(46), quoted);
  context.errorsOccurred = true;
}

}  // namespace

void InstallerContext::RunScript() {
  installing = true;
  bool reuseLine = false;
  currentAction = kActionNone;
  versionRefused = false;
  // A rehearsal answers failures as the run it rehearses would.
  if (RunIsRehearsal()) SetPlanAnswers(noBoxes, rollback);
  ShowStatus(0, LoadMessage(30));

  EndWithBackslash(installDir, sizeof installDir);
  EndWithBackslash(programDir, sizeof programDir);

  ReadIniDefinitions(scriptFile, iniDefinitions, kDefinitionCapacity, packageDir, installDir,
                     programDir, iniFileName, &packageDate, true);
  ReadRegDefinitions(scriptFile, regDefinitions, kDefinitionCapacity, packageDir, installDir,
                     programDir, iniFileName, &packageDate, true);
  Expand(verProg, sizeof verProg);
  ShowStatus(0, LoadMessage(31));
  if (!CheckProgramVersion(16)) {
    stopRequested = true;
    versionRefused = true;
  }
  // Nothing starts that cannot finish: a damaged package, or copies that do
  // not fit, end the run before its first change (endCause says why).
  if (!stopRequested && !(CheckPackageSeal() && CheckFreeSpace())) stopRequested = true;
  // This run's journal, the last step before the first action.
  if (!stopRequested && !BeginRunJournal()) stopRequested = true;

  bool lineCut = false;
  while (!stopRequested && scriptFile && (reuseLine || !ScriptEnded(scriptFile))) {
    if (!reuseLine) lineLength = ReadScriptLine(scriptFile, lineBuffer, kMaxLineLength, &lineCut);
    reuseLine = false;
    if (lineLength == 0) continue;
    if (IsCommentLine(lineBuffer, currentAction)) continue;

    if (lineBuffer[0] == '[') {
      // The end of a section: what the journal holds so far is on the disk.
      JournalFlush();
      currentAction = ActionOfHeader(lineBuffer);
      LogEvent("SECTION", currentAction == kActionNone ? "%s: no action; its lines are not executed"
                                                       : "%s", lineBuffer);
      ShowStatus(currentAction, nullptr);
      if (currentAction == kActionVersionCopy) verProg[0] = minVer[0] = maxVer[0] = '\0';
      continue;
    }

    // Lines outside an action section are never executed, so never refused.
    if (currentAction == kActionNone) continue;
    // An action line longer than a line can be is never run cut short.
    if (lineCut || !Expand(lineBuffer, sizeof lineBuffer)) {
      RefuseLine(*this);
      continue;
    }
    LogEvent("LINE", "%s", lineBuffer);
    // What this line would change counts as an earlier line's from the next on.
    if (RunIsRehearsal()) PlanNextLine();
    copyFilter = nullptr;
    runArguments = nullptr;
    bool partsFit = SplitActionLine(lineBuffer, currentAction, packageDir, installDir, scratchPath,
                                    targetSpec, sourceDir, &copyFilter);
    // Only [Copy] uses the joined paths; other actions work on the line.
    if (!partsFit && currentAction == kActionCopy) {
      RefuseLine(*this);
      continue;
    }

    switch (currentAction) {
      case kActionCopy: ApplyCopyLine(); break;
      case kActionRun: ApplyRunLine(); break;
      case kActionDelete: ApplyDeleteLine(); break;
      case kActionWriteIni: ApplyIniLine(lineBuffer, false); break;
      case kActionDelIni: ApplyIniLine(lineBuffer, true); break;
      case kActionWriteReg: ApplyRegistryLine(lineBuffer, false); break;
      case kActionDelReg: ApplyRegistryLine(lineBuffer, true); break;
      case kActionChangeDir: ApplyChangeDirLine(); break;
      case kActionMove: ApplyMoveLine(); break;
      case kActionVersionCopy: {
        int setting = VersionCopySetting(lineBuffer);
        if (setting != 0) {
          const char* value = std::strchr(lineBuffer, '=') + 1;
          if (setting == 1) CopyText(minVer, sizeof minVer, value);
          if (setting == 2) CopyText(maxVer, sizeof maxVer, value);
          if (setting == 3) CopyText(verProg, sizeof verProg, value);
        } else if (CheckProgramVersion(45)) {
          currentAction = kActionCopy;
          reuseLine = true;
        } else {
          currentAction = kActionNone;
          ShowStatus(0, LoadMessage(36));
        }
        break;
      }
      default: break;
    }
  }

  installing = false;
  ShowStatus(0, nullptr);
  if (RunIsRehearsal()) {
    // A rehearsal reports its plan, not an installation's outcome.
    if (planInTempFile) {
      FormatText(messageText, sizeof messageText, LoadMessage(51), logPath);
      ShowBox(kBoxPlanWritten, messageText, msgTitle);
    }
  } else if (FinishRollback()) {
    // Stopped and undone: messages 47 or 48 said so.
  } else if (errorsOccurred) {
    FormatText(messageText, sizeof messageText, LoadMessage(37), errorText);
    ShowBox(kBoxFinalErrors, messageText, msgTitle);
  } else if (!FindScriptLine(scriptFile, "[Options]", "SkipInfo=1") &&
             !FindSwitch("/silent", nullptr, -1) && !stopRequested) {
    ShowBox(kBoxFinalSuccess, byeMsg, msgTitle);
  }
  // A run that ended (not undone) accepts its result: the journal goes.
  JournalEnd();
  PlanFinish();
  if (scriptFile) std::fclose(scriptFile);
  scriptFile = nullptr;
  FreeDefinitions(iniDefinitions, kDefinitionCapacity);
  FreeDefinitions(regDefinitions, kDefinitionCapacity);
  if (systemErrorText) LocalFree(systemErrorText);
  systemErrorText = nullptr;
}
