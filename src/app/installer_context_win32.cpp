// The installer context: construction, the message catalogue, the status
// line and the one way every message box is shown.
#include "app/installer_context.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "config/command_line.h"
#include "expand/definitions.h"
#include "log/run_log.h"

InstallerContext installer;

namespace {
MessageBoxAnswerer messageBoxAnswerer = nullptr;
}  // namespace

void SetMessageBoxAnswerer(MessageBoxAnswerer answerer) { messageBoxAnswerer = answerer; }

InstallerContext::InstallerContext() {
  // Static storage is already zero; these are the values that matter.
  messageSlot = 0;
  languageId = 1;
  installing = false;
  resourceModule = nullptr;
  ownerWindow = nullptr;
  for (int i = 0; i < kDefinitionSlots; ++i) {
    iniDefinitions[i] = nullptr;
    regDefinitions[i] = nullptr;
  }
  scriptFile = nullptr;
  std::memset(msgTitle, 0, sizeof msgTitle);
  std::memset(byeMsg, 0, sizeof byeMsg);
  minVer[0] = maxVer[0] = verProg[0] = info[0] = url[0] = '\0';
  killApp = false;
  packageDate.valid = false;
  hideWindow = false;
  readIniBinDir[0] = '\0';
  commandLine = nullptr;
  versionRefused = false;
  noBoxes = false;
  planInTempFile = false;
  logPath[0] = '\0';
  rollback = false;
  rolledBack = false;
  endCause = nullptr;
}

InstallerContext::~InstallerContext() { CloseScript(); }

void InstallerContext::CloseScript() {
  installing = false;
  if (scriptFile) std::fclose(scriptFile);
  scriptFile = nullptr;
}

const char* InstallerContext::LoadMessage(int number) {
  messageSlot = (messageSlot + 1) % 3;
  char* buffer = messageBuffers[messageSlot];
  // Every language falls back to the Czech set, then to the empty text. A
  // language whose ids would leave the string table's range has no texts.
  long long id = 1000LL * languageId + number;
  bool inRange = id > 0 && id <= 0xFFFF;
  if ((!inRange || LoadStringA(resourceModule, static_cast<UINT>(id), buffer, 255) <= 0) &&
      LoadStringA(resourceModule, 1000 + number, buffer, 255) <= 0) {
    buffer[0] = '\0';
  }
  return buffer;
}

void InstallerContext::ShowStatus(int action, const char* detail) {
  if (!ownerWindow) return;
  char status[1301];
  status[0] = '\0';
  switch (action) {
    case 1:
      AppendText(status, sizeof status, LoadMessage(20));
      if (!detail) AppendText(status, sizeof status, LoadMessage(21));
      break;
    case 2:
    case 3:
      AppendText(status, sizeof status, LoadMessage(action == 2 ? 22 : 23));
      if (!detail) AppendText(status, sizeof status, "...");
      break;
    case 4: case 5: case 6: case 7: case 8: case 9:
      AppendText(status, sizeof status, LoadMessage(20 + action));
      break;
    default:
      break;
  }
  if (detail) {
    if (status[0]) AppendText(status, sizeof status, ": ");
    AppendText(status, sizeof status, detail);  // cut to the line's 1300 characters
  }
  HWND control = GetDlgItem(ownerWindow, IDC_STATUS);
  if (!control) return;
  SetWindowTextA(control, status);
  // The installation blocks the message loop: repaint now, not later.
  InvalidateRect(control, nullptr, FALSE);
  UpdateWindow(control);
}

UINT BoxStyle(BoxKind kind) {
  switch (kind) {
    case kBoxMissingScript: return MB_OK | MB_ICONWARNING | MB_SETFOREGROUND;
    case kBoxMissingProgram: return MB_OK | MB_ICONWARNING;
    case kBoxAskLocation: return MB_YESNO | MB_ICONQUESTION | MB_SETFOREGROUND;
    case kBoxConfirm: return MB_YESNOCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND;
    case kBoxPathError: return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxAppRunning: return MB_OKCANCEL | MB_ICONINFORMATION | MB_SETFOREGROUND;
    case kBoxActionFailed: return MB_ABORTRETRYIGNORE | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxMissingSource: return MB_YESNO | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxVersionQuestion: return MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2;
    case kBoxMalformedBound: return MB_YESNO | MB_ICONERROR | MB_DEFBUTTON1;
    case kBoxFinalErrors: return MB_OK | MB_ICONWARNING | MB_SETFOREGROUND;
    case kBoxFinalSuccess: return MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;
    case kBoxLogFailed: return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxPlanWritten: return MB_OK | MB_ICONINFORMATION;
    case kBoxRolledBack: return MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND;
    case kBoxUndoIncomplete: return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxUnfinishedRun: return MB_YESNO | MB_ICONQUESTION;
    case kBoxJournalFailed: return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxJournalUnverified: return MB_OK | MB_ICONWARNING | MB_SETFOREGROUND;
    case kBoxSealFailed: return MB_OK | MB_ICONERROR | MB_SETFOREGROUND;
    case kBoxNoSpace: return MB_RETRYCANCEL | MB_ICONWARNING | MB_SETFOREGROUND;
  }
  return MB_OK;
}

namespace {

// The answer a box gets when nobody is there to give one: go on where the
// run can go on safely, and never stop to ask for what only a person can
// give (a directory, a closed application).
int AutomaticAnswer(BoxKind kind) {
  switch (kind) {
    case kBoxAskLocation: return IDNO;
    case kBoxConfirm: return IDYES;
    case kBoxAppRunning: return IDCANCEL;
    case kBoxActionFailed: return IDABORT;
    case kBoxMissingSource: return IDYES;
    case kBoxVersionQuestion: return IDNO;
    case kBoxMalformedBound: return IDYES;
    case kBoxUnfinishedRun: return IDYES;
    case kBoxNoSpace: return IDCANCEL;
    default: return IDOK;
  }
}

const char* ButtonsOf(UINT style) {
  switch (style & MB_TYPEMASK) {
    case MB_OKCANCEL: return "OK/Cancel";
    case MB_RETRYCANCEL: return "Retry/Cancel";
    case MB_ABORTRETRYIGNORE: return "Abort/Retry/Ignore";
    case MB_YESNOCANCEL: return "Yes/No/Cancel";
    case MB_YESNO: return "Yes/No";
    default: return "OK";
  }
}

}  // namespace

const char* AnswerName(int answer) {
  switch (answer) {
    case IDOK: return "OK";
    case IDCANCEL: return "Cancel";
    case IDABORT: return "Abort";
    case IDRETRY: return "Retry";
    case IDIGNORE: return "Ignore";
    case IDYES: return "Yes";
    case IDNO: return "No";
    default: return "none";
  }
}

namespace {

// The boxes that end a run.
bool IsFinalMessage(BoxKind kind) {
  return kind == kBoxFinalErrors || kind == kBoxFinalSuccess || kind == kBoxRolledBack ||
         kind == kBoxUndoIncomplete || kind == kBoxPlanWritten;
}

}  // namespace

int InstallerContext::ShowBox(BoxKind kind, const char* text, const char* caption) {
  if (!caption) caption = msgTitle;
  // A final message says so when the log could not be written to its end
  // (message 54, naming the log).
  char withNote[sizeof messageText];
  if (IsFinalMessage(kind) && RunLogIncomplete()) {
    char note[sizeof logPath + 256];
    FormatText(note, sizeof note, LoadMessage(54), logPath);
    CopyText(withNote, sizeof withNote, text);
    AppendText(withNote, sizeof withNote, note);
    text = withNote;
  }
  UINT style = BoxStyle(kind);
  int answer;
  if (noBoxes) {
    answer = AutomaticAnswer(kind);
  } else if (messageBoxAnswerer) {
    answer = messageBoxAnswerer(ownerWindow, text, caption, style);
  } else {
    answer = MessageBoxA(ownerWindow, text, caption, style);
  }
  LogEvent("BOX", "\"%s\" caption \"%s\" buttons %s: %s%s", text, caption, ButtonsOf(style),
           AnswerName(answer), noBoxes ? " (answered automatically)" : "");
  return answer;
}

bool InstallerContext::Expand(char* text, size_t capacity) {
  return ExpandPlaceholders(text, capacity, packageDir, installDir, programDir, iniFileName,
                            iniDefinitions, regDefinitions, &packageDate);
}

int InstallerContext::RunExitCode() const {
  if (versionRefused) return kExitVersionRefused;
  if (rolledBack) return kExitRolledBack;
  // A rehearsal foresees the undo of a run that stops with rollback on.
  if (RunIsRehearsal() && rollback && stopRequested) return kExitRolledBack;
  if (errorsOccurred) return kExitFailed;
  return kExitInstalled;
}

bool InstallerContext::FindSwitch(const char* name, char* value, int capacity) {
  return FindSwitchIn(commandLine, name, value, capacity);
}
