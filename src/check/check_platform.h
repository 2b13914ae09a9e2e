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

// Reads a whole file into *bytes, refusing more than `limit` bytes (a device
// such as /dev/zero never ends). *error gets errno when it fails.
enum ReadOutcome { kReadWhole, kReadTooLarge, kReadFailed };
ReadOutcome ReadFileBounded(const char* path, size_t limit, std::string* bytes,
                            int* error = nullptr);

// One line of an INI file as the profile reader sees it. Names and values
// are kept up to kProfileTextKept characters: no name sought is longer, no
// value is read further.
const size_t kProfileTextKept = 65536;
struct ProfileLine {
  enum Kind { kSection, kKey, kOther } kind;
  size_t offset;      // of the line's first byte in the file
  std::string name;   // section name, or key name (blanks around it removed)
  bool hasValue;      // a key line with '='
  std::string value;  // blanks around it removed, quotes kept
  bool cut;           // the name or the value was longer than kept
  char valueLast;     // the value's last character, kept or not
};

// The next line of an INI file (its bytes) after *offset, which it moves on;
// false at the end. Names and values end at a NUL, as the reader's do.
bool NextProfileLine(const std::string& bytes, size_t* offset, ProfileLine* line);
// A stored section or key name equals `sought` as the profile reader
// compares them (case and the blanks around `sought` aside).
bool ProfileNameIs(const std::string& stored, const char* sought);
// The line whose value GetPrivateProfileStringA(section, key, ...) returns,
// into *line; false when it returns the default.
bool FindProfileKey(const std::string& bytes, const char* section, const char* key,
                    ProfileLine* line);
// The value as GetPrivateProfileStringA delivers it (quotes removed).
std::string ProfileValue(const ProfileLine& line);

// GetPrivateProfileStringA emulated on the file's bytes.
int EmulatedReadProfileString(const char* path, const char* section, const char* key,
                              const char* defaultText, char* buffer, int size);

// FindFirstFileA/FindNextFileA emulated on the directory tree: directories
// of the pattern are found without regard to case. The names on disk are
// taken as UTF-8 (as a checkout on Linux has them) and compared, and
// returned, in Windows-1250 like the script's.
bool EmulatedFindFiles(const std::string& directory, const std::string& pattern,
                       std::vector<FoundEntry>* found);

// Whether FindFirstFileA's `pattern` (the last part of a search path) finds a
// directory entry called `name`, by Windows' rules: without regard to case,
// trailing dots and blanks of the pattern removed, the DOS wildcards ('*.'
// for names without an extension, '?' that matches nothing before a '.' or
// at the end).
bool WildcardMatches(const char* pattern, const char* name);
// The same for the long name alone: a name the search finds that fails this
// was found through its 8.3 short name ("*.tmp" finds "layout.tmpx").
bool LongNameMatches(const char* pattern, const char* name);
// A path's last part as the search takes it: trailing dots and blanks removed.
std::string SearchNormalForm(const std::string& part);
