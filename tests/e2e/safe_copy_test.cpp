// A copy that fails never costs the file it was to replace: on a volume too
// small for the new file, the installation keeps its old file through
// Abort and Ignore, and Retry after room was made installs the new one.
#include <gtest/gtest.h>

#include <string>

#include "e2e/e2e_cases.h"
#include "e2e/script_bed.h"

using driver::BoxRecord;
using driver::RunResult;
using driver::Scenario;
using driver::Session;
using e2e::Describe;
using e2e::FileText;

namespace {

const size_t kOldSize = 100 * 1024;
const size_t kNewSize = 400 * 1024;

// The small volume that the test command mounts (SETUP_SMALL_VOLUME, a
// Windows path); empty when there is none.
std::string SmallVolume(std::string* why) {
  char path[MAX_PATH + 1];
  DWORD length = GetEnvironmentVariableA("SETUP_SMALL_VOLUME", path, sizeof path);
  if (length == 0 || length >= sizeof path) {
    *why = "SETUP_SMALL_VOLUME is not set: scripts/test.sh could not mount a small volume";
    return "";
  }
  ULARGE_INTEGER freeBytes, totalBytes;
  if (!GetDiskFreeSpaceExA(path, &freeBytes, &totalBytes, nullptr) ||
      totalBytes.QuadPart > 4u * 1024 * 1024) {
    *why = std::string(path) + " is not a small volume of its own";
    return "";
  }
  return path;
}

std::string Bytes(size_t size, char fill) { return std::string(size, fill); }

// An installation on the small volume holding an old lib.dll, and a filler
// that leaves less room than the new lib.dll needs.
struct FullVolume {
  std::string volume;
  std::string inst;
  std::string filler;

  bool Make(const std::string& root) {
    volume = root;
    inst = e2e::JoinPath(volume, "inst");
    filler = e2e::JoinPath(volume, "filler.bin");
    e2e::DeleteTree(inst);
    e2e::DeleteTree(filler);
    if (!e2e::MakeInstallation(inst) ||
        !e2e::WriteFileBytes(e2e::JoinPath(inst, "lib.dll"), Bytes(kOldSize, 'o'))) {
      return false;
    }
    ULARGE_INTEGER freeBytes;
    if (!GetDiskFreeSpaceExA(volume.c_str(), &freeBytes, nullptr, nullptr)) return false;
    const unsigned long long keep = kNewSize / 2;
    if (freeBytes.QuadPart <= keep + kNewSize) return false;  // too small to free room later
    return e2e::WriteFileBytes(filler, Bytes(static_cast<size_t>(freeBytes.QuadPart - keep), 'f'));
  }
  ~FullVolume() {
    e2e::DeleteTree(inst);
    e2e::DeleteTree(filler);
  }
};

TEST(SafeCopy, VolumeTooSmallForTheNewFileKeepsTheOldOneUnlessRetryFindsRoom) {
  std::string why;
  const std::string volume = SmallVolume(&why);
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
    FullVolume full;
    ASSERT_TRUE(full.Make(volume));
    e2e::TempDir pkg("pkg");
    ASSERT_TRUE(e2e::WriteFileBytes(pkg / "lib.dll", Bytes(kNewSize, 'n')));
    ASSERT_TRUE(e2e::WriteSetupDat(pkg.path(), e2e::AutoStartScript("[Copy]\nlib.dll\n")));
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
