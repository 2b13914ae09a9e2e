// What a run's copies need on each volume, worked out before the first
// change: the files in the run's order, each rounded up to whole clusters,
// and per volume the most the run has added at any moment. Only what is
// certain counts as a need: space given back (a replaced file, a deleted
// one, a leftover renamed program) is counted as soon as it may be given
// back. Plain text processing, no <windows.h>.
#pragma once
#include <cstddef>

const int kSpaceVolumes = 16;
const size_t kVolumeNameSize = 261;

struct VolumeSpace {
  char root[kVolumeNameSize];   // the volume as the system names it ("C:\", a mount point)
  char probe[kVolumeNameSize];  // the existing directory its free space is measured at
  unsigned long long cluster;   // bytes per cluster, 1 when unknown
  long long current;            // bytes the run has added so far (less than 0: given back)
  long long peak;               // the most it has added at any moment
  bool measured;                // freeBytes holds what the system said
  unsigned long long freeBytes;
  unsigned long measureError;   // the system's error code when not measured
};

// size rounded up to whole clusters (a power of two; other values count
// bytes); an empty file takes none.
unsigned long long WholeClusters(unsigned long long size, unsigned long long cluster);
// The run adds (or, negative, gives back) bytes on the volume now.
void AddSpace(VolumeSpace* volume, long long bytes);

// One copy onto `target`'s volume. backup is the volume of the rollback
// folder (null without rollback). existed: the target is there (with
// oldSize bytes); renamedAside: it is a program file that is renamed out of
// the way and stays; leftover: bytes of earlier renamed programs that go
// first.
struct CopySpace {
  unsigned long long newSize;
  bool existed;
  unsigned long long oldSize;
  bool renamedAside;
  unsigned long long leftover;
};
void PlanCopySpace(VolumeSpace* target, VolumeSpace* backup, const CopySpace& copy);
// A file of `size` bytes is deleted (kept in the backup with rollback).
void PlanDeleteSpace(VolumeSpace* volume, VolumeSpace* backup, unsigned long long size);

// The volume was measured and has less free space than the run needs.
bool SpaceFallsShort(const VolumeSpace& volume);

// An amount for message 56: "340 kB" below 10 MB, "152 MB" below 10 GB,
// "75 GB" above, rounded up (roundUp) or down, so that a need above the free
// space is never shown as equal to it.
void FormatSpaceAmount(unsigned long long bytes, bool roundUp, char* text, size_t capacity);

// The size each path has after the lines so far (a copy's target, a
// deleted file): later lines see what earlier ones leave. Names are
// compared without regard to ASCII case.
struct PlannedSizes {
  struct Slot {
    char* path;  // heap text, null for a free slot
    unsigned long long size;
    bool exists;
  };
  Slot* slots;
  size_t capacity;  // a power of two
  size_t used;
};
void PlannedSizesInit(PlannedSizes* sizes);
void PlannedSizesFree(PlannedSizes* sizes);
// False when out of memory (the path is then not remembered).
bool SetPlannedSize(PlannedSizes* sizes, const char* path, bool exists, unsigned long long size);
// True when an earlier line left path; exists and size say how.
bool FindPlannedSize(const PlannedSizes* sizes, const char* path, bool* exists,
                     unsigned long long* size);
