// setupcheck [--json] [--lines] PACKAGE_DIR|setup.dat
// setupcheck --seal [--force] PACKAGE_DIR
// Reports, in the form compilers use, every line of a package's script that
// will not do what it seems to say, and every file of a sealed package that
// is not as it was sealed. Exit status: 0 nothing to report, 1 warnings,
// 2 errors, 3 the package cannot be read (or sealed).
#include <cstdio>
#include <cstring>
#include <string>

#include "app/text.h"
#include "check/check_platform.h"
#include "check/package_check.h"
#include "check/text_1250.h"
#include "script/script_reader.h"
#include "seal/package_files.h"
#include "seal/seal.h"

namespace {

const char kUsage[] =
    "usage: setupcheck [--json] [--lines] PACKAGE_DIR\n"
    "       setupcheck [--json] [--lines] PATH\\setup.dat\n"
    "  --json   the findings as a JSON array\n"
    "  --lines  what Setup does with each line of the script\n"
    "  --seal   write setup.sum, the seal of every file of the package, when it\n"
    "           has no errors (--force: all the same)\n";

void Write(const std::string& utf8, FILE* stream) {
#ifdef _WIN32
  if (WriteConsoleText(utf8, stream == stderr)) return;
#endif
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

// Command-line text as UTF-8: Windows hands it over in its ANSI code page.
std::string ArgumentText(const std::string& text) {
#ifdef _WIN32
  return Utf8From1250(text);
#else
  return text;
#endif
}

std::string JsonText(const std::string& utf8) {
  std::string out = "\"";
  for (unsigned char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escape[8];
      FormatText(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

// Findings of the seal, in UTF-8 (names in the seal are UTF-8 already).
void NoteSealFinding(void* data, const SealFinding& finding) {
  std::string name = finding.name;
  std::string detail = finding.detail;
  if (finding.errorCode) {
    char system[300];
    PackageErrorText(finding.errorCode, system, sizeof system);
    detail += std::string(detail.empty() ? "" : ": ") + system;
  }
  std::string text;
  switch (finding.fault) {
    case kSealFileMissing: text = "'" + name + "' is missing (" + detail + ")"; break;
    case kSealFileChanged: text = "'" + name + "' has changed since the package was sealed (" + detail + ")"; break;
    case kSealFileNotListed: text = "'" + name + "' is not in the seal (" + detail + ")"; break;
    case kSealFileUnreadable: text = "'" + name + "' cannot be read (" + detail + ")"; break;
  }
  static_cast<std::vector<std::string>*>(data)->push_back(text);
}

// What keeps a package from being sealed.
void NoteSealProblem(void* data, const SealFinding& finding) {
  static_cast<std::vector<std::string>*>(data)->push_back(std::string("'") + finding.name +
                                                          "': " + finding.detail);
}

const char* SeverityText(Severity severity) {
  return severity == kError ? "error" : severity == kWarning ? "warning" : "note";
}

// The script and the package directory named by the argument.
bool Locate(const std::string& argument, std::string* scriptPath, std::string* packageDir) {
  char separator = argument.find('\\') != std::string::npos ? '\\' : '/';
#ifdef _WIN32
  if (argument.find('/') == std::string::npos) separator = '\\';
#endif
  std::string directory = argument;
  if (directory.empty()) directory = ".";
  char last = directory[directory.size() - 1];
  if (last != '/' && last != '\\') directory += separator;
  std::vector<FoundEntry> found;
  if (HostPlatform().findFiles(directory, "setup.dat", &found) && !found[0].directory) {
    *scriptPath = directory + found[0].name;
    *packageDir = directory;
    return true;
  }
  size_t cut = argument.find_last_of("/\\");
  *scriptPath = argument;
  *packageDir = cut == std::string::npos ? std::string(".") + separator : argument.substr(0, cut + 1);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false, lines = false, seal = false, force = false;
  std::string argument;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--lines") == 0) {
      lines = true;
    } else if (std::strcmp(argv[i], "--seal") == 0) {
      seal = true;
    } else if (std::strcmp(argv[i], "--force") == 0) {
      force = true;
    } else if (argv[i][0] == '-' && argv[i][1] == '-') {
      Write(kUsage, std::strcmp(argv[i], "--help") == 0 ? stdout : stderr);
      return std::strcmp(argv[i], "--help") == 0 ? 0 : 3;
    } else if (argument.empty()) {
      argument = argv[i];
    } else {
      Write(kUsage, stderr);
      return 3;
    }
  }
  if (argument.empty() || (force && !seal)) {
    Write(kUsage, stderr);
    return 3;
  }

  std::string scriptPath, packageDir;
  Locate(argument, &scriptPath, &packageDir);
  CheckResult result = CheckPackage(scriptPath, packageDir, HostPlatform());
  std::string shown = ArgumentText(scriptPath);
  if (!result.readable) {
    Write("setupcheck: " + ArgumentText(result.problem) + "\n", stderr);
    return 3;
  }

  // A sealed package's files must be as they were sealed; sealing anew
  // replaces the seal, whatever it says.
  std::vector<std::string> sealFindings;
  SealCheck check = {packageDir.c_str(), nullptr, nullptr, NoteSealFinding, &sealFindings,
                     nullptr, nullptr, 0};
  if (!seal && VerifySealedPackage(&check) == kSealNoHash) {
    Write("setupcheck: SHA-256 unavailable: the seal (setup.sum) cannot be verified\n", stderr);
    return 3;
  }
  const std::string sealShown = ArgumentText(packageDir) + kSealFileName;

  int errors = static_cast<int>(sealFindings.size()), warnings = 0;
  std::string out;
  if (json) out = "[";
  for (const Finding& finding : result.findings) {
    errors += finding.severity == kError;
    warnings += finding.severity == kWarning;
    std::string message = Utf8From1250(finding.message);
    if (lines) continue;
    if (json) {
      out += std::string(out.size() > 1 ? ",\n " : "\n ") + "{\"file\": " + JsonText(shown) +
             ", \"line\": " + std::to_string(finding.line) + ", \"severity\": \"" +
             SeverityText(finding.severity) + "\", \"kind\": \"" + finding.kind +
             "\", \"message\": " + JsonText(message) + "}";
    } else {
      out += shown + ":" + std::to_string(finding.line) + ": " + SeverityText(finding.severity) +
             ": " + message + " [" + finding.kind + "]\n";
    }
  }
  for (const std::string& message : sealFindings) {
    if (lines) break;
    if (json) {
      out += std::string(out.size() > 1 ? ",\n " : "\n ") + "{\"file\": " + JsonText(sealShown) +
             ", \"line\": 0, \"severity\": \"error\", \"kind\": \"seal-mismatch\", \"message\": " +
             JsonText(message) + "}";
    } else {
      out += sealShown + ": error: " + message + " [seal-mismatch]\n";
    }
  }
  if (lines) {
    for (const LineReport& report : result.lines) {
      out += shown + ":" + std::to_string(report.line) + ": " + VerdictText(report.verdict) +
             (report.action ? std::string(" ") + SectionNames[report.action] : "") + "\n";
    }
  } else if (json) {
    out += "\n]\n";
  } else {
    out += std::to_string(errors) + " errors, " + std::to_string(warnings) + " warnings\n";
  }
  Write(out, stdout);
  if (seal) {
    if (errors > 0 && !force) {
      Write("setupcheck: the package has errors: it is not sealed (--force seals it all the same)\n",
            stderr);
      return 2;
    }
    std::vector<std::string> problems;
    int files = 0;
    char why[600];
    if (!SealPackage(packageDir.c_str(), NoteSealProblem, &problems, &files, why, sizeof why)) {
      for (const std::string& problem : problems) Write("setupcheck: cannot seal " + problem + "\n", stderr);
      Write("setupcheck: not sealed: " + std::string(why) + "\n", stderr);
      return 3;
    }
    Write("setupcheck: sealed " + std::to_string(files) + " files into " + sealShown + "\n",
          json ? stderr : stdout);
  }
  return errors > 0 ? 2 : warnings > 0 ? 1 : 0;
}
