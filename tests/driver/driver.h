// Drives a Windows GUI program from outside: starts it, records and answers
// its message boxes, and works its main dialog through window messages, the
// way a user would. Only windows of the started process are looked at, so
// several drivers can run side by side.
//
// All texts are the program's ANSI bytes (Windows-1250 for Czech/Slovak).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace driver {

// Control ids of the main dialog.
enum : int {
  kInstallButton = IDOK,
  kCancelButton = IDCANCEL,
  kInstallDirField = 1000,
  kBrowseIniButton = 1001,
  kProgramDirField = 1002,
  kBrowseProgramButton = 1003,
  kStatusLine = 1007,
  kProgramDirLabel = 1008,
  kInstallDirLabel = 1009,
  kInfoText = 1010,
  kLinkText = 1011,
};

// The buttons a box may carry, in the order they are reported.
extern const int kBoxButtons[7];

// "OK", "CANCEL", "YES", "NO", "ABORT", "RETRY", "IGNORE"; "?" otherwise.
const char* ButtonName(int id);
// Inverse of ButtonName (case-insensitive); 0 when unknown.
int ButtonFromName(const char* name);

struct DialogSnapshot {
  bool valid = false;  // false when the dialog was not there
  bool visible = false;
  bool enabled = false;  // the dialog window itself (false under a modal box)
  std::string caption;
  std::string installDir;    // 1000
  std::string programDir;    // 1002
  std::string installLabel;  // 1009
  std::string programLabel;  // 1008
  std::string info;          // 1010
  std::string link;          // 1011
  std::string status;        // 1007
  std::string installText;   // 1
  std::string cancelText;    // 2
  // Enabled state of the controls, in this order:
  // 1009, 1000, 1001, 1008, 1002, 1003, 1, 2, 1007, 1010, 1011.
  bool controlEnabled[11] = {};
  bool IsEnabled(int controlId) const;
};

// Ids in the order of DialogSnapshot::controlEnabled.
extern const int kSnapshotControls[11];

struct BoxRecord {
  HWND window = nullptr;
  bool isMessageBox = true;  // false: some other dialog (file picker, ...)
  std::string caption;
  // Message box: the static 0xFFFF. Other dialogs: their visible static
  // texts, one a line (e.g. the folder picker's title).
  std::string text;
  std::vector<int> buttons;  // ids present and visible, kBoxButtons order
  int defaultButton = 0;     // from DM_GETDEFID; 0 when unknown
  int pressed = 0;           // the button the driver pressed; 0 none
  // The main dialog at the moment the box was seen.
  bool dialogPresent = false;
  bool dialogVisible = false;
  std::string dialogStatus;
  bool HasButton(int id) const;
  std::string ButtonList() const;  // e.g. "YES,NO"
};

enum class EventKind {
  kBox,             // a message box or another dialog of the program
  kDialogSnapshot,  // the main dialog, taken before each step / when it appears
  kStatus,          // the status line changed (as far as polling saw it)
  kStep,            // a dialog step was carried out
  kNote,            // driver remarks: start, failures, kill
};

struct Event {
  EventKind kind = EventKind::kNote;
  DWORD atMs = 0;  // since the start of the program
  BoxRecord box;
  DialogSnapshot dialog;
  std::string text;  // status text, step description or note
};

class Session;

// Answer to a box: the first rule whose `match` is a substring of the box
// text or caption (an empty match takes every box) and that has uses left.
struct Rule {
  std::string match;
  int button = IDOK;
  int times = -1;  // -1: unlimited
  // Texts put into controls of the box (WM_SETTEXT) before the press, e.g.
  // the file name of the file picker (0x47C).
  std::vector<std::pair<int, std::string>> fill;
  // Runs just before the button is pressed (e.g. close a window the program
  // waits for).
  std::function<void(Session&, const BoxRecord&)> beforePress;
  int used = 0;
};

enum class StepKind {
  kSetInstallDir,   // WM_SETTEXT on 1000
  kSetProgramDir,   // WM_SETTEXT on 1002
  kSetField,        // WM_SETTEXT on `control`
  kPressInstall,    // 1
  kPressCancel,     // 2
  kPressBrowseIni,  // 1001
  kPressBrowseProgram,  // 1003
  kClickLink,       // 1011, STN_CLICKED
  kPressButton,     // BN_CLICKED on `control`
  kClose,           // WM_CLOSE to the dialog
  kSnapshot,        // only record the dialog
  kAction,          // run `action`
};

// Steps run in order whenever the main dialog waits for the user (visible,
// enabled, Install enabled, no box open). Steps that only set or look run
// back to back; a step that presses something is followed by a pause until
// the program has reacted (a box, a change of state or a quiet moment).
struct Step {
  StepKind kind = StepKind::kSnapshot;
  std::string text;  // for the set steps
  int control = 0;   // for kSetField / kPressButton
  // For kAction: return false to fail the run.
  std::function<bool(Session&)> action;

  static Step SetInstallDir(const std::string& t);
  static Step SetProgramDir(const std::string& t);
  static Step SetField(int id, const std::string& t);
  static Step PressInstall();
  static Step PressCancel();
  static Step PressBrowseIni();
  static Step PressBrowseProgram();
  static Step ClickLink();
  static Step Press(int id);
  static Step Close();
  static Step Snapshot();
  static Step Action(std::function<bool(Session&)> f);
  bool IsPress() const;
  std::string Describe() const;
};

struct Scenario {
  std::vector<Rule> rules;
  std::vector<Step> steps;
  DWORD timeoutMs = 30000;
  DWORD pollMs = 25;
  // How long the dialog must stay unchanged after a press before the next
  // step may run, if nothing visible happened in between.
  DWORD settleMs = 400;

  Scenario& Answer(const std::string& match, int button, int times = -1);
  Scenario& AnswerThen(const std::string& match, int button,
                       std::function<void(Session&, const BoxRecord&)> before,
                       int times = -1);
  Scenario& AnswerFilling(const std::string& match, int button,
                          std::vector<std::pair<int, std::string>> fill, int times = -1);
  Scenario& Then(const Step& s);
};

struct RunResult {
  bool started = false;
  DWORD exitCode = 0;         // GetExitCodeProcess (after a kill: 0xDEAD)
  bool timedOut = false;      // the time bound passed; the program was killed
  bool unansweredBox = false; // a box matched no rule; the program was killed
  bool actionFailed = false;  // a kAction step returned false; killed
  bool killed = false;
  size_t stepsDone = 0;
  std::vector<Event> events;
  std::string error;  // why the run failed, for messages

  // True when the program ended on its own with no driver failure.
  bool Clean() const {
    return started && !timedOut && !unansweredBox && !actionFailed && !killed;
  }
  std::vector<BoxRecord> Boxes() const;
  std::vector<DialogSnapshot> Snapshots() const;
  std::vector<std::string> StatusTexts() const;
  // The first box whose text or caption contains `match`, or null.
  const BoxRecord* FindBox(const std::string& match) const;
  size_t CountBoxes(const std::string& match) const;
  // The log as text, one event a line (bytes as they are).
  std::string Log() const;
};

struct LaunchOptions {
  std::string exe;        // full path of the program
  std::string arguments;  // command line after the program's name
  std::string directory;  // working directory; empty: the driver's own
};

// One run of the program; handed to callbacks so they can look at the
// dialog while the run goes on.
class Session {
 public:
  Session(const LaunchOptions& launch, const Scenario& scenario);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Starts the program and drives it to its end (or the time bound).
  RunResult Run();

  // -- For callbacks and for tests that drive by hand. --
  DWORD ProcessId() const { return processInfo_.dwProcessId; }
  HANDLE Process() const { return processInfo_.hProcess; }
  HWND MainDialog();  // null when not (yet, or any longer) there
  DialogSnapshot Snapshot();
  std::string GetField(int id);
  bool SetField(int id, const std::string& text);
  bool Press(int id);
  bool ClickLink();
  bool Close();
  void Note(const std::string& text);

 private:
  struct Seen;
  void Poll();
  void HandleBox(HWND box, bool isMessageBox);
  bool DialogIdle(HWND dlg, bool anyBoxOpen);
  void RunSteps(HWND dlg);
  void Kill(const char* why);
  DWORD Elapsed() const;
  void Add(Event e);

  LaunchOptions launch_;
  Scenario scenario_;
  RunResult result_;
  PROCESS_INFORMATION processInfo_ = {};
  DWORD startTick_ = 0;
  std::vector<HWND> seenBoxes_;  // boxes already recorded (pruned when gone)
  HWND mainDialog_ = nullptr;
  bool dialogAnnounced_ = false;
  std::string lastStatus_;
  bool statusKnown_ = false;
  size_t nextStep_ = 0;
  bool waitingAfterPress_ = false;
  bool sawChangeSincePress_ = false;
  DWORD idleSinceMs_ = 0;
  bool idleTracked_ = false;
  bool stop_ = false;
};

// Convenience: one run of `exe` in `directory`.
RunResult RunProgram(const std::string& exe, const std::string& arguments,
                     const std::string& directory, const Scenario& scenario);

// Windows-1250 bytes -> UTF-8, for messages and logs.
std::string ToUtf8(const std::string& ansi, UINT codePage = 1250);

}  // namespace driver
