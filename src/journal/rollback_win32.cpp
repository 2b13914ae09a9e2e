// Rollback from the program's side: an unfinished journal found when an
// installation starts, this run's journal, and the undo when the user
// stops the run.
#include "actions/file_actions.h"
#include "app/installer_context.h"
#include "app/text.h"
#include "journal/journal.h"
#include "journal/journal_run.h"
#include "log/run_log.h"

namespace {

// What remains of an undo, for message 48.
const size_t kRemainingSize = 1500;

void ReportIncompleteUndo(InstallerContext& context, const char* remaining) {
  context.errorsOccurred = true;
  FormatText(context.messageText, sizeof context.messageText, context.LoadMessage(48), remaining);
  context.ShowBox(kBoxUndoIncomplete, context.messageText, context.msgTitle);
}

}  // namespace

InstallerContext::RollbackStart InstallerContext::PrepareRollback() {
  char folder[MAX_PATH];
  if (!JournalFolderOf(installDir, folder)) folder[0] = '\0';
  // The package that left a journal need not be the one that finds it.
  if (JournalPending(installDir)) {
    if (RunIsRehearsal()) {
      LogEvent("PLAN JOURNAL", "\"%s\" holds the journal of a run that did not finish: a real run "
               "would offer to undo it", folder);
    } else {
      LogEvent("JOURNAL", "\"%s\" holds the journal of a run that did not finish", folder);
      if (ShowBox(kBoxUnfinishedRun, LoadMessage(49), msgTitle) == IDYES) {
        char remaining[kRemainingSize];
        if (!JournalUndo(installDir, remaining, sizeof remaining)) {
          // Nothing more is done to a half-restored installation.
          ReportIncompleteUndo(*this, remaining);
          return kRollbackFailed;
        }
      } else {
        JournalDiscard(installDir);
        LogEvent("JOURNAL", "the installation stays as it is; the journal was removed");
      }
    }
  }
  return kRollbackGoOn;
}

bool InstallerContext::BeginRunJournal() {
  if (!rollback || RunIsRehearsal()) return true;
  unsigned long code = 0;
  if (JournalBegin(installDir, &code)) return true;
  char folder[MAX_PATH];
  if (!JournalFolderOf(installDir, folder)) folder[0] = '\0';
  char codeText[16];
  FormatSystemError(code);
  FormatText(messageText, sizeof messageText, LoadMessage(52), folder,
             SystemErrorOrCode(codeText, sizeof codeText));
  ShowBox(kBoxJournalFailed, messageText, msgTitle);
  endCause = "journal";
  return false;
}

bool InstallerContext::FinishRollback() {
  if (!JournalActive()) return false;
  if (!stopRequested || versionRefused) {
    // The run ended and its result stands; the final message comes first.
    JournalFlush();
    return false;
  }
  char remaining[kRemainingSize];
  if (JournalUndo(installDir, remaining, sizeof remaining)) {
    rolledBack = true;
    ShowBox(kBoxRolledBack, LoadMessage(47), msgTitle);
  } else {
    ReportIncompleteUndo(*this, remaining);
  }
  return true;
}
