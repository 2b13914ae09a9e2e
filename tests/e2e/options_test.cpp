// The package's [Options]: language, captions, description, link and final
// message, as the real Setup.exe shows them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "e2e/script_bed.h"

using driver::BoxRecord;
using driver::DialogSnapshot;
using driver::RunResult;
using driver::Scenario;
using driver::Step;
using e2e::Ansi;
using e2e::CrLf;
using e2e::Describe;
using e2e::ScriptBed;

namespace {

// The texts of one language of the catalogue that these tests look at.
struct Language {
  std::string title;     // 4
  std::string bye;       // 5
  std::string confirm;   // 11, up to its first %s
  std::string confirmMiddle;  // 11, between the two %s
  std::string installLabel;   // 41
  std::string programLabel;   // 42
  std::string installButton;  // 43
  std::string cancelButton;   // 44
  std::string finalErrors;    // 37, up to its %s
  std::string continueQuestion;  // 34, after its %s
};

Language Czech() {
  return {e2e::Message(4),
          e2e::Message(5),
          e2e::MessagePart(11, 0),
          e2e::MessagePart(11, 1),
          e2e::Message(41),
          e2e::Message(42),
          e2e::Message(43),
          e2e::Message(44),
          e2e::CzFinalErrors(),
          e2e::CzContinueQuestion()};
}

Language Slovak() {
  return {Ansi("Inštalácia balíčka..."),
          Ansi("Inštalácia bola úspešne dokončená."),
          Ansi("Nainštalovať tento balíček Quillonu do inštalácie v adresári "),
          Ansi(" ?\n(adresár s programom Quillon.exe je "),
          Ansi("&Adresár s inštaláciou Quillonu (cesta k súboru Quillon.ini):"),
          Ansi("Adresár s hlavným &programom aplikácie (Quillon.exe):"),
          Ansi("Na&inštalovať"),
          Ansi("&Zrušiť"),
          Ansi("Inštalácia neprebehla bez chýb !\n"),
          Ansi("\nChcete pokračovať v inštalácii balíčku ?")};
}

// Answers the confirmation question with No, reads the waiting dialog, then
// installs. A dialog that starts by itself is busy with the script and may
// not answer a read of its controls in time, so its texts are read here.
RunResult LookThenInstall(ScriptBed& bed, const std::string& script, const std::string& bye) {
  Scenario sc;
  sc.Answer(Czech().confirm, IDNO, 1);
  sc.Answer(bye, IDOK, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressInstall());
  return bed.Run(script, sc);
}

// Answers the confirmation question with No, so that the dialog waits, and
// then looks at the dialog and cancels.
RunResult ConfirmThenCancel(ScriptBed& bed, const std::string& script, const Language& lang) {
  Scenario sc;
  sc.Answer(lang.confirm, IDNO, 1);
  sc.Then(Step::Snapshot()).Then(Step::PressCancel());
  return bed.Run(script, sc);
}

void ExpectLanguage(const ScriptBed& bed, const RunResult& r, const Language& lang) {
  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(1u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(1u, boxes.size()) << Describe(r);
  EXPECT_EQ(lang.confirm + bed.inst() + lang.confirmMiddle + bed.prog() + ")", boxes[0].text);
  EXPECT_EQ(lang.title, boxes[0].caption);
  EXPECT_EQ((std::vector<int>{IDCANCEL, IDYES, IDNO}), boxes[0].buttons);  // driver order

  DialogSnapshot d = e2e::BeforeStep(r, 0);  // before the first step
  ASSERT_TRUE(d.valid) << Describe(r);
  EXPECT_TRUE(d.visible);
  EXPECT_EQ(lang.title, d.caption);
  EXPECT_EQ(lang.title, d.info);  // no Info: the caption again
  EXPECT_EQ(lang.installLabel, d.installLabel);
  EXPECT_EQ(lang.programLabel, d.programLabel);
  EXPECT_EQ(lang.installButton, d.installText);
  EXPECT_EQ(lang.cancelButton, d.cancelText);
  EXPECT_EQ("https://www.quillon.cz", d.link);
  EXPECT_EQ(bed.inst(), d.installDir);
  EXPECT_EQ(bed.prog(), d.programDir);
}

TEST(PackageOptions, LanguageTwoIsSlovak) {
  ScriptBed bed;
  RunResult r = ConfirmThenCancel(bed, CrLf("[Options]\nLangID=2\n"), Slovak());
  ExpectLanguage(bed, r, Slovak());
}

TEST(PackageOptions, LanguageWithoutTextsFallsBackToCzech) {
  ScriptBed bed;
  RunResult r = ConfirmThenCancel(bed, CrLf("[Options]\nLangID=5\n"), Czech());
  ExpectLanguage(bed, r, Czech());
}

TEST(PackageOptions, SlovakPackageEndsWithSlovakMessages) {
  {
    ScriptBed bed;
    Scenario sc;
    sc.Answer(Slovak().bye, IDOK, 1);
    RunResult r = bed.Run(CrLf("[Options]\nLangID=2\nSkipWelcome=1\n"), sc);
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(0u, r.exitCode) << Describe(r);
    ASSERT_EQ(1u, r.Boxes().size()) << Describe(r);
    EXPECT_EQ(Slovak().bye, r.Boxes()[0].text);
    EXPECT_EQ(Slovak().title, r.Boxes()[0].caption);
  }
  {
    ScriptBed bed;
    Scenario sc;
    sc.Answer(Slovak().continueQuestion, IDYES, 1);
    sc.Answer(Slovak().finalErrors, IDOK, 1);
    RunResult r =
        bed.Run(CrLf("[Options]\nLangID=2\nSkipWelcome=1\n[Copy]\nmissing.txt\n"), sc);
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    std::vector<BoxRecord> boxes = r.Boxes();
    ASSERT_EQ(2u, boxes.size()) << Describe(r);
    const std::string head =
        Ansi("Nepodarilo sa skopírovať súbor ") + bed.Pkg("missing.txt") + " !\n";
    EXPECT_EQ(0u, boxes[0].text.find(head)) << Describe(r);
    EXPECT_EQ(0u, boxes[1].text.find(Slovak().finalErrors + head)) << Describe(r);
    EXPECT_EQ(Slovak().title, boxes[1].caption);
  }
}

TEST(PackageOptions, CzechTextsTravelByteForByte) {
  ScriptBed bed;
  const std::string title = Ansi("Aktualizace: Příliš žluťoučký kůň – ĎÁBELSKÉ ÓDY");
  const std::string info = Ansi("Nové sestavy účtů, opravy řádků a čísel (ř, ž, ů, č, ě, š, ň)");
  const std::string bye = Ansi("Hotovo! Úspěšně nainstalováno; nyní spusťte Quillon znovu.");
  const std::string url = "https://example.cz/balicky/aktualizace?v=3.10";
  const std::string script = "[Options]\r\nMsgTitle=" + title + "\r\nInfo=" + info +
                             "\r\nByeMsg=" + bye + "\r\nURL=" + url + "\r\n[Copy]\r\n";

  RunResult r = LookThenInstall(bed, script, bye);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  ASSERT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(title, r.Boxes()[0].caption);  // the confirmation
  EXPECT_EQ(bye, r.Boxes()[1].text);
  EXPECT_EQ(title, r.Boxes()[1].caption);
  DialogSnapshot d = e2e::BeforeStep(r, 0);
  ASSERT_TRUE(d.valid) << Describe(r);
  EXPECT_EQ(title, d.caption);
  EXPECT_EQ(info, d.info);
  EXPECT_EQ(url, d.link);
}

TEST(PackageOptions, WithoutInfoTheDescriptionIsTheOwnCaption) {
  ScriptBed bed;
  const std::string title = Ansi("Oprava číselníků Quillonu");
  RunResult r = LookThenInstall(bed, "[Options]\r\nMsgTitle=" + title + "\r\n", Czech().bye);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  DialogSnapshot d = e2e::BeforeStep(r, 0);
  ASSERT_TRUE(d.valid) << Describe(r);
  EXPECT_EQ(title, d.caption);
  EXPECT_EQ(title, d.info);
  ASSERT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(title, r.Boxes()[1].caption);
}

TEST(PackageOptions, OverlongCaptionIsCutToItsFieldAndTheDescriptionToItsOwn) {
  ScriptBed bed;
  std::string title;
  while (title.size() < 700) title += "0123456789";
  RunResult r = LookThenInstall(bed, "[Options]\r\nMsgTitle=" + title + "\r\n", Czech().bye);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  DialogSnapshot d = e2e::BeforeStep(r, 0);
  ASSERT_TRUE(d.valid) << Describe(r);
  EXPECT_EQ(title.substr(0, 511), d.caption);
  EXPECT_EQ(title.substr(0, 254), d.info);
  ASSERT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_EQ(title.substr(0, 511), r.Boxes()[1].caption);
}

}  // namespace

namespace {

// HideWin=1 in [Options], or /hidewin on the command line, hides the dialog
// once the installation starts; its message boxes still appear. Without
// either, the dialog stays visible under them.
TEST(PackageOptions, HiddenWindowStillAsksAndReports) {
  struct Case {
    const char* options;
    const char* args;
    bool hidden;
  } const cases[] = {{"HideWin=1\n", "", true}, {"", "/hidewin", true}, {"HideWin=0\n", "", false}};
  for (const Case& c : cases) {
    ScriptBed bed;
    Scenario sc;
    sc.Answer(Czech().continueQuestion, IDYES, 1);
    sc.Answer(Czech().finalErrors, IDOK, 1);
    RunResult r = bed.Run(CrLf(std::string("[Options]\n") + c.options +
                               "SkipWelcome=1\n[Copy]\nmissing.txt\n"),
                          sc, c.args);
    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    std::vector<BoxRecord> boxes = r.Boxes();
    ASSERT_EQ(2u, boxes.size()) << Describe(r);
    for (const BoxRecord& box : boxes) {
      EXPECT_TRUE(box.dialogPresent) << c.options << c.args;
      EXPECT_EQ(!c.hidden, box.dialogVisible) << c.options << c.args;
    }
  }
}

}  // namespace
