// The version gates: the package-wide check before any action, and the
// check at the head of each [VersionCopy] section.
#include <gtest/gtest.h>

#include <algorithm>

#include "e2e/e2e_cases.h"
#include "e2e/e2e_support.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using e2e::Ansi;
using e2e::Describe;
using e2e::Message;
using e2e::MessageWith;
using e2e::WithSuccess;

namespace {

// The actions whose effects tell whether the run changed anything.
const char kActions[] =
    "[Copy]\r\n"
    "payload.txt\r\n"
    "[WriteIni]\r\n"
    "{des}result.ini=Run;done;yes\r\n";

// An installation whose quillon.exe carries the version of `fixture`, given
// on the command line; "SkipWelcome=1" lets the run start by itself and
// still end with the success message.
struct Setting : e2e::CaseDirs {
  bool Prepare(const std::string& fixture, const std::string& gateOptions,
               const std::string& sections = kActions) {
    return Make(e2e::kAutoStart + gateOptions + sections, "", fixture) &&
           e2e::WriteFileBytes(pkg / "payload.txt", "payload");
  }
  std::string Quillon() const { return inst.path() + "\\quillon.exe"; }
  bool Installed() const {
    return e2e::PathIsFile(inst / "payload.txt") &&
           e2e::ReadIni(inst / "result.ini", "Run", "done") == "yes";
  }
  bool Untouched() const {
    return !e2e::PathIsFile(inst / "payload.txt") && !e2e::PathIsFile(inst / "result.ini");
  }
};

void ExpectVersionQuestion(const BoxRecord& box, const std::string& text) {
  EXPECT_EQ(text, box.text);
  EXPECT_EQ(Message(17), box.caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), box.buttons);
  EXPECT_EQ(IDNO, box.defaultButton);
}

// ---- before the installation ----

TEST(VersionGate, UnreadableVersionAskedAndYesSkipsTheBounds) {
  Setting s;
  ASSERT_TRUE(s.Prepare("noversion.exe",
                        "VerProg={exe}quillon.exe\r\nMinVer=9.0.0.0:Too old\r\nMaxVer=1.0.0.0:Too new\r\n"));
  const std::string question = MessageWith(18, s.Quillon());
  Scenario sc = WithSuccess();
  sc.Answer(question, IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  EXPECT_EQ(question, boxes[0].text);
  EXPECT_EQ(Message(19), boxes[0].caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[0].buttons);
  EXPECT_EQ(IDNO, boxes[0].defaultButton);
  EXPECT_TRUE(s.Installed());
}

TEST(VersionGate, UnreadableVersionAnsweredNoChangesNothingAndEndsWithTwo) {
  Setting s;
  ASSERT_TRUE(s.Prepare("noversion.exe", "VerProg={exe}quillon.exe\r\n"));
  Scenario sc;
  sc.Answer(MessageWith(18, s.Quillon()), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(s.Untouched());
}

TEST(VersionGate, MalformedBoundShowsItsVersionTextAndYesGoesOnToTheMaximum) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_3_10_0_5.exe",
                        "VerProg={exe}quillon.exe\r\nMinVer=3.1x:Old:er\r\nMaxVer=3.99.0.0:New\r\n"));
  const std::string malformed = MessageWith(14, "3.1x");
  Scenario sc = WithSuccess();
  sc.Answer(malformed, IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  EXPECT_EQ(malformed, boxes[0].text);
  EXPECT_EQ(Message(15), boxes[0].caption);
  EXPECT_EQ((std::vector<int>{IDYES, IDNO}), boxes[0].buttons);
  EXPECT_EQ(IDYES, boxes[0].defaultButton);
  EXPECT_TRUE(s.Installed());
}

TEST(VersionGate, BoundWithoutColonIsMalformedAndNoRefuses) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_3_10_0_5.exe", "VerProg={exe}quillon.exe\r\nMaxVer=3.10.0.0\r\n"));
  Scenario sc;
  sc.Answer(MessageWith(14, "3.10.0.0"), IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(s.Untouched());
}

TEST(VersionGate, BoundsMetPassSilently) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_3_10_0_5.exe",
                        "VerProg={exe}quillon.exe\r\nMinVer=3.10.0.5:Old\r\nMaxVer=3.10.0.5:New\r\n"));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), WithSuccess());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.Boxes().size()) << Describe(r);  // the success message
  EXPECT_TRUE(s.Installed());
}

TEST(VersionGate, FailedMinimumAsksWithItsMessageAndYesInstalls) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_2_0_14_3.exe",
                        "VerProg={exe}quillon.exe\r\nMinVer=3.10:Needs 3.10 or later.\r\n"));
  const std::string question = Ansi("Needs 3.10 or later.") + Message(16);
  Scenario sc = WithSuccess();
  sc.Answer(question, IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  ExpectVersionQuestion(boxes[0], question);
  EXPECT_TRUE(s.Installed());
}

TEST(VersionGate, FailedMaximumAnsweredNoChangesNothingAndEndsWithTwo) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_4_0_0_1.exe", "VerProg={exe}quillon.exe\r\nMaxVer=3.99.0.0:New\r\n"));
  const std::string question = "New" + Message(16);
  Scenario sc;
  sc.Answer(question, IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.exitCode) << Describe(r);
  // No closing message after a refusal.
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(1u, boxes.size()) << Describe(r);
  ExpectVersionQuestion(boxes[0], question);
  EXPECT_TRUE(s.Untouched());
}

TEST(VersionGate, FailedBoundWithoutMessageRefusesWithoutAsking) {
  Setting s;
  ASSERT_TRUE(s.Prepare("version_4_0_0_1.exe",
                        "VerProg={exe}quillon.exe\r\nMinVer=3.0.0.0:Old\r\nMaxVer=3.99.0.0:\r\n"));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), Scenario());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(2u, r.exitCode) << Describe(r);
  EXPECT_TRUE(r.Boxes().empty()) << Describe(r);
  EXPECT_TRUE(s.Untouched());
}

TEST(VersionGate, VerProgPlaceholdersAreExpandedBeforeTheCheck) {
  Setting s;
  // {ini=...} names a definition of the run: the check sees the program
  // the installation's INI file names.
  e2e::TempDir prog("prog");
  ASSERT_TRUE(e2e::CopyFixture("version_2_0_14_3.exe", prog / "main.exe"));
  ASSERT_TRUE(s.Prepare("version_4_0_0_1.exe",
                        "VerProg={ini=Main}main.exe\r\nMaxVer=3.0.0.0:\r\n",
                        std::string("[readini]\r\nMain={des}Quillon.ini;Paths;Main\r\n") + kActions));
  ASSERT_TRUE(e2e::WriteFileBytes(s.inst / "Quillon.ini", "[Paths]\r\nMain=" + prog.path() + "\r\n"));

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), WithSuccess());

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_TRUE(s.Installed());
}

// ---- [VersionCopy] ----

TEST(VersionCopyGate, RefusedSectionIsSkippedAndTheNextDecidesForItself) {
  Setting s;
  // The status text of the skip is only up while the rest of the section is
  // passed over; the unit tests of the executor record it exactly.
  std::string skipped;
  for (int i = 0; i < 20; ++i) skipped += "skipped.txt={fver={exe}quillon.exe}\r\n";
  const std::string sections =
      "[VersionCopy]\r\n"
      "VerProg={exe}quillon.exe\r\n"
      "MinVer=4.0.0.0:Needs 4.\r\n"
      "first.txt\r\n" +
      skipped +
      "[VersionCopy]\r\n"
      "VerProg={exe}quillon.exe\r\n"
      "MaxVer=3.99.0.0:Too new\r\n"
      "second.txt\r\n"
      "[WriteIni]\r\n"
      "{des}result.ini=Run;done;yes\r\n";
  ASSERT_TRUE(s.Prepare("version_3_10_0_5.exe", "", sections));
  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "first.txt", "1"));
  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "second.txt", "2"));
  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "skipped.txt", "x"));
  const std::string question = Ansi("Needs 4.") + Message(45);
  Scenario sc = WithSuccess();
  sc.Answer(question, IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  std::vector<BoxRecord> boxes = r.Boxes();
  ASSERT_EQ(2u, boxes.size()) << Describe(r);
  ExpectVersionQuestion(boxes[0], question);
  EXPECT_EQ(Message(29), boxes[0].dialogStatus);
  EXPECT_FALSE(e2e::PathIsFile(s.inst / "first.txt"));
  EXPECT_FALSE(e2e::PathIsFile(s.inst / "skipped.txt"));
  EXPECT_TRUE(e2e::PathIsFile(s.inst / "second.txt"));
  EXPECT_EQ("yes", e2e::ReadIni(s.inst / "result.ini", "Run", "done"));
}

TEST(VersionCopyGate, YesCopiesTheSectionAndASilentRefusalSkipsTheNext) {
  Setting s;
  const std::string sections =
      "[VersionCopy]\r\n"
      "VerProg={exe}quillon.exe\r\n"
      "MaxVer=3.0.0.0:Too new\r\n"
      "first.txt\r\n"
      "extra.txt\r\n"
      "[VersionCopy]\r\n"
      "VerProg={exe}quillon.exe\r\n"
      "MaxVer=3.0.0.0:\r\n"
      "second.txt\r\n"
      "[VersionCopy]\r\n"
      "third.txt\r\n";
  ASSERT_TRUE(s.Prepare("version_3_10_0_5.exe", "", sections));
  for (const char* name : {"first.txt", "extra.txt", "second.txt", "third.txt"})
    ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / name, name));
  const std::string question = "Too new" + Message(45);
  Scenario sc = WithSuccess();
  sc.Answer(question, IDYES, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(2u, r.Boxes().size()) << Describe(r);
  EXPECT_TRUE(e2e::PathIsFile(s.inst / "first.txt"));
  EXPECT_TRUE(e2e::PathIsFile(s.inst / "extra.txt"));
  EXPECT_FALSE(e2e::PathIsFile(s.inst / "second.txt"));
  // A section without settings copies without a check: the values of the
  // section before do not carry over.
  EXPECT_TRUE(e2e::PathIsFile(s.inst / "third.txt"));
}

TEST(VersionCopyGate, UnreadableVersionAsksWithTheSameTextAndNoSkips) {
  Setting s;
  const std::string sections =
      "[VersionCopy]\r\n"
      "VerProg={exe}quillon.exe\r\n"
      "first.txt\r\n"
      "[Copy]\r\n"
      "second.txt\r\n";
  ASSERT_TRUE(s.Prepare("noversion.exe", "", sections));
  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "first.txt", "1"));
  ASSERT_TRUE(e2e::WriteFileBytes(s.pkg / "second.txt", "2"));
  const std::string question = MessageWith(18, s.Quillon());
  Scenario sc = WithSuccess();
  sc.Answer(question, IDNO, 1);

  RunResult r = e2e::RunSetup(s.pkg.path(), s.LocationArgs(), sc);

  ASSERT_TRUE(r.Clean()) << Describe(r);
  EXPECT_EQ(0u, r.exitCode) << Describe(r);
  EXPECT_EQ(1u, r.CountBoxes(question)) << Describe(r);
  EXPECT_FALSE(e2e::PathIsFile(s.inst / "first.txt"));
  EXPECT_TRUE(e2e::PathIsFile(s.inst / "second.txt"));
}

}  // namespace
