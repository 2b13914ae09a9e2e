// INI files through the system's profile functions.
#pragma once

// Names one INI file; every operation is one profile call on that path.
class IniFile {
 public:
  explicit IniFile(const char* path);
  ~IniFile();
  IniFile(const IniFile&) = delete;
  IniFile& operator=(const IniFile&) = delete;

  bool IsValid() const { return path_ != nullptr; }

  // New heap text (caller frees with free), at most 2047 characters.
  char* ReadString(const char* section, const char* key, const char* defaultText);
  // Into the caller's buffer of `size` bytes (NUL included).
  char* ReadStringInto(const char* section, const char* key, const char* defaultText,
                       char* buffer, int size);
  int ReadInt(const char* section, const char* key, int defaultValue);
  bool ReadBool(const char* section, const char* key, bool defaultValue);
  bool WriteString(const char* section, const char* key, const char* value);
  bool DeleteKey(const char* section, const char* key);
  bool DeleteSection(const char* section);
  bool Flush();

 private:
  char* path_;
};

// One change of one INI file, flushed at once. With remove set: the whole
// section when key is empty, else the key; value is then not used. False
// (with the system's error code, when asked for) when the system refused.
bool ChangeIniEntry(const char* file, const char* section, const char* key, const char* value,
                    bool remove, unsigned long* errorCode = nullptr);

// The value of key in section of the INI file as the system reads it: a new
// heap text (free), or null when the file has no such key.
char* ReadIniEntry(const char* file, const char* section, const char* key);
