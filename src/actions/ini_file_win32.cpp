#include <windows.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "actions/ini_file.h"
#include "app/text.h"

namespace {

const int kReadCapacity = 2048;  // characters asked of the system, NUL included

// Leading blanks, one sign, digits up to the first non-digit; 0 without
// digits. Saturates instead of overflowing.
int TextToInt(const char* text) {
  long value = std::strtol(text, nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

}  // namespace

IniFile::IniFile(const char* path) : path_(DuplicateText(path)) {}

IniFile::~IniFile() { std::free(path_); }

char* IniFile::ReadString(const char* section, const char* key, const char* defaultText) {
  if (!path_) return DuplicateText(defaultText ? defaultText : "");
  // One byte more than the system is told, so the text is terminated whatever it does.
  char* buffer = static_cast<char*>(std::malloc(kReadCapacity + 1));
  if (!buffer) return nullptr;
  buffer[0] = '\0';
  DWORD length = GetPrivateProfileStringA(section, key, defaultText, buffer, kReadCapacity, path_);
  if (length >= static_cast<DWORD>(kReadCapacity)) length = kReadCapacity - 1;
  buffer[length] = '\0';
  char* text = static_cast<char*>(std::malloc(length + 1));
  if (text) std::memcpy(text, buffer, length + 1);
  std::free(buffer);
  return text;
}

char* IniFile::ReadStringInto(const char* section, const char* key, const char* defaultText,
                              char* buffer, int size) {
  if (!buffer || size <= 0) return buffer;
  if (!path_) {
    CopyText(buffer, static_cast<size_t>(size), defaultText);
    return buffer;
  }
  buffer[0] = '\0';
  GetPrivateProfileStringA(section, key, defaultText, buffer, static_cast<DWORD>(size), path_);
  buffer[size - 1] = '\0';
  return buffer;
}

int IniFile::ReadInt(const char* section, const char* key, int defaultValue) {
  char defaultText[16];
  FormatText(defaultText, sizeof defaultText, "%d", defaultValue);
  char* text = ReadString(section, key, defaultText);
  if (!text) return defaultValue;
  int value = TextToInt(text);
  std::free(text);
  return value;
}

bool IniFile::ReadBool(const char* section, const char* key, bool defaultValue) {
  char* text = ReadString(section, key, defaultValue ? "1" : "0");
  if (!text) return defaultValue;
  bool value = text[0] != '\0' && text[1] == '\0' && text[0] != '0';
  std::free(text);
  return value;
}

bool IniFile::WriteString(const char* section, const char* key, const char* value) {
  if (!path_) return false;
  return WritePrivateProfileStringA(section, key, value, path_) != FALSE;
}

bool IniFile::DeleteKey(const char* section, const char* key) {
  if (!path_) return false;
  return WritePrivateProfileStringA(section, key, nullptr, path_) != FALSE;
}

bool IniFile::DeleteSection(const char* section) {
  if (!path_) return false;
  return WritePrivateProfileStringA(section, nullptr, nullptr, path_) != FALSE;
}

bool IniFile::Flush() {
  if (!path_) return false;
  return WritePrivateProfileStringA(nullptr, nullptr, nullptr, path_) != FALSE;
}

bool ChangeIniEntry(const char* file, const char* section, const char* key, const char* value,
                    bool remove, unsigned long* errorCode) {
  IniFile ini(file);
  bool changed = false;
  DWORD code = ERROR_NOT_ENOUGH_MEMORY;
  if (ini.IsValid()) {
    if (!remove) {
      changed = ini.WriteString(section, key, value);
    } else if (!key || key[0] == '\0') {
      changed = ini.DeleteSection(section);
    } else {
      changed = ini.DeleteKey(section, key);
    }
    code = changed ? 0 : GetLastError();
    ini.Flush();
  }
  if (!changed && errorCode) *errorCode = code;
  return changed;
}

char* ReadIniEntry(const char* file, const char* section, const char* key) {
  IniFile ini(file);
  // A value never holds a line break: this default tells a missing key.
  char* value = ini.ReadString(section, key, "\n");
  if (value && std::strcmp(value, "\n") == 0) {
    std::free(value);
    return nullptr;
  }
  return value;
}
