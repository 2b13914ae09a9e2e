#include "unit/unit_support.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "expand/definitions.h"

extern char* systemErrorText;

namespace unit {

void ResetInstaller() {
  installer.CloseScript();
  FreeDefinitions(installer.iniDefinitions, kDefinitionCapacity);
  FreeDefinitions(installer.regDefinitions, kDefinitionCapacity);
  std::memset(static_cast<void*>(&installer), 0, sizeof installer);
  new (&installer) InstallerContext();
  installer.resourceModule = GetModuleHandleA(nullptr);
  SetMessageBoxAnswerer(nullptr);
}

namespace {
ScriptedBoxes* activeBoxes = nullptr;
}

ScriptedBoxes::ScriptedBoxes(int defaultAnswer) : default_(defaultAnswer) {
  activeBoxes = this;
  SetMessageBoxAnswerer(&ScriptedBoxes::Answerer);
}

ScriptedBoxes::~ScriptedBoxes() {
  SetMessageBoxAnswerer(nullptr);
  activeBoxes = nullptr;
}

int ScriptedBoxes::Answerer(HWND, const char* text, const char* caption, UINT style) {
  ScriptedBoxes* self = activeBoxes;
  self->boxes_.push_back({text ? text : "", caption ? caption : "", style});
  if (self->callback_) self->callback_(static_cast<int>(self->boxes_.size()) - 1);
  if (self->next_ < self->answers_.size()) return self->answers_[self->next_++];
  return self->default_;
}

TempDir::TempDir() {
  char base[MAX_PATH + 1];
  GetTempPathA(sizeof base, base);
  static unsigned counter = 0;
  char name[MAX_PATH + 64];
  for (;;) {
    std::snprintf(name, sizeof name, "%ssetup-unit-%lu-%u", base, GetCurrentProcessId(), counter++);
    if (CreateDirectoryA(name, nullptr)) break;
  }
  path_ = name;
}

TempDir::~TempDir() { RemoveTree(path_); }

void TempDir::Write(const std::string& name, const std::string& bytes) const {
  std::string full = File(name);
  FILE* file = std::fopen(full.c_str(), "wb");
  if (!file) return;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fclose(file);
}

std::string ReadFileBytes(const std::string& path) {
  std::string bytes;
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return "<missing>";
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) bytes.append(chunk, got);
  std::fclose(file);
  return bytes;
}

std::string FixturePath(const std::string& name) {
  return std::string(SETUP_FIXTURE_DIR) + "\\" + name;
}

void DeleteRegistryTree(HKEY root, const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS) {
    std::vector<std::string> children;
    char name[256];
    for (DWORD i = 0;; ++i) {
      DWORD size = sizeof name;
      if (RegEnumKeyExA(key, i, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
        break;
      }
      children.push_back(name);
    }
    RegCloseKey(key);
    for (const std::string& child : children) DeleteRegistryTree(root, path + "\\" + child);
  }
  RegDeleteKeyA(root, path.c_str());
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      if (!std::strcmp(entry.cFileName, ".") || !std::strcmp(entry.cFileName, "..")) continue;
      std::string child = path + "\\" + entry.cFileName;
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
  }
  RemoveDirectoryA(path.c_str());
}

std::string Message(int id) {
  char buffer[256];
  int length = LoadStringA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
  return std::string(buffer, length > 0 ? length : 0);
}

}  // namespace unit
