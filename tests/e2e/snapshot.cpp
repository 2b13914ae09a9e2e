#include "e2e/snapshot.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "e2e/e2e_support.h"

namespace e2e {

namespace {

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

void CollectTree(const std::string& root, const std::string& relative,
                 std::vector<std::string>* lines) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(JoinPath(JoinPath(root, relative), "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "\\" + name;
    char attributes[16];
    std::snprintf(attributes, sizeof attributes, "%lx",
                  static_cast<unsigned long>(found.dwFileAttributes & ~FILE_ATTRIBUTE_ARCHIVE));
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      lines->push_back(path + "\\ " + attributes);
      CollectTree(root, path, lines);
    } else {
      std::string bytes;
      ReadFileBytes(JoinPath(root, path), &bytes);
      lines->push_back(path + " " + attributes + " " + std::to_string(bytes.size()) + " " +
                       Hex(bytes));
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

void CollectKey(HKEY key, const std::string& path, std::vector<std::string>* lines) {
  lines->push_back(path + "\\");
  char name[16384];
  std::vector<BYTE> data(1 << 16);
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    DWORD dataSize = static_cast<DWORD>(data.size());
    DWORD type = 0;
    if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data.data(), &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    lines->push_back(path + "\\ value \"" + std::string(name, nameSize) + "\" type " +
                     std::to_string(type) + " " +
                     Hex(std::string(reinterpret_cast<char*>(data.data()), dataSize)));
  }
  for (DWORD i = 0;; ++i) {
    DWORD nameSize = sizeof name;
    if (RegEnumKeyExA(key, i, name, &nameSize, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
      break;
    }
    HKEY child = nullptr;
    if (RegOpenKeyExA(key, name, 0, KEY_READ, &child) == ERROR_SUCCESS) {
      CollectKey(child, path + "\\" + name, lines);
      RegCloseKey(child);
    }
  }
}

}  // namespace

std::string TreeSnapshot(const std::string& dir) {
  std::vector<std::string> lines;
  CollectTree(dir, "", &lines);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string RegistrySnapshot(HKEY root, const std::string& subkey) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  std::vector<std::string> lines;
  CollectKey(key, subkey, &lines);
  RegCloseKey(key);
  std::sort(lines.begin(), lines.end());
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::string LogLines(const std::string& logPath, const std::string& keyword) {
  std::string text;
  if (!ReadFileBytes(logPath, &text)) return "<no log>";
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    // "yyyy-mm-dd hh:mm:ss.mmm KEYWORD ..."
    if (line.size() > 24 && line.compare(24, keyword.size(), keyword) == 0) {
      out += line.substr(24) + "\n";
    }
  }
  return out;
}

}  // namespace e2e
