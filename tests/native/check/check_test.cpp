// setupcheck on small packages: each gives exactly its finding on its line.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "check/check_platform.h"
#include "check/check_state.h"
#include "check/package_check.h"
#include "check/text_1250.h"

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

// "line:e|w|n:kind" for each finding, blank-separated; "line/editor line"
// where an editor counts the line otherwise.
std::string Summary(const CheckResult& result) {
  std::string text;
  for (const Finding& f : result.findings) {
    if (!text.empty()) text += ' ';
    text += std::to_string(f.line);
    if (f.editorLine != f.line) text += "/" + std::to_string(f.editorLine);
    text += std::string(":") + "nwe"[f.severity] + ":" + f.kind;
  }
  return text;
}

// Every message of a result, one a line.
std::string Messages(const CheckResult& result) {
  std::string text;
  for (const Finding& f : result.findings) text += f.message + "\n";
  return text;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) out += c == '\n' ? std::string("\r\n") : std::string(1, c);
  return out;
}

struct Case {
  std::string script;  // "\n" ends a line (written as CR LF) unless `raw`
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
const std::string kDeep16 = [] {
  std::string path;
  for (int i = 0; i < 16; ++i) path += "d/";
  return path;
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
      {"[Options]\nVerProg={exe}q.exe\nMaxVer=3.5.:New\n", "3:n:bound-range"},
      {"[Options]\nVerProg={exe}q.exe\nMaxVer=3.5:New\n", "3:w:bound-digits-ignored"},
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
      // Name lists, placeholders inside others, the longest stand-ins.
      {"[readini]\nB={des}b.ini;S;K\n[ChangeDir]\n{ini=A,B}\n", ""},
      {"[readini]\nB={des}b.ini;S;K\n[ChangeDir]\n{ini=A,C}\n", "4:e:definition-undefined"},
      {"[ChangeDir]\n{fver={abc}x.exe}\n", "2:e:placeholder-unknown"},
      {"[Options]\nVerProg={exe}q.exe\nMinVer={abc}1.0.0.0:\n", "3:e:placeholder-unknown 3:n:bound-range"},
      {"[WriteIni]\n{des}a.ini=S;K;$TEMP${desktop}$TEMP${programs}$TEMP$\n", "2:w:may-be-refused"},
      {"[readini]\nD={des}a.ini;S;K\n[ChangeDir]\n{ini=A,D,C}\n", ""},
      {"[readini]\nD={des}a.ini;S;K\n[Copy]\n{src}{ini=D}a.dll\n", "4:n:copy-outside-package"},
      {"[Copy]\n*.dll|a*.dll\n", "2:w:copy-matches-nothing"},
      {"[WriteIni]\n{des}a.ini=S;" + std::string(262, 'k') + "\n", "2:e:ini-nothing"},
      {"[VersionCopy]\nVerProg={exe}q.exe\nMinVer=1." + std::string(509, '0') + ":x\na.dll\n",
       "3:w:option-too-long 3:e:bound-malformed"},
      {"[Options]\rMsgTitel=x\r", "2:w:option-unknown", true},
      {"\xFE\xFF", "1:e:byte-order-mark 1:w:before-first-header", true},
      {"[Rxy]\nx\n", "1:w:section-unknown"},
      {"[readini]\nA=" + kLong + "\n", "2:e:line-too-long"},
      {"[Options]\nVerProg={src}q.exe\n", "", false, {"q.exe"}},
      {"[Options]\nMsgTitle=\xF0\x9F\x98\x80\n", "2:w:utf8-text"},
      {"[Options]\nMsgTitle=\xE0\x80\x80\n", ""},  // no UTF-8: an overlong form
      {"[Options]\nMsgTitle=\xED\xA0\x80\n", ""},  // nor a surrogate
      {"[Options]\nDate=x\nInfo={idts}\n", "2:e:date-malformed 3:w:date-placeholder-empty"},
      {"[Options]\nVerProg={exe}q.exe\nMinVer=1.0.0.0" + std::string(247, '0') + ":\n",
       "3:w:option-too-long 3:e:bound-malformed"},  // Setup keeps 254 characters: not the ':'
      {"[Copy]\n.\\a.dll\n", ""},
      {"[Copy]\nbin\\\n", "2:e:copy-source-missing"},
      {"[Copy]\n{desktop}a.dll\n$TEMP$a.dll\n", "2:n:copy-outside-package 3:n:copy-outside-package"},
      // The longest values: {inifile} 255 characters, $VELMORA$ a path of 260.
      {"[WriteIni]\n{des}a.ini=S;K;{inifile}{inifile}{inifile}{inifile}" + std::string(12, 'v') + "\n",
       "2:w:may-be-refused"},
      {"[WriteIni]\n{des}a.ini=S;K;{inifile}{inifile}{inifile}{inifile}" + std::string(8, 'v') + "\n", ""},
      {"[ChangeDir]\n{des}$VELMORA$" + std::string(800, 'v') + "\n", "2:w:may-be-refused"},
      {std::string("\xFF\xFE[\0C\0o\0p\0y\0]\0\r\0\n\0", 18),
       "1:e:byte-order-mark 1:w:before-first-header", true},
      // Bounds and edges found by planting faults.
      {"[Options]\nVerProg={exe}q.exe\nMaxVer={abc}1.0.0.0:\n", "3:e:placeholder-unknown 3:n:bound-range"},
      {"[Options]\nByeMsg=" + std::string(511, 'b') + "\n", ""},
      {"[Options]\nByeMsg=" + std::string(512, 'b') + "\n", "2:w:option-too-long"},
      {"[Delete]\n{des}x.\n", "2:e:delete-nothing"},
      {"[Copy]\n\ta.dll\n", ""},
      {"[WriteIni]\r\nA\nB\r\n", "2:e:lf-in-line 2:e:ini-nothing", true},
      {"[WriteIni]\rA\nB\r", "2:e:lf-in-line 2:e:ini-nothing", true},
      {"[WriteIni]\r\n\n{des}a.ini=S;K;V\r\n", "", true},
      {"[Options]\nKillQuillon=1\nKillQuillon=0\n", "2:n:flag-waits"},  // the first exact line
      {"[WriteIni]\n{des}a.ini=" + std::string(263, 's') + ";K;V\n", ""},
      {"[WriteIni]\n{des}a.ini=" + std::string(264, 's') + ";K;V\n", "2:e:ini-field-too-long"},
      // Shell folders and definitions at their longest: 260 characters.
      {"[ChangeDir]\n{desktop}" + std::string(1040, 'v') + "\n", ""},
      {"[ChangeDir]\n{desktop}" + std::string(1041, 'v') + "\n", "2:w:may-be-refused"},
      {"[readini]\nD={des}a.ini;S;K\n[ChangeDir]\n{ini=D}" + std::string(1040, 'v') + "\n", ""},
      {"[readini]\nD={des}a.ini;S;K\n[ChangeDir]\n{ini=D}" + std::string(1041, 'v') + "\n",
       "4:w:may-be-refused"},
  };
  for (const Case& c : cases) {
    Package package(c.raw ? c.script : CrLf(c.script), c.files);
    CheckResult result = package.Check();
    ASSERT_TRUE(result.readable);
    EXPECT_EQ(c.expected, Summary(result)) << "package:\n" << c.script << "\n" << Messages(result);
  }
}

// The mistakes package authors make under time pressure, one a package, each
// found on its line with a message that says how to put it right in the
// author's own words; and clean packages that give no finding at all.
TEST(SetupCheck, AuthorsMistakesAreFoundAndExplainedInTheirOwnWords) {
  struct Mistake {
    std::string script;
    const char* expected;
    const char* says;  // a text the messages hold
    std::vector<std::string> files;
  };
  const std::string czech = "\xE8t\xECte m\xEC.txt";  // "čtěte mě.txt" in Windows-1250
  const Mistake mistakes[] = {
      // Blanks around '=' in [Copy].
      {"[Copy]\nbin\\x.dll = bin\\\n", "2:w:copy-blanks", "write bin\\x.dll=bin\\", {"bin/x.dll"}},
      {"[Copy]\nbin\\*.dll =bin\\|a*.dll\n", "2:w:copy-blanks", "write bin\\*.dll=bin\\|a*.dll",
       {"bin/x.dll", "bin/a1.dll"}},
      // A wildcard copied onto one file.
      {"[Copy]\nplugins\\*.qpl={des}plugins\n", "2:e:copy-onto-one-file", "write {des}plugins\\",
       {"plugins/a.qpl", "plugins/b.qpl"}},
      {"[Copy]\nplugins\\*.qpl={des}plugins\n", "2:w:copy-onto-one-file", "one file",
       {"plugins/a.qpl"}},
      {"[Copy]\nplugins\\*.qpl={des}plugins\\\n", "", "", {"plugins/a.qpl", "plugins/b.qpl"}},
      // [Run]: quotes, and a program of the package taken from the current directory.
      {"[Run]\n\"{des}tool.exe\" 'x'\n", "2:e:run-quote", "'\"{des}tool.exe\" '", {}},
      {"[Run]\ntools\\mig.exe '--all'\n", "2:w:run-relative", "write {src}tools\\mig.exe",
       {"tools/mig.exe"}},
      {"[ChangeDir]\n{src}\n[Run]\ntools\\mig.exe\n", "", "", {"tools/mig.exe"}},
      {"[Options]\nNoDir=1\n[Run]\ntools\\mig.exe\n", "", "", {"tools/mig.exe"}},
      {"[Run]\ntools\\mig.exe\n", "", "", {}},
      // An absolute path of the author's machine, and the package's file of that name.
      {"[Copy]\nC:\\Users\\jan\\Quillon\\qsync.dll={exe}\n", "2:w:copy-author-path",
       "the package holds bin\\qsync.dll: for the package's file write bin\\qsync.dll={exe}",
       {"bin/qsync.dll"}},
      {"[Copy]\nreadme.txt .={des}\n", "", "", {"readme.txt"}},  // the search drops the dot
      {"[Copy]\nC:\\Users\\jan\\qsync.dll={exe}\n", "2:n:copy-outside-package", "not checked", {}},
      // Version bounds whose last digits do not count.
      {"[Options]\nVerProg={exe}q.exe\nMinVer=4.2:\n", "3:w:bound-digits-ignored",
       "for 4.2 write 4.2.0.0", {}},
      {"[Options]\nVerProg={exe}q.exe\nMaxVer=1.2.3.4.5:\n", "3:w:bound-digits-ignored", "", {}},
      {"[VersionCopy]\nVerProg={exe}q.exe\nMinVer=4:\na.dll\n", "3:w:bound-digits-ignored",
       "MinVer '4': sets no version part", {"a.dll"}},
      // Texts saved in ISO-8859-2 ("Šablony", "Nástroj pro správu": Š and š there).
      {"[Options]\nMsgTitle=\xA9\x61\x62lony 4.0\n", "2:w:latin2-text", "(meant: '\x8A\x61\x62lony')", {}},
      {"[Options]\nInfo=N\xE1stroj pro spr\xE1vu p\xB9\x65\x64\x65\n", "2:w:latin2-text", "holds '\xB9', which", {}},
      {"[Options]\nVerProg={exe}q.exe\nMinVer=4.0.0.0:Nejd\xF8\xEDve nainstalujte \xA9\x61\x62lony\n",
       "3:w:latin2-text 3:n:bound-range", "MinVer's message", {}},
      {"[Options]\nMsgTitle=Quillon\xAE 4.0 \xAB" "Kancel\xE1\xF8\xBB \xA9 2026 Valtor\n", "",
       "", {}},  // ®, «», ©: as meant
      // The author's own text, not the checker's stand-ins.
      {"[WriteReg]\nHKCU;Software\\Q;TemplatePath;{des}templates;{des}shared\\templates\n",
       "2:w:reg-data-cut", "Setup writes '{des}templates' and ignores the rest", {}},
      {"[WriteIni]\n{des}a.ini=S;K;V\n[DelReg]\nHKCU;Software\\{inifile};Name\n",
       "4:w:reg-key-target", "the key 'Software\\{inifile}'", {}},
      {"[Copy]\n*.dll|{des}x.dll\n", "2:w:copy-exclusion-nothing", "'{des}x.dll'", {"a.dll"}},
      {"[readini]\n{des}{inifile}=a.ini;S;K\n{des}{inifile}=b.ini;S;K\n", "3:w:definition-duplicate",
       "'{des}{inifile}' is defined again: {ini={des}{inifile}}", {}},
      // Did you mean: options, sections, the separator of an exclusion list.
      {"[Options]\nByeMessage=Hotovo\n", "2:w:option-unknown", "did you mean ByeMsg?", {}},
      {"[Options]\nMinVersion=1.0.0.0:\n", "2:w:option-unknown", "did you mean MinVer?", {}},
      {"[DeleteReg]\nHKCU;Software\\Q;\n", "1:e:header-unknown", "did you mean [DelReg]?", {}},
      {"[Copy]\n*.dll|old*.dll;test*.dll\n", "2:w:copy-exclusion-nothing",
       "did you mean old*.dll,test*.dll?", {"a.dll", "old1.dll"}},
      // What each message says to do.
      {"[Rnu]\nx.exe\n", "1:e:header-unknown", "(a misspelling): the line under it is skipped; did you mean [Run]?", {}},
      {"[Rum]\nx.exe\n", "1:e:header-unknown", "did you mean [Run]?", {}},
      {"[Write Ini]\n{des}a.ini=S;K;V\n", "1:e:header-unknown", "(blanks inside)", {}},
      {"[\xC8opy]\na.dll\n", "1:e:header-unknown", "(letters outside ASCII)", {"a.dll"}},
      {"[Copy] ; files\na.dll\n", "1:e:header-unknown", "(text after ']')", {"a.dll"}},
      {"[Option]\nNoDir=1\n", "1:e:header-unknown", "does not see the flag lines", {}},
      {"[readin]\nA={des}a.ini;S;K\nB={des}a.ini;S;K\n", "1:e:header-unknown",
       "the 2 definitions under it are not read", {}},
      {"[Notes]\none\ntwo\n", "1:w:section-unknown", "the 2 lines under it are skipped", {}},
      {"\xEF\xBB\xBF[Copy]\na.dll\n", "1:e:byte-order-mark", "so '[Copy]' is not what it seems", {"a.dll"}},
      {"[Options]\nMsgTitle=\xC4\x8D\nInfo=\xC5\xA1\n", "2:w:utf8-text",
       "(so does 1 more line): '\xC4\x8D' (shown here as Windows-1250) is one UTF-8 character", {}},
      {"[Options]\nVerProg={exe}q.exe\nMinVer=70000.0.0.0:\n", "3:n:bound-range",
       "all four parts count: versions from 4464.0.0.0 on meet it (inclusive); part 1 is above "
       "65535 and counts as 4464", {}},
      {"[Options]\nInfo=N\xE1stroj pro spr\xE1vu p\xB9\x65\x64\x65\n", "2:w:latin2-text",
       "'p\xB9\x65\x64\x65' holds", {}},
      {"[WriteIni]\n{des}a.ini=S;K;\n", "2:e:ini-nothing", "(for an empty value end it in ';;')", {}},
      {"[WriteIni]\n=S;K;V\n", "2:e:ini-nothing", "has no file name before '='", {}},
      {"[WriteReg]\nHKEY_CURRENT_USER;S;N;V\n", "2:e:reg-root", "did you mean HKCU?", {}},
      {"[ChangeDir]\n{fvr={des}q.exe}\n", "2:e:placeholder-unknown", "did you mean {fver={des}q.exe}?", {}},
      {"[ChangeDir]\n{  des  }x\n", "2:e:placeholder-unknown", "did you mean {des}?", {}},
      {"[ChangeDir]\n{fe=x.exe}\n", "2:e:placeholder-unknown", "removes it with its braces\n", {}},
      {"[DelIni]\n{des}a.ini=S;\n", "2:e:ini-nothing", "is not file=section;key or file=section;;\n", {}},
      {"[Options]\nLang1=2\nnIfo=x\n", "2:w:option-unknown 3:w:option-unknown",
       "did you mean LangID?\n'nIfo' is no option: Setup ignores it; did you mean Info?", {}},
      {"[Options]\nInfo=" + std::string(5000, 'i') + "\n", "2:w:line-too-long 2:w:option-too-long",
       "Info is more than 4095 characters long", {}},
      {"[Del]\nx\n[Cpoyy]\na.dll\n", "1:e:header-unknown 3:e:header-unknown",
       "did you mean [Delete]?\n'[Cpoyy]' is not a section header (a misspelling): the line under it "
       "is skipped; did you mean [Copy]?", {"a.dll"}},
      {"[Copy] \na.dll\n[Copy] \na.dll\n", "1:e:header-unknown 3:e:header-unknown",
       "(a trailing blank): the line under it is skipped; did you mean [Copy]?\n'[Copy] ' is not a "
       "section header (a trailing blank)", {"a.dll"}},
      {"[VersionCopy]\r\nVerProg={exe}q.exe", "1:w:section-empty", "has settings but no file line", {}},
      {"[Options]\nNoDir =1\nSkipInfo=1x\n", "2:e:flag-not-seen 3:e:flag-not-seen",
       "(blanks around '='): NoDir stays off; write exactly NoDir=1 (no blanks, nothing after it) in "
       "the first [Options] section\n'SkipInfo=1x' is not seen (text after the 1)", {}},
      {"[Options]\nDate=24.12.2012 +1x\nInfo={idts}" + std::string(248, 'i') + "\n",
       "2:e:date-malformed", "Setup reads only the first 13 characters of Date, '24.12.2012 +1'", {}},
      {"[Options]\nMsgTitle=a\x81z\n", "2:w:undefined-byte", "holds the byte 0x81", {}},
      {"[WriteIni]\r\n{des}a.ini=S;K;V\n{des}a.ini=S;L;V\r\n", "2:e:lf-in-line",
       "joins '{des}a.ini=S;K;V' and '{des}a.ini=S;L;V' into one line", {}},
      {"[Options]\nVerProg={exe}q.exe\nMinVer=4.0.0.0:\xA9\x61\x62lony\n",
       "3:w:latin2-text 3:n:bound-range", ": '\xA9\x61\x62lony' holds", {}},
      {"[Options]\nVerProg={exe}q.exe\nMinVer={src}:x\n", "3:e:bound-malformed",
       "MinVer '{src}:x' is malformed (its version holds '{'", {}},
      // One cause, said once.
      {"[Run]\nx.exe 'a=b'\n", "2:e:text-after-equals", "runs only 'x.exe 'a'", {}},
      {"[Run]\nx.exe 'a' b=c\n", "2:e:text-after-equals 2:w:run-apostrophe", "ignored: ' b'", {}},
      {"[Delete]\n{des}old=x.tmp\n", "2:e:text-after-equals", "which deletes nothing", {}},
      {"[WriteIni]\n{des}a.ini=S;K;{idts}\n", "2:e:ini-nothing 2:w:date-placeholder-empty",
       "once its value '{idts}' has been expanded to nothing", {}},
      // Notes of one kind in the same words: once, with their lines.
      {"[readini]\nD={des}a.ini;S;K\n[Copy]\na.dll={ini=D}\na.dll={ini=D}x\\\n\na.dll={ini=D}y\\\n",
       "4:n:copy-target-definition", "(so do lines 5, 7)", {"a.dll"}},
      // Lines after an LF-only line end: an editor counts one more.
      {"[Copy]\r\n\n\r\nb.dll\r\n", "3/4:e:copy-source-missing", "", {}},
      // Clean packages, with Czech names in the script and UTF-8 names on disk.
      {"[Options]\nMsgTitle=Aktualizace \x9A\x61\x62lon\nInfo=Nov\xE9 \x9A\x61\x62lony a n\xE1pov\xEC\x64\x61\n"
       "[Copy]\n\x9A\x61\x62lony\\*.qtp={des}\x9A\x61\x62lony\\\n\x9A\x61\x62lony\\" + czech + "={des}\n",
       "", "", {"\xC5\xA1\x61\x62lony/a.qtp", "\xC5\xA1\x61\x62lony/\xC4\x8Dt\xC4\x9Bte m\xC4\x9B.txt"}},
      {"[Copy]\n\x8A\x41\x42LONY\\\xC8T\xCCTE M\xCC.TXT={des}\n", "", "",
       {"\xC5\xA1\x61\x62lony/\xC4\x8Dt\xC4\x9Bte m\xC4\x9B.txt"}},
      // Bounds and edges found by planting faults.
      {"[ChangeDir]\n{DEADBEEF}x\n", "2:e:placeholder-unknown", "such as a class identifier", {}},
      {"[readini]\nA=0;;x.ini;S;K\n", "2:e:definition-source", "the file name is ';x.ini'", {}},
      {"[Options]\nDxye=1\n", "2:w:option-unknown", "Setup ignores it\n", {}},
      {"[Options]\nDate=31.02.2020 +1\n", "2:e:date-malformed", "or -n days): {idts}", {}},
      {"[VersionCopy]\nVerProg={exe}q.exe\nMaxVer=3.5.0.0:\na.dll\n", "3:n:bound-range",
       "versions up to and including 3.5.0.0 meet it", {"a.dll"}},
      {"[Options]\nVerProg={exe}q.exe\nMaxVer=3.5:\n", "3:w:bound-digits-ignored",
       "versions up to and including 3.65535.65535.65535 meet it", {}},
      {"[readini]\nD={des}a.ini;S;K\n[Copy]\na.dll={ini=D}\na.dll={ini=D}x\\\n",
       "4:n:copy-target-definition", "(so do line 5)", {"a.dll"}},
      {"[Cpoy\na.dll\n", "1:e:header-unknown", "did you mean [Copy]?", {"a.dll"}},
      // The package's files are looked for 16 directories deep.
      {"[Copy]\nC:\\Users\\jan\\qsync.dll={exe}\n", "2:w:copy-author-path", "the package holds d\\d\\",
       {kDeep16 + "qsync.dll"}},
      {"[Copy]\nC:\\Users\\jan\\qsync.dll={exe}\n", "2:n:copy-outside-package", "not checked",
       {kDeep16 + "d/qsync.dll"}},
  };
  for (const Mistake& m : mistakes) {
    // A script with a CR of its own is written as it is.
    Package package(m.script.find('\r') == std::string::npos ? CrLf(m.script) : m.script, m.files);
    CheckResult result = package.Check();
    ASSERT_TRUE(result.readable);
    EXPECT_EQ(m.expected, Summary(result)) << "package:\n" << m.script << "\n" << Messages(result);
    EXPECT_NE(std::string::npos, Messages(result).find(m.says))
        << "package:\n" << m.script << "\n" << Messages(result);
    // No stand-in marker ever reaches a message.
    EXPECT_EQ(std::string::npos, Messages(result).find_first_of("\x01\x02\x03\x04\x05\x06"))
        << Messages(result);
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
  LineSink sink{[](void* context, const LineReport& line) {
                  *static_cast<std::string*>(context) += VerdictText(line.verdict) + std::string("|");
                },
                &verdicts};
  CheckPackage(package.dir() + "/setup.dat", package.dir() + "/", EmulatedPlatform(), &sink);
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

// A script that cannot be read says why; one that never ends, or is larger
// than any package, is not read past 16 MiB.
TEST(SetupCheck, AnUnreadableScriptSaysWhy) {
  Package package("", {});
  std::string dir = package.dir();
  fs::create_directory(dir + "/folder.dat");
  fs::create_symlink("/dev/zero", dir + "/endless.dat");
  package.Write("large.dat", std::string(kMaxScriptBytes + 1, '\r'));
  const struct {
    const char* name;
    const char* problem;  // "" when it is read
  } scripts[] = {
      {"none.dat", "cannot read " },
      {"folder.dat", "Is a directory"},
      {"endless.dat", "is larger than 16 MiB (16777216 bytes)"},
      {"large.dat", "is larger than 16 MiB (16777216 bytes)"},
  };
  for (const auto& script : scripts) {
    CheckResult result = CheckPackage(dir + "/" + script.name, dir + "/", EmulatedPlatform());
    EXPECT_EQ(script.problem[0] == '\0', result.readable) << script.name;
    EXPECT_NE(std::string::npos, result.problem.find(script.problem)) << result.problem;
  }
  CheckResult missing = CheckPackage(dir + "/none.dat", dir + "/", EmulatedPlatform());
  EXPECT_NE(std::string::npos, missing.problem.find(std::strerror(ENOENT))) << missing.problem;
  // The limit itself is read, one byte more is not.
  package.Write("limit.dat", std::string(100, 'x'));
  std::string bytes;
  EXPECT_EQ(kReadWhole, ReadFileBounded((dir + "/limit.dat").c_str(), 100, &bytes));
  EXPECT_EQ(100u, bytes.size());
  EXPECT_EQ(kReadTooLarge, ReadFileBounded((dir + "/limit.dat").c_str(), 99, &bytes));
}

// The package's files are those under its directory, not beside it.
TEST(SetupCheck, AFileBesideThePackageIsNotThePackages) {
  Package outer("", {"qsync.dll", "inner/bin/other.dll"});
  outer.Write("inner/setup.dat", CrLf("[Copy]\nC:\\Users\\jan\\qsync.dll={exe}\n"));
  std::string inner = outer.dir() + "/inner/";
  EXPECT_EQ("2:n:copy-outside-package",
            Summary(CheckPackage(inner + "setup.dat", inner, EmulatedPlatform())));
}

// The text helpers the messages are made with: code page conversions,
// well-formed UTF-8, ISO-8859-2 letters, and the distance of misspellings.
TEST(CheckText, ConvertsClassifiesAndComparesText) {
  const struct {
    const char* cp1250;
    const char* utf8;
  } conversions[] = {{"\x80", "\xE2\x82\xAC"}, {"\xFF", "\xCB\x99"}, {"\xA0", "\xC2\xA0"},
                     {"\x8A\x9A", "\xC5\xA0\xC5\xA1"}};
  for (const auto& c : conversions) {
    EXPECT_EQ(c.utf8, Utf8From1250(c.cp1250)) << c.utf8;
    EXPECT_EQ(c.cp1250, Text1250FromUtf8(c.utf8)) << c.utf8;
  }
  const struct {
    const char* bytes;
    size_t length;
  } sequences[] = {{"\xC2\x80", 2},         {"\xC1\xBF", 0},         {"\xE0\xA0\x80", 3},
                   {"\xE0\x9F\xBF", 0},     {"\xF4\x8F\xBF\xBF", 4}, {"\xF4\x90\x80\x80", 0},
                   {"\xED\x9F\xBF", 3},     {"\xED\xA0\x80", 0},     {"\xC4", 0}};
  for (const auto& c : sequences) {
    EXPECT_EQ(c.length, Utf8SequenceLength(reinterpret_cast<const unsigned char*>(c.bytes),
                                           std::strlen(c.bytes)))
        << Utf8From1250(c.bytes);
  }
  const struct {
    const char* text;
    size_t at;
  } latin2[] = {{"NA\xAB" "AH", 2}, {"na\xAB" "ah", 2}, {"\xAB" "ahoj\xBB", std::string::npos},
                {"\xA9" "ablony", 0}, {"\xA9" "ABLONY", std::string::npos}};
  for (const auto& c : latin2) EXPECT_EQ(c.at, FindLatin2Byte(c.text)) << c.text;
  const struct {
    const char* a;
    const char* b;
    int distance;
  } distances[] = {{"Info", "nIfo", 1},      {"kitten", "sitting", 3}, {"", "URL", 3},
                   {"MsgTitle", "msgtitle", 0}, {"ByeMsg", "ByeMessage", 4},
                   {"MinVersion", "MinVer", 4}};
  for (const auto& c : distances) EXPECT_EQ(c.distance, EditDistance(c.a, c.b)) << c.a << " " << c.b;
}

// More than 1000 findings: the first 1000 by line, and checking stops.
TEST(SetupCheck, ManyFindingsStopTheCheck) {
  std::string script = "[Options]\nMinVer=1.0.0.0:\n[Copy]\n";
  for (int i = 0; i < 1500; ++i) script += "b" + std::to_string(i) + ".dll\n";
  Package package(CrLf(script), {});
  CheckResult result = package.Check();
  ASSERT_EQ(kMaxFindings, result.findings.size());
  EXPECT_EQ(2, result.findings[0].line);  // bound-without-verprog, found in another walk
  EXPECT_EQ(1002, result.findings.back().line);
  EXPECT_EQ(1002, result.stoppedAfterLine);
  EXPECT_EQ(999, result.errors);
  EXPECT_EQ(1, result.warnings);
}

}  // namespace
