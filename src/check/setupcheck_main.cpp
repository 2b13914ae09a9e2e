// setupcheck [--json] [--lines] PACKAGE_DIR|setup.dat
// setupcheck --seal [--force] PACKAGE_DIR
// Reports, in the form compilers use, every line of a package's script that
// will not do what it seems to say, and every file of a sealed package that
// is not as it was sealed. Exit status: 0 nothing to report, 1 warnings,
// 2 errors, 3 the package cannot be read (or sealed) or the command is wrong.
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "app/text.h"
#include "check/check_platform.h"
#include "check/check_state.h"
#include "check/package_check.h"
#include "check/text_1250.h"
#include "script/script_reader.h"
#include "seal/package_files.h"
#include "seal/seal.h"

namespace {

const char kUsage[] =
    "usage: setupcheck [--json] [--lines] PACKAGE_DIR\n"
    "       setupcheck [--json] [--lines] PATH\\setup.dat\n"
    "       setupcheck --seal [--force] [--json] PACKAGE_DIR\n"
    "  --json     the findings as a JSON array; with --lines one JSON object\n"
    "             {\"lines\": [...], \"findings\": [...], \"errors\": n, \"warnings\": n}\n"
    "  --lines    what Setup does with each line of the script\n"
    "  --seal     write setup.sum, the seal of every file of the package, when it\n"
    "             has no errors (--force: all the same)\n"
    "  -h, --help this text\n";

const int kExitUsage = 3;
const int kExitUnreadable = 3;

// What the command line asks for.
struct Request {
  bool json = false;
  bool lines = false;
  bool help = false;
  bool seal = false;
  bool force = false;
  std::string argument;  // the package directory or its setup.dat
};

// The switches, one row each.
struct Switch {
  const char* name;
  bool Request::*flag;
};
const Switch kSwitches[] = {
    {"--json", &Request::json}, {"--lines", &Request::lines}, {"--help", &Request::help},
    {"-h", &Request::help}, {"--seal", &Request::seal}, {"--force", &Request::force},
};

// False with *problem set when the command line is not one setupcheck takes.
bool ParseArguments(int argc, char** argv, Request* request, std::string* problem) {
  std::vector<std::string> names;
  for (const Switch& entry : kSwitches) names.push_back(entry.name);
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    const Switch* known = nullptr;
    for (const Switch& entry : kSwitches) {
      if (argument == entry.name) known = &entry;
    }
    if (known) {
      request->*(known->flag) = true;
    } else if (argument.size() > 1 && argument[0] == '-') {
      std::string meant = Suggest(argument, names, 2);
      *problem = "unknown option '" + argument + "'" +
                 (meant.empty() ? "" : "; did you mean " + meant + "?");
      return false;
    } else if (request->argument.empty()) {
      request->argument = argument;
    } else {
      *problem = "one package at a time: '" + argument + "' is one too many";
      return false;
    }
  }
  if (request->argument.empty() && !request->help) {
    *problem = "no package named";
    return false;
  }
  if (request->force && !request->seal) {
    *problem = "--force goes with --seal";
    return false;
  }
  return true;
}

// Output in large pieces: a script of millions of lines gives as many lines.
struct Output {
  FILE* stream;
  std::string pending;
  void Put(const std::string& text) {
    pending += text;
    if (pending.size() >= 65536) Flush();
  }
  void Flush() {
#ifdef _WIN32
    if (!pending.empty() && WriteConsoleText(pending, stream == stderr)) {
      pending.clear();
      return;
    }
#endif
    std::fwrite(pending.data(), 1, pending.size(), stream);
    std::fflush(stream);
    pending.clear();
  }
};

void Say(const std::string& text, FILE* stream) {
  Output output{stream, text};
  output.Flush();
}

// Command-line text as UTF-8: Windows hands it over in its ANSI code page.
std::string ArgumentText(const std::string& text) {
#ifdef _WIN32
  return Utf8From1250(text);
#else
  return text;
#endif
}

// UTF-8 text for a terminal or a log: control characters (which move the
// cursor, clear the screen, ring, retitle the window) shown as \xNN.
std::string Printable(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    // C1 controls are the UTF-8 pairs C2 80 to C2 9F.
    bool c1 = c == 0xC2 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80;
    if (c < 0x20 || c == 0x7F || c1) {
      unsigned code = c1 ? static_cast<unsigned char>(utf8[++i]) : c;
      char escape[8];
      FormatText(escape, sizeof escape, "\\x%02X", code);
      out += escape;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string JsonText(const std::string& utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    bool c1 = c == 0xC2 && i + 1 < utf8.size() && (static_cast<unsigned char>(utf8[i + 1]) & 0xE0) == 0x80;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7F || c1) {
      unsigned code = c1 ? static_cast<unsigned char>(utf8[++i]) : c;
      char escape[8];
      FormatText(escape, sizeof escape, "\\u%04x", code);
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

bool IsDirectory(std::string path) {
  // The C runtime on Windows finds no directory named with a final separator.
  while (path.size() > 1 && (path.back() == '/' || path.back() == '\\') &&
         path[path.size() - 2] != ':') {
    path.pop_back();
  }
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The script and the package directory named by the argument.
void Locate(const std::string& argument, std::string* scriptPath, std::string* packageDir) {
  char separator = argument.find('\\') != std::string::npos ? '\\' : '/';
#ifdef _WIN32
  if (argument.find('/') == std::string::npos) separator = '\\';
#endif
  std::string directory = argument.empty() ? "." : argument;
  if (IsDirectory(directory)) {
    char last = directory[directory.size() - 1];
    if (last != '/' && last != '\\') directory += separator;
    // The package's setup.dat in whatever case; a missing one is named as
    // Setup looks for it.
    std::vector<FoundEntry> found;
    bool there = HostPlatform().findFiles(directory, "setup.dat", &found);
    *scriptPath = directory + (there ? found[0].name : std::string("setup.dat"));
    *packageDir = directory;
    return;
  }
  size_t cut = argument.find_last_of("/\\");
  *scriptPath = argument;
  *packageDir = cut == std::string::npos ? std::string(".") + separator : argument.substr(0, cut + 1);
}

// What --lines writes for each line, as the check walks the script.
struct LinesWriter {
  Output* output;
  std::string shown;
  bool json;
  bool first = true;
};

void WriteLine(void* context, const LineReport& report) {
  LinesWriter* writer = static_cast<LinesWriter*>(context);
  const char* section = report.action ? SectionNames[report.action] : "";
  if (writer->json) {
    writer->output->Put(std::string(writer->first ? "{\"lines\": [\n " : ",\n ") +
                        "{\"line\": " + std::to_string(report.line) + ", \"verdict\": \"" +
                        VerdictText(report.verdict) + "\", \"section\": \"" + section + "\"}");
  } else {
    writer->output->Put(writer->shown + ":" + std::to_string(report.line) + ": " +
                        VerdictText(report.verdict) + (report.action ? std::string(" ") + section : "") +
                        "\n");
  }
  writer->first = false;
}

std::string FindingText(const std::string& shown, const Finding& finding, bool json) {
  std::string message = Printable(Utf8From1250(finding.message));
  if (json) {
    return "{\"file\": " + JsonText(shown) + ", \"line\": " + std::to_string(finding.line) +
           ", \"editorLine\": " + std::to_string(finding.editorLine) + ", \"severity\": \"" +
           SeverityText(finding.severity) + "\", \"kind\": \"" + finding.kind +
           "\", \"message\": " + JsonText(Utf8From1250(finding.message)) + "}";
  }
  std::string editor = finding.editorLine != finding.line
                           ? " (line " + std::to_string(finding.editorLine) + " in an editor)"
                           : "";
  return Printable(shown) + ":" + std::to_string(finding.line) + ": " +
         SeverityText(finding.severity) + ": " + message + editor + " [" + finding.kind + "]\n";
}

std::string Stopped(const CheckResult& result) {
  if (result.stoppedAfterLine == 0) return "";
  return "; more than " + std::to_string(kMaxFindings) + " findings: checking stopped after line " +
         std::to_string(result.stoppedAfterLine) + " (exit status 2)";
}

}  // namespace

int main(int argc, char** argv) {
  Request request;
  std::string problem;
  if (!ParseArguments(argc, argv, &request, &problem)) {
    Say("setupcheck: " + ArgumentText(problem) + "\n" + kUsage, stderr);
    return kExitUsage;
  }
  if (request.help) {
    Say(kUsage, stdout);
    return 0;
  }

  std::string scriptPath, packageDir;
  Locate(request.argument, &scriptPath, &packageDir);
  std::string shown = ArgumentText(scriptPath);
  Output output{stdout, ""};
  LinesWriter writer{&output, Printable(shown), request.json};
  LineSink sink{WriteLine, &writer};
  CheckResult result =
      CheckPackage(scriptPath, packageDir, HostPlatform(), request.lines ? &sink : nullptr);
  if (!result.readable) {
    Say("setupcheck: " + Printable(ArgumentText(result.problem)) + "\n", stderr);
    return kExitUnreadable;
  }

  // A sealed package's files must be as they were sealed; sealing anew
  // replaces the seal, whatever it says.
  std::vector<std::string> sealFindings;
  SealCheck check = {packageDir.c_str(), nullptr, nullptr, NoteSealFinding, &sealFindings,
                     nullptr, nullptr, 0};
  if (!request.seal && VerifySealedPackage(&check) == kSealNoHash) {
    Say("setupcheck: SHA-256 unavailable: the seal (setup.sum) cannot be verified\n", stderr);
    return kExitUnreadable;
  }
  const std::string sealShown = ArgumentText(packageDir) + kSealFileName;
  const int errors = result.errors + static_cast<int>(sealFindings.size());

  if (request.json) {
    output.Put(request.lines ? "\n ],\n \"findings\": [" : "[");
    bool first = true;
    for (const Finding& finding : result.findings) {
      output.Put(std::string(first ? "\n " : ",\n ") + FindingText(shown, finding, true));
      first = false;
    }
    for (const std::string& message : sealFindings) {
      output.Put(std::string(first ? "\n " : ",\n ") + "{\"file\": " + JsonText(sealShown) +
                 ", \"line\": 0, \"editorLine\": 0, \"severity\": \"error\", \"kind\": "
                 "\"seal-mismatch\", \"message\": " + JsonText(message) + "}");
      first = false;
    }
    output.Put(request.lines ? "\n ],\n \"errors\": " + std::to_string(errors) +
                                   ", \"warnings\": " + std::to_string(result.warnings) + "\n}\n"
                             : "\n]\n");
  } else if (!request.lines) {
    for (const Finding& finding : result.findings) output.Put(FindingText(shown, finding, false));
    for (const std::string& message : sealFindings) {
      output.Put(Printable(sealShown) + ": error: " + Printable(message) + " [seal-mismatch]\n");
    }
    output.Put(std::to_string(errors) + " errors, " + std::to_string(result.warnings) +
               " warnings" + Stopped(result) + "\n");
  }
  output.Flush();
  if (result.stoppedAfterLine != 0 && request.json) Say("setupcheck:" + Stopped(result) + "\n", stderr);
  // A check that stopped early may not have seen an error: it never passes.
  const int status = result.stoppedAfterLine != 0 || errors > 0 ? 2 : result.warnings > 0 ? 1 : 0;
  if (request.seal) {
    if (status == 2 && !request.force) {
      Say("setupcheck: the package has errors: it is not sealed (--force seals it all the same)\n",
          stderr);
      return 2;
    }
    std::vector<std::string> problems;
    int files = 0;
    char why[600];
    if (!SealPackage(packageDir.c_str(), NoteSealProblem, &problems, &files, why, sizeof why)) {
      for (const std::string& problem : problems) {
        Say("setupcheck: cannot seal " + Printable(problem) + "\n", stderr);
      }
      Say("setupcheck: not sealed: " + Printable(why) + "\n", stderr);
      return kExitUnreadable;
    }
    Say("setupcheck: sealed " + std::to_string(files) + " files into " + Printable(sealShown) + "\n",
        request.json ? stderr : stdout);
  }
  return status;
}
