// The one installer context: every path, option, flag, the open script, the
// definition tables and the executor's work buffers of a run.
#pragma once
#include <windows.h>
#undef ReplaceFile  // ours copies aside a busy program file; not the system call

#include <cstdio>

#include "expand/expand.h"
#include "script/script_survey.h"
#include "version/version.h"

// Dialog 101 and its controls.
enum {
  IDD_MAIN = 101,
  IDI_MAIN = 102,
  IDC_INSTALLDIR = 1000,
  IDC_BROWSE_INI = 1001,
  IDC_PROGRAMDIR = 1002,
  IDC_BROWSE_PROGRAM = 1003,
  IDC_STATUS = 1007,
  IDC_PROGRAMDIR_LABEL = 1008,
  IDC_INSTALLDIR_LABEL = 1009,
  IDC_INFO = 1010,
  IDC_LINK = 1011
};

const UINT WM_START_INSTALL = WM_USER + 1;

// Exit codes of the process.
enum ExitCode {
  kExitInstalled = 0,       // the installation ran without a failure
  kExitCancelled = 1,       // cancelled, or could not start; nothing installed
  kExitVersionRefused = 2,  // the package-wide version check refused; nothing changed
  kExitFailed = 3,          // a copy or program start failed, or the user aborted
  kExitRolledBack = 4,      // the user stopped the run and every change was undone
  kExitLogIncomplete = 5    // installed without a failure, but the log could not be completed
};

// Every kind of message box; its style lives in ShowBox alone.
enum BoxKind {
  kBoxMissingScript,   // OK, warning, foreground
  kBoxMissingProgram,  // OK, warning (messages 9 and 40)
  kBoxAskLocation,     // Yes/No, question, foreground (message 7)
  kBoxConfirm,         // Yes/No/Cancel, question, foreground (message 11)
  kBoxPathError,       // OK, error, foreground (message 12)
  kBoxAppRunning,      // OK/Cancel, information, foreground (messages 1, 3)
  kBoxActionFailed,    // Abort/Retry/Ignore, error, foreground (messages 32, 35)
  kBoxMissingSource,   // Yes/No, error, foreground (message 34)
  kBoxVersionQuestion, // Yes/No, warning, No default (messages 17, 18)
  kBoxMalformedBound,  // Yes/No, error, Yes default (message 14)
  kBoxFinalErrors,     // OK, warning, foreground (message 37)
  kBoxFinalSuccess,    // OK, information, foreground (byeMsg)
  kBoxLogFailed,       // OK, error, foreground (message 50)
  kBoxPlanWritten,     // OK, information (message 51)
  kBoxRolledBack,      // OK, information, foreground (message 47)
  kBoxUndoIncomplete,  // OK, error, foreground (message 48)
  kBoxUnfinishedRun,   // Yes/No, question (message 49)
  kBoxJournalFailed,   // OK, error, foreground (message 52)
  kBoxJournalUnverified,  // OK, warning, foreground (message 53)
  kBoxSealFailed,      // OK, error, foreground (message 55)
  kBoxNoSpace          // Retry/Cancel, warning, foreground (message 56)
};

// Tests replace the system's message box with a scripted answerer.
typedef int (*MessageBoxAnswerer)(HWND owner, const char* text, const char* caption, UINT style);
void SetMessageBoxAnswerer(MessageBoxAnswerer answerer);
// The style flags of a kind of box.
UINT BoxStyle(BoxKind kind);
// "Yes", "Abort", ... for a box's answer; "none" for anything else.
const char* AnswerName(int answer);

class InstallerContext {
 public:
  InstallerContext();
  ~InstallerContext();

  // --- catalogue, status line, message boxes
  const char* LoadMessage(int number);
  void ShowStatus(int action, const char* detail);
  // Owned by ownerWindow; a null caption means msgTitle.
  int ShowBox(BoxKind kind, const char* text, const char* caption);
  void CloseScript();

  // --- start-up configuration
  bool LoadConfiguration();
  bool LoadOptions();          // first stage: setup.dat and [Options]
  bool LocateInstallation();   // second stage: install and program directories
  bool FindSwitch(const char* name, char* value, int capacity);
  void DeriveProgramDir(char* candidateInstallDir, char* programDirOut);

  // --- running-application guard
  bool WaitForAppClosed();
  void FindAppWindow();

  // --- executor and actions
  void RunScript();
  bool CheckProgramVersion(int suffixMessage);
  bool CheckVersionBound(const char* bound, const FileVersion& version, bool maximum,
                         int suffixMessage);
  void ApplyCopyLine();
  void ApplyRunLine();
  void ApplyDeleteLine();
  void ApplyMoveLine();
  void ApplyChangeDirLine();
  // --- the run's record (/log, /plan, /noboxes)
  // Reads the switches and creates the log; false (after message 50) when
  // the log cannot be created: the run does not start.
  bool StartRunRecord();
  // The END event with the exit code (a rehearsal's: the one it predicts);
  // closes the log. Returns the code the process ends with: where the log
  // could not be completed, 5 instead of 0, and 1 for a rehearsal.
  int FinishRunRecord(int exitCode);
  // Logs the directories the installation runs with, and who chose them.
  void LogChosenLocation(const char* how);

  // --- rollback (Rollback=1, /rollback)
  // Right after the guard: a journal left in the install directory by an
  // earlier run is offered for undo (message 49), or reported as not
  // verified (message 53). False when an undo stayed incomplete: the run
  // ends (message 48 said so).
  bool OfferUnfinishedJournal();
  // Just before the first action: this run's journal. False (after message
  // 52; endCause "journal") when it cannot be made: nothing is installed.
  bool BeginRunJournal();
  // At the end of the run: undoes everything when the user stopped it, else
  // lets the result stand. True when it showed the final message itself.
  bool FinishRollback();

  // --- before the first change (after the version check)
  // Calls visit for what each line will take and change, in the run's order.
  void SurveyScript(SurveyVisitor visit, void* data);
  // A sealed package must be as it was sealed; false (after message 55)
  // when it is not: the run changes nothing.
  bool CheckPackageSeal();
  // The copies must fit on their volumes; false when the user cancels
  // message 56: the run changes nothing.
  bool CheckFreeSpace();

  // Expands text in place with the run's directories, tables and date.
  bool Expand(char* text, size_t capacity);
  // The exit code the finished run reports.
  int RunExitCode() const;

  char messageBuffers[3][256];
  int messageSlot;
  char readIniBinDir[261];
  char installDir[261];
  char scratchPath[1301];
  char targetPath[1301];
  char packageDir[261];
  char lineBuffer[1301];
  char sourceDir[261];
  char targetSpec[261];
  char programDir[261];
  char iniFileName[261];
  char* runArguments;
  char* optionValue;
  char* copyFilter;
  char errorText[2601];
  char messageText[3903];
  char* iniDefinitions[kDefinitionSlots];
  char* regDefinitions[kDefinitionSlots];
  int registryValueSize;
  int lineLength;
  int loopIndex;
  int currentAction;
  bool locationKnown;
  bool fileAccepted;
  bool errorsOccurred;
  bool needUserChoice;
  bool stopRequested;
  HANDLE findHandle;
  WIN32_FIND_DATAA findData;
  HWND runningAppWindow;
  FILE* scriptFile;
  HWND ownerWindow;
  char msgTitle[512];
  char byeMsg[512];
  bool installing;
  char minVer[512];
  char maxVer[512];
  char verProg[1301];
  bool killApp;
  char info[512];
  char url[257];
  DateValue packageDate;
  HINSTANCE resourceModule;
  bool hideWindow;
  int languageId;
  const char* commandLine;
  // Set when the package-wide version check refused the installation.
  bool versionRefused;
  // /noboxes: every box is answered automatically, and a run that would
  // need a person ends instead.
  bool noBoxes;
  // A rehearsal whose log is the plan file in the temporary directory:
  // message 51 names it at the end.
  bool planInTempFile;
  char logPath[261];
  // The package or the command line asks for an undo journal.
  bool rollback;
  // Every change of the stopped run was undone.
  bool rolledBack;
  // Why a run that installed nothing ended with exit code 1, one word for
  // the log's END line: "cancelled", "no-installation", "quillon-running",
  // "log", "journal", "seal" or "space"; null until a cause is known.
  const char* endCause;
};

extern InstallerContext installer;

// System text of the last failed file operation (LocalAlloc'ed), or null.
extern char* systemErrorText;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
bool ChooseFolder(HWND owner, const char* title, char* path);
bool ParseOpenCommand(char* command, char* programDirOut, char* iniNameOut);

// File routines shared by the actions.
void CreateDirectoryPath(const char* path);
void ClearReadOnly(const char* path);
void CopyReadOnly(const char* source, const char* target);
bool ReplaceFile(const char* source, const char* target);
// exitCode (may be null) receives the program's exit code.
bool RunAndWait(const char* program, const char* parameters, unsigned long* exitCode = nullptr);
void FormatSystemError(DWORD code);
