// A copy that fails never costs the file it was to replace: on a volume too
// small for the new file, the installation keeps its old file through
// Abort and Ignore, and Retry after room was made installs the new one. The
// volume fills only after the space check before the first change: a [Run]
// line before the copy writes the filler (what programs write is not
// counted).
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"
#include "e2e/small_volume.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;
using e2e::FileText;

namespace {

const size_t kOldSize = 100 * 1024;
const size_t kNewSize = 400 * 1024;

std::string Bytes(size_t size, char fill) { return std::string(size, fill); }

TEST(SafeCopy, VolumeTooSmallForTheNewFileKeepsTheOldOneUnlessRetryFindsRoom) {
  std::string why;
  const std::string volume = e2e::SmallVolume(&why);
  if (volume.empty()) GTEST_SKIP() << why;

  struct Case {
    const char* name;
    int answer;
    bool freeRoomFirst;
    char expectedFill;
    size_t expectedSize;
  } cases[] = {{"abort", IDABORT, false, 'o', kOldSize},
               {"retry after room was made", IDRETRY, true, 'n', kNewSize},
               {"ignore", IDIGNORE, false, 'o', kOldSize}};

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    e2e::FullVolume full;
    ASSERT_TRUE(full.Make(volume));
    ASSERT_TRUE(e2e::WriteFileBytes(e2e::JoinPath(full.inst, "lib.dll"), Bytes(kOldSize, 'o')));
    e2e::TempDir pkg("pkg");
    ASSERT_TRUE(e2e::WriteFileBytes(pkg / "lib.dll", Bytes(kNewSize, 'n')));
    // The filler leaves less room than the new lib.dll needs beside the old one.
    const unsigned long long fillerSize = full.FillerSize(kNewSize / 2);
    ASSERT_GT(fillerSize, kNewSize);  // room enough to be made later
    ASSERT_TRUE(e2e::WriteFileBytes(pkg / "filler.src", Bytes(static_cast<size_t>(fillerSize), 'f')));
    char system[MAX_PATH];
    ASSERT_GT(GetSystemDirectoryA(system, sizeof system), 0u);
    ASSERT_TRUE(e2e::WriteSetupDat(
        pkg.path(), e2e::AutoStartScript(std::string("[Run]\n") + system + "\\cmd.exe '/c copy /y \"" +
                                         (pkg / "filler.src") + "\" \"" + full.filler + "\"'\n"
                                         "[Copy]\nlib.dll\n")));
    const std::string target = e2e::JoinPath(full.inst, "lib.dll");
    const std::string failure = e2e::CzCopyFailedHead(pkg / "lib.dll", target);
    Scenario sc = e2e::FinalAnswers();
    const std::string filler = full.filler;
    bool freeRoom = c.freeRoomFirst;
    sc.AnswerThen(failure, c.answer,
                  [filler, freeRoom](Session&, const BoxRecord&) {
                    if (freeRoom) e2e::DeleteTree(filler);
                  },
                  1);

    RunResult r = e2e::RunSetup(pkg.path(),
                                e2e::LocationArgs(full.inst, e2e::JoinPath(full.inst, "Quillon.ini")),
                                sc);

    ASSERT_TRUE(r.Clean()) << Describe(r);
    EXPECT_EQ(3u, r.exitCode) << Describe(r);
    const BoxRecord* box = r.FindBox(failure);
    ASSERT_NE(nullptr, box) << Describe(r);
    EXPECT_NE(std::string::npos, box->text.find(e2e::Ansi("Disk je plný"))) << Describe(r);
    const std::string now = FileText(target);
    EXPECT_EQ(c.expectedSize, now.size());
    EXPECT_TRUE(now == Bytes(c.expectedSize, c.expectedFill)) << "lib.dll holds other bytes";
    EXPECT_EQ("lib.dll quillon.exe", e2e::Listing(full.inst)) << Describe(r);
  }
}

}  // namespace
