// setupcheck on small packages: each gives exactly its finding on its line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "check/check_platform.h"
#include "check/package_check.h"

namespace fs = std::filesystem;

namespace {

// A package in a directory of its own: setup.dat and files ("dir/name").
class Package {
 public:
  Package(const std::string& script, const std::vector<std::string>& files) {
    char pattern[] = "/tmp/setupcheck-XXXXXX";
    dir_ = mkdtemp(pattern);
    Write("setup.dat", script);
    for (const std::string& file : files) Write(file, file);
  }
  ~Package() { fs::remove_all(dir_); }
  void Write(const std::string& name, const std::string& bytes) const {
    fs::path path = fs::path(dir_) / name;
    fs::create_directories(path.parent_path());
    FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fclose(file);
  }
  CheckResult Check() const { return CheckPackage(dir_ + "/setup.dat", dir_ + "/", EmulatedPlatform()); }
  const std::string& dir() const { return dir_; }

 private:
  std::string dir_;
};

// "line:e|w|n:kind" for each finding, blank-separated.
std::string Summary(const CheckResult& result) {
  std::string text;
  for (const Finding& f : result.findings) {
    if (!text.empty()) text += ' ';
    text += std::to_string(f.line) + ":" + "nwe"[f.severity] + ":" + f.kind;
  }
  return text;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct Case {
  const char* script;  // "\n" ends a line (written as CR LF) unless `raw`
  const char* expected;
  bool raw = false;
  std::vector<std::string> files = {"a.dll", "bin/x.dll"};
};

const std::string kLong(1300, 'v');
const std::string kIniNames = [] {
  std::string text;
  for (int i = 0; i < 140; ++i) text += "{inifile}";
  return text;
}();
const std::string kElevenDefinitions = [] {
  std::string text = "[readini]\n";
  for (int i = 0; i < 11; ++i) text += "D" + std::to_string(i) + "={des}q.ini;S;K\n";
  return text;
}();

TEST(SetupCheck, EachMistakeGivesItsFindingOnItsLine) {
  const std::string tooLong = "[WriteIni]\n{des}a.ini=S;K;" + kLong + "\n";
  const std::string growing = "[WriteIni]\n{des}a.ini=S;K;" + kIniNames + "\n";
  const std::string longTarget = "[Copy]\na.dll=" + std::string(258, 't') + "\n";
  const std::string longInfo = "[Options]\nInfo=" + std::string(300, 'i') + "\n";
  const std::string longValue = "[WriteIni]\n{des}a.ini=S;K;" + std::string(300, 'v') + "\n";
  const Case cases[] = {
      {"[Options]\nLangID=2\n[Copy]\na.dll\n*.dll={des}bin\\\n", ""},
      {"\xEF\xBB\xBF[Copy]\na.dll\n", "1:e:byte-order-mark"},
      {"[Copy]\na.dll\n", "1:e:lf-line-ends", true},
      {"[WriteIni]\r\n{des}a.ini=S;K;V\n{des}a.ini=S;L;V\r\n", "2:e:lf-in-line", true},
      {"[Options]\nMsgTitle=Aktualizace \xC4\x8D\n", "2:w:utf8-text"},
      {"[Options]\nMsgTitle=a\x81z\n", "2:w:undefined-byte"},
      {"[Options]\nMsgTitle=M\xCD\x8a\xC1 \xE8\n", ""},  // "MÍŠÁ č": Windows-1250
      {tooLong.c_str(), "2:e:line-too-long"},
      {growing.c_str(), "2:e:refused-after-expansion"},
      {longTarget.c_str(), "2:e:path-too-long"},
      {"[WriteIni]\n{des}q.ini=S;K;{exe}{exe}{exe}{exe}{exe}\n", "2:w:may-be-refused"},
      {"[Copy] \na.dll\n", "1:e:header-unknown"},
      {"[Copy] ; files\na.dll\n", "1:e:header-unknown"},
      {"[Cpoy]\na.dll\n", "1:e:header-unknown"},
      {"[\xC8opy]\na.dll\n", "1:e:header-unknown"},
      {"[Options ]\nNoDir=1\n", "1:e:header-unknown"},
      {"[Notes]\nsomething\n", "1:w:section-unknown"},
      {"a.dll\n[Copy]\na.dll\n", "1:w:before-first-header"},
      {"[Copy]\n[Run]\nx.exe\n", "1:w:section-empty"},
      {"[VersionCopy]\nVerProg={exe}q.exe\n", "1:w:section-empty"},
      {"[Options]\nMsgTitel=x\n", "2:w:option-unknown"},
      {"[Options]\nLangID=1\nLangID=2\n", "3:w:option-not-read"},
      {"[Options]\nNoDir = 1\n", "2:e:flag-not-seen"},
      {"[Options]\nSkipInfo=1 \n", "2:e:flag-not-seen"},
      {"[Options]\nLangID=1\n[Copy]\na.dll\n[Options]\nSkipWelcome=1\n", "6:e:flag-not-seen"},
      {"[Options]\nKillQuillon=1\n", "2:n:flag-waits"},
      {"[Options]\nVerProg={exe}q.exe\nMinVer=3.10.0.0\n", "3:e:bound-malformed"},
      {"[Options]\nVerProg={exe}q.exe\nMaxVer=3.5:New\n", "3:n:bound-range"},
      {"[Options]\nMinVer=3.5.0.0:Old\n", "2:w:bound-without-verprog"},
      {"[Options]\nVerProg={src}q.exe\n", "2:e:verprog-unreadable"},
      {"[Options]\nVerProg={abc}\n", "2:e:placeholder-unknown"},
      {"[Options]\nDate=31.2.2020\n", "2:e:date-malformed"},
      {"[Options]\nDate=24.12.2012 +100\n", "2:e:date-malformed"},
      {"[Options]\nInfo=From {idts}\n", "2:w:date-placeholder-empty"},
      {"[Options]\nLangID=3\n", "2:w:langid-no-texts"},
      {"[Options]\nHideWin=yes\n", "2:w:hidewin-value"},
      {longInfo.c_str(), "2:w:option-too-long"},
      {"[Copy]\nb.dll\n", "2:e:copy-source-missing"},
      {"[Copy]\nbin\n", "2:e:copy-source-directory"},
      {"[Copy]\nsetup.dat\n", "2:w:copy-setup-file"},
      {"[Copy]\n*.exe\n", "2:w:copy-matches-nothing"},
      {"[Copy]\n*.dll|old*.dll\n", "2:w:copy-exclusion-nothing"},
      {"[Copy]\n*.dll\n", "2:w:copy-short-name", false, {"a.dll", "plugin.dllold"}},
      {"[Copy]\n{des}x.dll\n", "2:n:copy-outside-package"},
      {"[readini]\nData={des}{inifile};P;D\n[Copy]\na.dll={ini=Data}\n", "4:n:copy-target-definition"},
      {"[VersionCopy]\nminver=3.0.0.0:x\na.dll\n", "2:e:versioncopy-setting-form"},
      {"[VersionCopy]\na.dll\nMinVer=3.0.0.0:x\n", "3:e:versioncopy-setting-late"},
      {"[VersionCopy]\nMinVer=3.0.0.0:x\na.dll\n", "2:n:bound-range 3:w:bound-without-verprog"},
      {"[Run]\nx.exe a=b\n", "2:e:text-after-equals"},
      {"[Run]\nx.exe 'a\n", "2:w:run-apostrophe"},
      {"[Run]\n'a'\n", "2:e:run-no-program"},
      {"[Delete]\n{des}*.*\n", "2:e:delete-nothing"},
      {"[Delete]\nx.tmp\n", "2:e:delete-nothing"},
      {"[Delete]\n{des}x\n", "2:e:delete-nothing"},
      {"[Move]\n{des}a\n", "2:e:move-nothing"},
      {"[Move]\n{des}a*={des}b\n", "2:e:move-nothing"},
      {"[WriteIni]\n{des}a.ini=S;K;\n", "2:e:ini-nothing"},
      {"[DelIni]\n{des}a.ini=S\n", "2:e:ini-nothing"},
      {longValue.c_str(), "2:e:ini-field-too-long"},
      {"[WriteIni]\na.ini=S;K;V\n", "2:w:ini-windows-dir"},
      {"[WriteReg]\n;Software\\X;N;V\n", "2:e:reg-comment"},
      {"[WriteReg]\nHKEY_CURRENT_USER;Software\\X;N;V\n", "2:e:reg-root"},
      {"[WriteReg]\nHKCU;Software\\X;N\n", "2:e:reg-nothing"},
      {"[WriteReg]\nHKCU;Software\\X;N;a;b\n", "2:w:reg-data-cut"},
      {"[WriteReg]\nHKCU;;N;V\n", "2:w:reg-empty-subkey"},
      {"[DelReg]\nHKCU;Software\\X;Name\n", "2:w:reg-key-target"},
      {"[readreg]\nA=HKEY_CURRENT_USER;S;V\n", "2:e:reg-root"},
      {"[ChangeDir]\n{Desktop}x\n", "2:e:placeholder-unknown"},
      {"[WriteReg]\nHKCR;CLSID\\{0002DF01-0000-0000-C000-000000000046};;x\n", "2:e:placeholder-unknown"},
      {"[ChangeDir]\n{des}x{abc\n", "2:e:placeholder-unclosed"},
      {"[ChangeDir]\n{des}$FOO$\n", "2:w:variable-unknown"},
      {"[ChangeDir]\n{ini=Data}\n", "2:e:definition-undefined"},
      {"[readini]\nA={ini=B}x.ini;S;K\n", "2:w:definition-in-definition"},
      {"[readini]\nB={des}x.ini;S;K\n[Options]\nMsgTitle={ini=B}\n", "4:w:definition-in-definition"},
      {"[readini]\nA={des}x.ini;S\n", "2:e:definition-malformed"},
      {"[readini]\nA=;x.ini;S;K\n", "2:e:definition-source"},
      {"[readini]\nA={des}x.ini;S;K\nA={des}y.ini;S;K\n", "3:w:definition-duplicate"},
      {kElevenDefinitions.c_str(), "12:w:definition-over-ten"},
  };
  for (const Case& c : cases) {
    Package package(c.raw ? c.script : CrLf(c.script), c.files);
    CheckResult result = package.Check();
    ASSERT_TRUE(result.readable);
    EXPECT_EQ(c.expected, Summary(result)) << "package:\n" << c.script;
  }
}

TEST(SetupCheck, VersionBoundsShowTheirEffectiveRange) {
  Package package(CrLf("[Options]\nVerProg={exe}q.exe\nMinVer=3.5:Old\nMaxVer=3.99.0.0:\n"
                       "[VersionCopy]\nVerProg={exe}q.exe\nMinVer=3.5.:\nMaxVer=4:\na.dll\n"),
                  {"a.dll"});
  CheckResult result = package.Check();
  ASSERT_EQ(4u, result.findings.size());
  EXPECT_EQ("MinVer '3.5': only 3 counts (a part counts only when '.' or ',' follows it): "
            "versions from 3.0.0.0 on meet it (inclusive); for 3.5 write 3.5.0.0; outside it "
            "Setup shows the message and asks whether to go on (also under /silent)",
            result.findings[0].message);
  EXPECT_EQ("MaxVer '3.99.0.0': all four parts count: versions up to and including 3.99.0.0 "
            "meet it (inclusive); outside it Setup stops the installation (exit code 2) without "
            "asking (the message is empty)",
            result.findings[1].message);
  EXPECT_EQ("MinVer '3.5.': only 3.5 counts (a part counts only when '.' or ',' follows it): "
            "versions from 3.5.0.0 on meet it (inclusive); for 3.5. write 3.5.0.0; outside it "
            "Setup skips the section's files without asking (the message is empty)",
            result.findings[2].message);
  EXPECT_EQ("MaxVer '4': sets no version part (a part counts only when '.' or ',' follows it), "
            "so every version meets it; for 4 write 4.0.0.0",
            result.findings[3].message);
}

TEST(SetupCheck, SaysWhatSetupDoesWithEachLine) {
  Package package(CrLf("x\n[Options]\nNoDir=1\n\n[Copy] \na.dll\n[Copy]\n;c\na.dll\n"
                       "[WriteReg]\n;S;N;V\n;;c\n[VersionCopy]\nMinVer=1.0.0.0:\na.dll\n"
                       "[Run]\n" + kLong + "x\n"),
                  {"a.dll"});
  std::string verdicts;
  for (const LineReport& line : package.Check().lines) verdicts += VerdictText(line.verdict) + std::string("|");
  EXPECT_EQ("skipped|header|skipped|empty|header of no section|skipped|header|comment|runs|"
            "header|runs|comment|header|setting|runs if the version check passes|header|refused|"
            "empty|",
            verdicts);
}

TEST(SetupCheck, DemoPackageChecksCleanWithTheProgramsTheBuildAdds) {
  Package package("", {});
  fs::copy(fs::path(SETUP_SOURCE_DIR) / "examples/demo-package", package.dir(),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  // As it is stored, the two programs the build makes are missing.
  EXPECT_EQ("11:n:bound-range 12:n:bound-range 13:n:flag-waits 30:n:copy-target-definition "
            "36:n:bound-range 37:e:copy-source-missing 38:e:copy-source-missing",
            Summary(package.Check()));
  package.Write("bin/quillon.exe", "MZ");
  package.Write("bin/qmigrate.exe", "MZ");
  EXPECT_EQ("11:n:bound-range 12:n:bound-range 13:n:flag-waits 30:n:copy-target-definition "
            "36:n:bound-range",
            Summary(package.Check()));
}

TEST(SetupCheck, AMissingScriptCannotBeRead) {
  Package package("", {});
  CheckResult result = CheckPackage(package.dir() + "/none.dat", package.dir() + "/", EmulatedPlatform());
  EXPECT_FALSE(result.readable);
  EXPECT_FALSE(result.problem.empty());
}

}  // namespace
