// What a run's copies need on a volume at their worst moment: replaced
// files give their room back unless rollback keeps them, backups on another
// volume need the old file's room, sizes count in whole clusters.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "actions/space_need.h"

namespace {

VolumeSpace Volume(unsigned long long cluster) {
  VolumeSpace volume;
  std::memset(&volume, 0, sizeof volume);
  volume.cluster = cluster;
  return volume;
}

TEST(SpaceNeed, CopiesInTheRunsOrderPeakAtTheirWorstMoment) {
  const long long K = 1024;
  enum Backup { kNone, kSameVolume, kOtherVolume };
  struct Copy {
    unsigned long long size;
    bool existed;
    unsigned long long oldSize;
    bool program;
    unsigned long long leftover;
  };
  struct Case {
    const char* name;
    Backup backup;
    std::initializer_list<Copy> copies;
    long long peak;         // on the targets' volume
    long long current;      // what the run leaves there
    long long backupPeak;   // on the other volume
  } cases[] = {
      {"new files add up", kNone, {{10 * K, false, 0, false, 0}, {1, false, 0, false, 0}}, 16 * K, 16 * K, 0},
      {"an empty file takes no cluster", kNone, {{0, false, 0, false, 0}}, 0, 0, 0},
      {"a replaced file needs its new size beside the old one, then gives the old back", kNone,
       {{8 * K, true, 8 * K, false, 0}, {8 * K, true, 8 * K, false, 0}}, 8 * K, 0, 0},
      {"a larger replacement keeps the difference", kNone,
       {{12 * K, true, 4 * K, false, 0}, {12 * K, true, 4 * K, false, 0}}, 20 * K, 16 * K, 0},
      {"rollback keeps the old file on its volume", kSameVolume,
       {{8 * K, true, 8 * K, false, 0}, {8 * K, true, 8 * K, false, 0}}, 16 * K, 16 * K, 0},
      {"a backup on another volume needs the old size there", kOtherVolume,
       {{8 * K, true, 6 * K, false, 0}, {8 * K, true, 6 * K, false, 0}}, 8 * K, 0, 16 * K},
      {"a renamed program stays; its leftover goes first", kNone,
       {{8 * K, true, 8 * K, true, 12 * K}}, 0, -4 * K, 0},
      {"a leftover kept by rollback stays", kSameVolume, {{8 * K, true, 8 * K, true, 12 * K}}, 8 * K, 8 * K, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VolumeSpace target = Volume(4 * K);
    VolumeSpace other = Volume(8 * K);
    VolumeSpace* backup = c.backup == kNone ? nullptr : c.backup == kSameVolume ? &target : &other;
    for (const Copy& copy : c.copies) {
      PlanCopySpace(&target, backup, {copy.size, copy.existed, copy.oldSize, copy.program, copy.leftover});
    }
    EXPECT_EQ(c.peak, target.peak);
    EXPECT_EQ(c.current, target.current);
    EXPECT_EQ(c.backupPeak, other.peak);
  }
}

TEST(SpaceNeed, DeletedFilesGiveRoomBackUnlessTheBackupKeepsThemBeside) {
  VolumeSpace volume = Volume(4096);
  VolumeSpace other = Volume(4096);
  PlanDeleteSpace(&volume, nullptr, 5000);
  EXPECT_EQ(-8192, volume.current);
  PlanDeleteSpace(&volume, &volume, 5000);
  EXPECT_EQ(-8192, volume.current);
  PlanDeleteSpace(&volume, &other, 100);
  EXPECT_EQ(-12288, volume.current);
  EXPECT_EQ(4096, other.peak);
  EXPECT_EQ(0, volume.peak);
}

TEST(SpaceNeed, ShortfallIsOnlyWhatWasMeasured) {
  VolumeSpace volume = Volume(1);
  AddSpace(&volume, 1000);
  volume.freeBytes = 999;
  EXPECT_FALSE(SpaceFallsShort(volume));  // not measured
  volume.measured = true;
  EXPECT_TRUE(SpaceFallsShort(volume));
  volume.freeBytes = 1000;
  EXPECT_FALSE(SpaceFallsShort(volume));
}

TEST(SpaceNeed, AmountsForTheMessageNeverShowANeedAsTheFreeSpace) {
  struct Case {
    unsigned long long bytes;
    const char* up;
    const char* down;
  } cases[] = {{0, "0 kB", "0 kB"},
               {1, "1 kB", "0 kB"},
               {409600, "400 kB", "400 kB"},
               {(10ULL << 20) - 1, "10240 kB", "10239 kB"},
               {10ULL << 20, "10 MB", "10 MB"},
               {(10ULL << 20) + 1, "11 MB", "10 MB"},
               {(75ULL << 30) + 5, "76 GB", "75 GB"},
               {~0ULL, "17179869184 GB", "17179869183 GB"}};
  for (const Case& c : cases) {
    char up[40], down[40];
    FormatSpaceAmount(c.bytes, true, up, sizeof up);
    FormatSpaceAmount(c.bytes, false, down, sizeof down);
    EXPECT_STREQ(c.up, up) << c.bytes;
    EXPECT_STREQ(c.down, down) << c.bytes;
  }
}

TEST(SpaceNeed, PlannedSizesFollowTheLatestLineWhateverTheLetterCase) {
  PlannedSizes sizes;
  PlannedSizesInit(&sizes);
  for (int i = 0; i < 2000; ++i) {
    ASSERT_TRUE(SetPlannedSize(&sizes, ("C:\\Q\\file" + std::to_string(i)).c_str(), true, i));
  }
  ASSERT_TRUE(SetPlannedSize(&sizes, "c:\\q\\FILE7", false, 0));
  bool exists = true;
  unsigned long long size = 0;
  ASSERT_TRUE(FindPlannedSize(&sizes, "C:\\Q\\file1999", &exists, &size));
  EXPECT_TRUE(exists);
  EXPECT_EQ(1999u, size);
  ASSERT_TRUE(FindPlannedSize(&sizes, "C:\\Q\\file7", &exists, &size));
  EXPECT_FALSE(exists);
  EXPECT_FALSE(FindPlannedSize(&sizes, "C:\\Q\\file2000", &exists, &size));
  EXPECT_EQ(2000u, sizes.used);
  PlannedSizesFree(&sizes);
}

}  // namespace
