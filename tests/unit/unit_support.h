// Shared helpers of the Wine unit tests: a fresh installer context, scripted
// message boxes, temporary directories, fixtures and registry clean-up.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

#include "app/installer_context.h"

namespace unit {

// Puts the global context back into its start state (frees what it holds).
void ResetInstaller();

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT style;
};

// Records every message box and answers from a queue (then a default).
class ScriptedBoxes {
 public:
  explicit ScriptedBoxes(int defaultAnswer = IDOK);
  ~ScriptedBoxes();
  void Answer(int button) { answers_.push_back(button); }
  // Called before each answer is returned, e.g. to close a window.
  void OnBox(void (*callback)(int index)) { callback_ = callback; }
  const std::vector<RecordedBox>& boxes() const { return boxes_; }

 private:
  static int Answerer(HWND owner, const char* text, const char* caption, UINT style);
  std::vector<RecordedBox> boxes_;
  std::vector<int> answers_;
  size_t next_ = 0;
  int default_;
  void (*callback_)(int) = nullptr;
};

// A new empty directory under the Windows temporary directory, removed with
// everything in it when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::string& path() const { return path_; }  // ends without a backslash
  std::string File(const std::string& name) const { return path_ + "\\" + name; }
  void Write(const std::string& name, const std::string& bytes) const;

 private:
  std::string path_;
};

// The whole file, or "<missing>".
std::string ReadFileBytes(const std::string& path);
void RemoveTree(const std::string& path);
// A file of the fixture directory.
std::string FixturePath(const std::string& name);
// Deletes a registry key with everything below it.
void DeleteRegistryTree(HKEY root, const std::string& path);
// Windows-1250 bytes of a catalogue text as the resources hold it.
std::string Message(int id);

}  // namespace unit
