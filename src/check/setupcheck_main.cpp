// setupcheck [--json] [--lines] PACKAGE_DIR|setup.dat
// Reports, in the form compilers use, every line of a package's script that
// will not do what it seems to say. Exit status: 0 nothing to report, 1
// warnings, 2 errors, 3 the package cannot be read.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/text.h"
#include "check/check_platform.h"
#include "check/package_check.h"
#include "check/text_1250.h"
#include "script/script_reader.h"

namespace {

const char kUsage[] =
    "usage: setupcheck [--json] [--lines] PACKAGE_DIR\n"
    "       setupcheck [--json] [--lines] PATH\\setup.dat\n"
    "  --json   the findings as a JSON array\n"
    "  --lines  what Setup does with each line of the script\n";

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
  bool json = false, lines = false;
  std::string argument;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--json") == 0) {
      json = true;
    } else if (std::strcmp(argv[i], "--lines") == 0) {
      lines = true;
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
  if (argument.empty()) {
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

  int errors = 0, warnings = 0;
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
  return errors > 0 ? 2 : warnings > 0 ? 1 : 0;
}
