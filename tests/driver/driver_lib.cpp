#include "driver.h"

#include <cstdio>
#include <cstring>

namespace driver {

const int kBoxButtons[7] = {IDOK, IDCANCEL, IDYES, IDNO, IDABORT, IDRETRY, IDIGNORE};
const int kSnapshotControls[11] = {kInstallDirLabel, kInstallDirField,  kBrowseIniButton,
                                   kProgramDirLabel, kProgramDirField,  kBrowseProgramButton,
                                   kInstallButton,   kCancelButton,     kStatusLine,
                                   kInfoText,        kLinkText};

namespace {

const DWORD kMessageTimeoutMs = 2000;
const char kDialogClass[] = "#32770";
const int kBoxTextId = 0xFFFF;

struct Names {
  int id;
  const char* name;
};
const Names kButtonNames[] = {{IDOK, "OK"},       {IDCANCEL, "CANCEL"}, {IDYES, "YES"},
                              {IDNO, "NO"},       {IDABORT, "ABORT"},   {IDRETRY, "RETRY"},
                              {IDIGNORE, "IGNORE"}};

// Text of a window of another process without sending it a message: the
// caption of a top-level window, of a static or of a button.
std::string StoredText(HWND w) {
  if (!w) return std::string();
  char buf[8192];
  buf[0] = 0;
  int n = GetWindowTextA(w, buf, sizeof buf);
  if (n < 0) n = 0;
  return std::string(buf, static_cast<size_t>(n));
}

// Text of an edit control: only the control knows it, so ask it.
std::string AskedText(HWND w) {
  if (!w) return std::string();
  char buf[8192];
  buf[0] = 0;
  DWORD_PTR len = 0;
  if (!SendMessageTimeoutA(w, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf),
                           SMTO_ABORTIFHUNG, kMessageTimeoutMs, &len))
    return StoredText(w);
  if (len >= sizeof buf) len = sizeof buf - 1;
  return std::string(buf, static_cast<size_t>(len));
}

bool IsDialogClass(HWND w) {
  char cls[64];
  if (!GetClassNameA(w, cls, sizeof cls)) return false;
  return std::strcmp(cls, kDialogClass) == 0;
}

bool IsMainDialog(HWND w) {
  return GetDlgItem(w, kInstallDirField) && GetDlgItem(w, kProgramDirField);
}

BOOL CALLBACK CountChild(HWND, LPARAM p) {
  ++*reinterpret_cast<int*>(p);
  return TRUE;
}

// A message box has the text static 0xFFFF and only a few controls; larger
// dialogs (the file picker) also use 0xFFFF for their labels.
bool IsMessageBox(HWND w) {
  if (!GetDlgItem(w, kBoxTextId)) return false;
  int children = 0;
  EnumChildWindows(w, CountChild, reinterpret_cast<LPARAM>(&children));
  return children <= 14;
}

BOOL CALLBACK CollectStatic(HWND w, LPARAM p) {
  char cls[32];
  if (IsWindowVisible(w) && GetClassNameA(w, cls, sizeof cls) && lstrcmpiA(cls, "Static") == 0)
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(w);
  return TRUE;
}

struct EnumState {
  DWORD pid;
  std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindow(HWND w, LPARAM p) {
  EnumState* st = reinterpret_cast<EnumState*>(p);
  DWORD pid = 0;
  GetWindowThreadProcessId(w, &pid);
  if (pid == st->pid && IsDialogClass(w)) st->windows.push_back(w);
  return TRUE;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else
      out += c;
  }
  out += '"';
  return out;
}

bool Contains(const std::string& hay, const std::string& needle) {
  return hay.find(needle) != std::string::npos;
}

}  // namespace

const char* ButtonName(int id) {
  for (const Names& n : kButtonNames)
    if (n.id == id) return n.name;
  return "?";
}

int ButtonFromName(const char* name) {
  if (!name) return 0;
  for (const Names& n : kButtonNames)
    if (lstrcmpiA(n.name, name) == 0) return n.id;
  return 0;
}

bool DialogSnapshot::IsEnabled(int controlId) const {
  for (int i = 0; i < 11; ++i)
    if (kSnapshotControls[i] == controlId) return controlEnabled[i];
  return false;
}

bool BoxRecord::HasButton(int id) const {
  for (int b : buttons)
    if (b == id) return true;
  return false;
}

std::string BoxRecord::ButtonList() const {
  std::string s;
  for (int b : buttons) {
    if (!s.empty()) s += ',';
    s += ButtonName(b);
  }
  return s;
}

// ---- steps and scenario ----

Step Step::SetInstallDir(const std::string& t) {
  Step s;
  s.kind = StepKind::kSetInstallDir;
  s.text = t;
  s.control = kInstallDirField;
  return s;
}
Step Step::SetProgramDir(const std::string& t) {
  Step s;
  s.kind = StepKind::kSetProgramDir;
  s.text = t;
  s.control = kProgramDirField;
  return s;
}
Step Step::SetField(int id, const std::string& t) {
  Step s;
  s.kind = StepKind::kSetField;
  s.text = t;
  s.control = id;
  return s;
}
static Step Simple(StepKind k, int control) {
  Step s;
  s.kind = k;
  s.control = control;
  return s;
}
Step Step::PressInstall() { return Simple(StepKind::kPressInstall, kInstallButton); }
Step Step::PressCancel() { return Simple(StepKind::kPressCancel, kCancelButton); }
Step Step::PressBrowseIni() { return Simple(StepKind::kPressBrowseIni, kBrowseIniButton); }
Step Step::PressBrowseProgram() {
  return Simple(StepKind::kPressBrowseProgram, kBrowseProgramButton);
}
Step Step::ClickLink() { return Simple(StepKind::kClickLink, kLinkText); }
Step Step::Press(int id) { return Simple(StepKind::kPressButton, id); }
Step Step::Close() { return Simple(StepKind::kClose, 0); }
Step Step::Snapshot() { return Simple(StepKind::kSnapshot, 0); }
Step Step::Action(std::function<bool(Session&)> f) {
  Step s = Simple(StepKind::kAction, 0);
  s.action = std::move(f);
  return s;
}

bool Step::IsPress() const {
  switch (kind) {
    case StepKind::kPressInstall:
    case StepKind::kPressCancel:
    case StepKind::kPressBrowseIni:
    case StepKind::kPressBrowseProgram:
    case StepKind::kClickLink:
    case StepKind::kPressButton:
    case StepKind::kClose:
    case StepKind::kAction:  // may change anything; let the program settle
      return true;
    default:
      return false;
  }
}

std::string Step::Describe() const {
  char num[16];
  std::snprintf(num, sizeof num, "%d", control);
  switch (kind) {
    case StepKind::kSetInstallDir: return "set install dir " + Quote(text);
    case StepKind::kSetProgramDir: return "set program dir " + Quote(text);
    case StepKind::kSetField: return std::string("set field ") + num + " " + Quote(text);
    case StepKind::kPressInstall: return "press install";
    case StepKind::kPressCancel: return "press cancel";
    case StepKind::kPressBrowseIni: return "press browse ini";
    case StepKind::kPressBrowseProgram: return "press browse program";
    case StepKind::kClickLink: return "click link";
    case StepKind::kPressButton: return std::string("press ") + num;
    case StepKind::kClose: return "close";
    case StepKind::kSnapshot: return "snapshot";
    case StepKind::kAction: return "action";
  }
  return "?";
}

Scenario& Scenario::Answer(const std::string& match, int button, int times) {
  Rule r;
  r.match = match;
  r.button = button;
  r.times = times;
  rules.push_back(r);
  return *this;
}

Scenario& Scenario::AnswerThen(const std::string& match, int button,
                               std::function<void(Session&, const BoxRecord&)> before,
                               int times) {
  Answer(match, button, times);
  rules.back().beforePress = std::move(before);
  return *this;
}

Scenario& Scenario::AnswerFilling(const std::string& match, int button,
                                  std::vector<std::pair<int, std::string>> fill, int times) {
  Answer(match, button, times);
  rules.back().fill = std::move(fill);
  return *this;
}

Scenario& Scenario::Then(const Step& s) {
  steps.push_back(s);
  return *this;
}

// ---- result ----

std::vector<BoxRecord> RunResult::Boxes() const {
  std::vector<BoxRecord> out;
  for (const Event& e : events)
    if (e.kind == EventKind::kBox) out.push_back(e.box);
  return out;
}

std::vector<DialogSnapshot> RunResult::Snapshots() const {
  std::vector<DialogSnapshot> out;
  for (const Event& e : events)
    if (e.kind == EventKind::kDialogSnapshot) out.push_back(e.dialog);
  return out;
}

std::vector<std::string> RunResult::StatusTexts() const {
  std::vector<std::string> out;
  for (const Event& e : events)
    if (e.kind == EventKind::kStatus) out.push_back(e.text);
  return out;
}

const BoxRecord* RunResult::FindBox(const std::string& match) const {
  for (const Event& e : events)
    if (e.kind == EventKind::kBox && (Contains(e.box.text, match) || Contains(e.box.caption, match)))
      return &e.box;
  return nullptr;
}

size_t RunResult::CountBoxes(const std::string& match) const {
  size_t n = 0;
  for (const Event& e : events)
    if (e.kind == EventKind::kBox && (Contains(e.box.text, match) || Contains(e.box.caption, match)))
      ++n;
  return n;
}

std::string RunResult::Log() const {
  std::string out;
  char head[32];
  for (const Event& e : events) {
    std::snprintf(head, sizeof head, "[%6lu ms] ", static_cast<unsigned long>(e.atMs));
    out += head;
    switch (e.kind) {
      case EventKind::kBox: {
        const BoxRecord& b = e.box;
        out += b.isMessageBox ? "BOX " : "DIALOG-OTHER ";
        out += "caption=" + Quote(b.caption) + " text=" + Quote(b.text);
        out += " buttons=" + b.ButtonList();
        if (b.defaultButton) out += std::string(" default=") + ButtonName(b.defaultButton);
        out += std::string(" -> ") + (b.pressed ? ButtonName(b.pressed) : "(none)");
        break;
      }
      case EventKind::kDialogSnapshot: {
        const DialogSnapshot& d = e.dialog;
        out += "DIALOG caption=" + Quote(d.caption) + " install=" + Quote(d.installDir) +
               " program=" + Quote(d.programDir) + " status=" + Quote(d.status);
        out += d.visible ? " visible" : " hidden";
        out += d.IsEnabled(kInstallButton) ? " install-enabled" : " install-disabled";
        break;
      }
      case EventKind::kStatus: out += "STATUS " + Quote(e.text); break;
      case EventKind::kStep: out += "STEP " + e.text; break;
      case EventKind::kNote: out += "NOTE " + e.text; break;
    }
    out += '\n';
  }
  if (started) {
    char tail[128];
    std::snprintf(tail, sizeof tail, "EXIT code=%lu%s%s%s%s\n", static_cast<unsigned long>(exitCode),
                  timedOut ? " timed-out" : "", unansweredBox ? " unanswered-box" : "",
                  actionFailed ? " action-failed" : "", killed ? " killed" : "");
    out += tail;
  }
  if (!error.empty()) out += "ERROR " + error + "\n";
  return out;
}

// ---- session ----

Session::Session(const LaunchOptions& launch, const Scenario& scenario)
    : launch_(launch), scenario_(scenario) {
  if (scenario_.pollMs == 0) scenario_.pollMs = 25;
}

Session::~Session() {
  if (processInfo_.hProcess) {
    if (WaitForSingleObject(processInfo_.hProcess, 0) == WAIT_TIMEOUT)
      TerminateProcess(processInfo_.hProcess, 0xDEAD);
    CloseHandle(processInfo_.hProcess);
  }
  if (processInfo_.hThread) CloseHandle(processInfo_.hThread);
}

DWORD Session::Elapsed() const { return GetTickCount() - startTick_; }

void Session::Add(Event e) {
  e.atMs = Elapsed();
  result_.events.push_back(std::move(e));
}

void Session::Note(const std::string& text) {
  Event e;
  e.kind = EventKind::kNote;
  e.text = text;
  Add(std::move(e));
}

void Session::Kill(const char* why) {
  if (!processInfo_.hProcess || stop_) return;
  Note(std::string("killing the program: ") + why);
  if (result_.error.empty()) result_.error = why;
  TerminateProcess(processInfo_.hProcess, 0xDEAD);
  WaitForSingleObject(processInfo_.hProcess, 5000);
  result_.killed = true;
  stop_ = true;
}

HWND Session::MainDialog() {
  if (mainDialog_ && IsWindow(mainDialog_)) return mainDialog_;
  mainDialog_ = nullptr;
  if (!processInfo_.hProcess) return nullptr;
  EnumState st;
  st.pid = processInfo_.dwProcessId;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&st));
  for (HWND w : st.windows)
    if (IsMainDialog(w)) mainDialog_ = w;
  return mainDialog_;
}

DialogSnapshot Session::Snapshot() {
  DialogSnapshot d;
  HWND dlg = MainDialog();
  if (!dlg) return d;
  d.valid = true;
  d.visible = IsWindowVisible(dlg) != FALSE;
  d.enabled = IsWindowEnabled(dlg) != FALSE;
  d.caption = StoredText(dlg);
  d.installDir = AskedText(GetDlgItem(dlg, kInstallDirField));
  d.programDir = AskedText(GetDlgItem(dlg, kProgramDirField));
  d.installLabel = StoredText(GetDlgItem(dlg, kInstallDirLabel));
  d.programLabel = StoredText(GetDlgItem(dlg, kProgramDirLabel));
  d.info = StoredText(GetDlgItem(dlg, kInfoText));
  d.link = StoredText(GetDlgItem(dlg, kLinkText));
  d.status = StoredText(GetDlgItem(dlg, kStatusLine));
  d.installText = StoredText(GetDlgItem(dlg, kInstallButton));
  d.cancelText = StoredText(GetDlgItem(dlg, kCancelButton));
  for (int i = 0; i < 11; ++i) {
    HWND c = GetDlgItem(dlg, kSnapshotControls[i]);
    d.controlEnabled[i] = c && IsWindowEnabled(c);
  }
  return d;
}

std::string Session::GetField(int id) {
  HWND dlg = MainDialog();
  if (!dlg) return std::string();
  return AskedText(GetDlgItem(dlg, id));
}

bool Session::SetField(int id, const std::string& text) {
  HWND dlg = MainDialog();
  HWND c = dlg ? GetDlgItem(dlg, id) : nullptr;
  if (!c) return false;
  DWORD_PTR r = 0;
  return SendMessageTimeoutA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()),
                             SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r) != 0;
}

bool Session::Press(int id) {
  HWND dlg = MainDialog();
  HWND c = dlg ? GetDlgItem(dlg, id) : nullptr;
  if (!c) return false;
  return PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(c)) != 0;
}

bool Session::ClickLink() {
  HWND dlg = MainDialog();
  HWND c = dlg ? GetDlgItem(dlg, kLinkText) : nullptr;
  if (!c) return false;
  return PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(kLinkText, STN_CLICKED),
                      reinterpret_cast<LPARAM>(c)) != 0;
}

bool Session::Close() {
  HWND dlg = MainDialog();
  if (!dlg) return false;
  return PostMessageA(dlg, WM_CLOSE, 0, 0) != 0;
}

void Session::HandleBox(HWND box, bool isMessageBox) {
  Event e;
  e.kind = EventKind::kBox;
  BoxRecord& b = e.box;
  b.window = box;
  b.isMessageBox = isMessageBox;
  b.caption = StoredText(box);
  if (isMessageBox) {
    b.text = StoredText(GetDlgItem(box, kBoxTextId));
  } else {
    std::vector<HWND> statics;
    EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&statics));
    for (HWND s : statics) {
      std::string t = StoredText(s);
      if (t.empty()) continue;
      if (!b.text.empty()) b.text += '\n';
      b.text += t;
    }
  }
  for (int id : kBoxButtons) {
    HWND h = GetDlgItem(box, id);
    if (h && IsWindowVisible(h)) b.buttons.push_back(id);
  }
  DWORD_PTR def = 0;
  if (SendMessageTimeoutA(box, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, kMessageTimeoutMs, &def) &&
      HIWORD(def) == DC_HASDEFID && b.HasButton(LOWORD(def)))
    b.defaultButton = LOWORD(def);
  if (!b.defaultButton) {
    for (int id : b.buttons) {
      HWND h = GetDlgItem(box, id);
      if ((GetWindowLongA(h, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON) b.defaultButton = id;
    }
  }
  HWND dlg = MainDialog();
  if (dlg) {
    b.dialogPresent = true;
    b.dialogVisible = IsWindowVisible(dlg) != FALSE;
    b.dialogStatus = StoredText(GetDlgItem(dlg, kStatusLine));
  }
  seenBoxes_.push_back(box);

  Rule* rule = nullptr;
  for (Rule& r : scenario_.rules) {
    if (r.times >= 0 && r.used >= r.times) continue;
    if (r.match.empty() || Contains(b.text, r.match) || Contains(b.caption, r.match)) {
      rule = &r;
      break;
    }
  }
  if (!rule) {
    Add(e);
    result_.unansweredBox = true;
    result_.error = "no rule answers the box " + Quote(b.caption) + " " + Quote(b.text);
    Kill("unanswered box");
    return;
  }
  if (!b.HasButton(rule->button)) {
    Add(e);
    result_.unansweredBox = true;
    result_.error = std::string("the box ") + Quote(b.text) + " has no button " +
                    ButtonName(rule->button) + " (it has " + b.ButtonList() + ")";
    Kill("answer not possible");
    return;
  }
  ++rule->used;
  if (rule->beforePress) rule->beforePress(*this, b);
  for (const std::pair<int, std::string>& f : rule->fill) {
    DWORD_PTR r = 0;
    HWND c = GetDlgItem(box, f.first);
    if (!c || !SendMessageTimeoutA(c, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(f.second.c_str()),
                                   SMTO_ABORTIFHUNG, kMessageTimeoutMs, &r)) {
      char id[16];
      std::snprintf(id, sizeof id, "%d", f.first);
      Note(std::string("cannot fill control ") + id + " of the box " + Quote(b.caption));
    }
  }
  HWND button = GetDlgItem(box, rule->button);
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(rule->button, BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
  b.pressed = rule->button;
  Add(e);
}

bool Session::DialogIdle(HWND dlg, bool anyBoxOpen) {
  if (anyBoxOpen) return false;
  if (!IsWindowVisible(dlg) || !IsWindowEnabled(dlg)) return false;
  HWND install = GetDlgItem(dlg, kInstallButton);
  return install && IsWindowEnabled(install);
}

void Session::RunSteps(HWND dlg) {
  (void)dlg;
  while (nextStep_ < scenario_.steps.size() && !stop_) {
    const Step& s = scenario_.steps[nextStep_++];
    Event snap;
    snap.kind = EventKind::kDialogSnapshot;
    snap.dialog = Snapshot();
    Add(snap);
    Event ev;
    ev.kind = EventKind::kStep;
    ev.text = s.Describe();
    bool ok = true;
    switch (s.kind) {
      case StepKind::kSetInstallDir:
      case StepKind::kSetProgramDir:
      case StepKind::kSetField: ok = SetField(s.control, s.text); break;
      case StepKind::kPressInstall:
      case StepKind::kPressCancel:
      case StepKind::kPressBrowseIni:
      case StepKind::kPressBrowseProgram:
      case StepKind::kPressButton: ok = Press(s.control); break;
      case StepKind::kClickLink: ok = ClickLink(); break;
      case StepKind::kClose: ok = Close(); break;
      case StepKind::kSnapshot: break;
      case StepKind::kAction: break;
    }
    if (!ok) ev.text += " (failed)";
    Add(ev);
    ++result_.stepsDone;
    if (s.kind == StepKind::kAction && s.action && !s.action(*this)) {
      result_.actionFailed = true;
      result_.error = "an action step failed";
      Kill("action failed");
      return;
    }
    if (s.IsPress()) break;
  }
}

void Session::Poll() {
  EnumState st;
  st.pid = processInfo_.dwProcessId;
  EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&st));

  for (size_t i = 0; i < seenBoxes_.size();) {
    if (!IsWindow(seenBoxes_[i]))
      seenBoxes_.erase(seenBoxes_.begin() + static_cast<long>(i));
    else
      ++i;
  }

  HWND dlg = nullptr;
  bool anyBoxOpen = false;
  for (HWND w : st.windows) {
    if (IsMainDialog(w)) {
      dlg = w;
      continue;
    }
    if (!IsWindowVisible(w)) continue;
    anyBoxOpen = true;
    bool seen = false;
    for (HWND s : seenBoxes_)
      if (s == w) seen = true;
    if (seen) continue;
    HandleBox(w, IsMessageBox(w));
    if (stop_) return;
  }
  mainDialog_ = dlg;
  if (!dlg) {
    idleTracked_ = false;
    return;
  }

  if (!dialogAnnounced_ && IsWindowVisible(dlg)) {
    dialogAnnounced_ = true;
    Event e;
    e.kind = EventKind::kDialogSnapshot;
    e.dialog = Snapshot();
    Add(e);
  }
  std::string status = StoredText(GetDlgItem(dlg, kStatusLine));
  if (!statusKnown_ || status != lastStatus_) {
    if (statusKnown_ || !status.empty()) {
      Event e;
      e.kind = EventKind::kStatus;
      e.text = status;
      Add(e);
    }
    statusKnown_ = true;
    lastStatus_ = status;
  }

  if (nextStep_ >= scenario_.steps.size()) return;
  // The dialog looks idle also between two boxes of one handler and before
  // a posted start is handled: only a dialog that stays idle a while waits
  // for the user.
  if (!DialogIdle(dlg, anyBoxOpen)) {
    idleTracked_ = false;
    return;
  }
  if (!idleTracked_) {
    idleTracked_ = true;
    idleSinceMs_ = Elapsed();
    return;
  }
  if (Elapsed() - idleSinceMs_ < scenario_.settleMs) return;
  RunSteps(dlg);
  idleTracked_ = false;
}

RunResult Session::Run() {
  std::string cmd = "\"" + launch_.exe + "\"";
  if (!launch_.arguments.empty()) cmd += " " + launch_.arguments;
  std::vector<char> cmdBuf(cmd.begin(), cmd.end());
  cmdBuf.push_back(0);
  STARTUPINFOA si = {};
  si.cb = sizeof si;
  startTick_ = GetTickCount();
  // Wine now and then fails a start with an internal error (1359) under
  // load; a start that fails so is tried again before the run counts as
  // failed.
  bool created = false;
  for (int attempt = 0; attempt < 3 && !created; ++attempt) {
    if (attempt > 0) Sleep(200);
    created = CreateProcessA(launch_.exe.c_str(), &cmdBuf[0], nullptr, nullptr, FALSE, 0, nullptr,
                             launch_.directory.empty() ? nullptr : launch_.directory.c_str(), &si,
                             &processInfo_) != FALSE;
    if (!created && GetLastError() != ERROR_INTERNAL_ERROR) break;
  }
  if (!created) {
    char err[64];
    std::snprintf(err, sizeof err, "CreateProcess failed, error %lu",
                  static_cast<unsigned long>(GetLastError()));
    result_.error = err;
    processInfo_ = PROCESS_INFORMATION();
    return result_;
  }
  result_.started = true;
  Note("started " + Quote(launch_.exe) + " args=" + Quote(launch_.arguments) +
       " dir=" + Quote(launch_.directory));
  while (!stop_) {
    if (WaitForSingleObject(processInfo_.hProcess, scenario_.pollMs) == WAIT_OBJECT_0) break;
    Poll();
    if (!stop_ && Elapsed() > scenario_.timeoutMs) {
      result_.timedOut = true;
      Kill("time bound passed");
    }
  }
  DWORD code = 0;
  if (GetExitCodeProcess(processInfo_.hProcess, &code)) result_.exitCode = code;
  return result_;
}

RunResult RunProgram(const std::string& exe, const std::string& arguments,
                     const std::string& directory, const Scenario& scenario) {
  LaunchOptions o;
  o.exe = exe;
  o.arguments = arguments;
  o.directory = directory;
  Session s(o, scenario);
  return s.Run();
}

std::string ToUtf8(const std::string& ansi, UINT codePage) {
  if (ansi.empty()) return std::string();
  int wn = MultiByteToWideChar(codePage, 0, ansi.data(), static_cast<int>(ansi.size()), nullptr, 0);
  if (wn <= 0) return ansi;
  std::vector<wchar_t> w(static_cast<size_t>(wn));
  MultiByteToWideChar(codePage, 0, ansi.data(), static_cast<int>(ansi.size()), w.data(), wn);
  int un = WideCharToMultiByte(CP_UTF8, 0, w.data(), wn, nullptr, 0, nullptr, nullptr);
  if (un <= 0) return ansi;
  std::string out(static_cast<size_t>(un), '\0');
  WideCharToMultiByte(CP_UTF8, 0, w.data(), wn, &out[0], un, nullptr, nullptr);
  return out;
}

}  // namespace driver
