// What setupcheck needs from the system, taken the way Setup takes it: the
// profile reader's view of setup.dat ([Options] values) and the file search
// of [Copy] lines. On Windows these are the system calls themselves; other
// systems get an emulation, which a Wine test compares with the calls.
#pragma once
#include <string>
#include <vector>

struct FoundEntry {
  std::string name;
  bool directory;
};

struct CheckPlatform {
  // GetPrivateProfileStringA(section, key, defaultText, buffer, size, path):
  // the characters stored in buffer (size bytes, always terminated).
  int (*readProfileString)(const char* path, const char* section, const char* key,
                           const char* defaultText, char* buffer, int size);
  // FindFirstFileA/FindNextFileA on `directory` followed by `pattern`: the
  // directory as setupcheck was given it, ending in a separator; the pattern
  // a Windows path relative to it, wildcards allowed in its last part. False
  // when the search cannot start (nothing found).
  bool (*findFiles)(const std::string& directory, const std::string& pattern,
                    std::vector<FoundEntry>* found);
};

// The emulation, usable everywhere.
const CheckPlatform& EmulatedPlatform();
#ifdef _WIN32
// The system calls.
const CheckPlatform& SystemPlatform();
// Writes UTF-8 text to the console that the standard output (or error)
// shows; false when that stream is not a console.
bool WriteConsoleText(const std::string& utf8, bool toError);
#endif
// The platform of this build: the system on Windows, the emulation elsewhere.
const CheckPlatform& HostPlatform();

// --- the emulation's parts, for the checker and the tests ---

// One line of an INI file as the profile reader sees it.
struct ProfileLine {
  enum Kind { kSection, kKey, kOther } kind;
  size_t offset;      // of the line's first byte in the file
  std::string name;   // section name, or key name (blanks around it removed)
  bool hasValue;      // a key line with '='
  std::string value;  // blanks around it removed, quotes kept
};

// The lines of an INI file (its bytes) in file order.
std::vector<ProfileLine> ParseProfile(const std::string& bytes);
// A stored section or key name equals `sought` as the profile reader
// compares them (case and the blanks around `sought` aside).
bool ProfileNameIs(const std::string& stored, const char* sought);
// Index of the line whose value GetPrivateProfileStringA(section, key, ...)
// returns, or -1 when it returns the default.
int FindProfileKey(const std::vector<ProfileLine>& lines, const char* section, const char* key);
// The value as GetPrivateProfileStringA delivers it (quotes removed).
std::string ProfileValue(const ProfileLine& line);

// GetPrivateProfileStringA emulated on the file's bytes.
int EmulatedReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultText, char* buffer, int size);

// FindFirstFileA/FindNextFileA emulated on the directory tree: directories
// of the pattern are found without regard to case.
bool EmulatedFindFiles(const std::string& directory, const std::string& pattern,
                       std::vector<FoundEntry>* found);

// Whether FindFirstFileA's `pattern` (the last part of a search path) finds a
// directory entry called `name`, without regard to case.
bool WildcardMatches(const char* pattern, const char* name);
// The same for the long name alone: a name the search finds that fails this
// was found through its 8.3 short name ("*.tmp" finds "layout.tmpx").
bool LongNameMatches(const char* pattern, const char* name);
