// Rollback from the program's side: a journal found when an installation
// starts, this run's journal before its first action, and the undo when
// the user stops the run.
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

bool InstallerContext::OfferUnfinishedJournal() {
  char folder[MAX_PATH];
  if (!JournalFolderOf(installDir, folder)) return true;
  const char* reason = nullptr;
  // The package that left a journal need not be the one that finds it.
  JournalFound found = JournalExamine(installDir, &reason);
  const bool rehearsal = RunIsRehearsal();
  const char* keyword = rehearsal ? "PLAN JOURNAL" : "JOURNAL";
  switch (found) {
    case kFoundNothing:
      return true;
    case kFoundLink:
      LogEvent(keyword, "\"%s\" is a link: not entered", folder);
      return true;
    case kFoundFinished:
      LogEvent(keyword, "\"%s\": a finished run's journal: %s", folder,
               rehearsal ? "a real run would remove it" : "removed");
      if (!rehearsal) {
        char remaining[4];
        JournalUndo(installDir, remaining, sizeof remaining);  // only removes it
      }
      return true;
    case kFoundUnverified:
      LogEvent(keyword, "\"%s\" not verified: %s%s", folder, reason,
               rehearsal ? "; a real run would show message 53" : "; left as it is");
      if (!rehearsal) {
        FormatText(messageText, sizeof messageText, LoadMessage(53), folder);
        ShowBox(kBoxJournalUnverified, messageText, msgTitle);
      }
      return true;
    case kFoundUnfinished:
      break;
  }
  LogEvent(keyword, "\"%s\": an unfinished run's journal%s", folder,
           rehearsal ? ": a real run would ask (message 49)" : "");
  if (rehearsal) return true;
  if (ShowBox(kBoxUnfinishedRun, LoadMessage(49), msgTitle) != IDYES) {
    JournalDiscard(installDir);
    LogEvent(keyword, "kept as it is; journal removed");
    return true;
  }
  char remaining[kRemainingSize];
  if (JournalUndo(installDir, remaining, sizeof remaining)) return true;
  // Nothing more is done to a half-restored installation.
  ReportIncompleteUndo(*this, remaining);
  return false;
}

bool InstallerContext::BeginRunJournal() {
  if (!rollback || RunIsRehearsal()) return true;
  char folder[MAX_PATH];
  if (!JournalFolderOf(installDir, folder)) folder[0] = '\0';
  unsigned long code = 0;
  char codeText[16];
  const char* reason;
  switch (JournalBegin(installDir, &code)) {
    case kJournalMade:
      return true;
    case kJournalNotVerified:
      reason = LoadMessage(58);
      break;
    case kJournalFolderLink:
      reason = LoadMessage(64);
      break;
    default:
      FormatSystemError(code);
      reason = SystemErrorOrCode(codeText, sizeof codeText);
      break;
  }
  FormatText(messageText, sizeof messageText, LoadMessage(52), folder, reason);
  ShowBox(kBoxJournalFailed, messageText, msgTitle);
  endCause = "journal";
  return false;
}

bool InstallerContext::FinishRollback() {
  if (!JournalActive()) return false;
  if (!stopRequested) {
    // The run ended and its result stands: recorded before the final
    // message, the journal goes after it.
    JournalResultStands();
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
