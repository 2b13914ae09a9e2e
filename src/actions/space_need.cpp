#include "actions/space_need.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "script/script_reader.h"

unsigned long long WholeClusters(unsigned long long size, unsigned long long cluster) {
  // Clusters are powers of two on every file system Windows knows.
  if (cluster <= 1 || (cluster & (cluster - 1)) != 0) return size;
  return (size + cluster - 1) & ~(cluster - 1);
}

void AddSpace(VolumeSpace* volume, long long bytes) {
  volume->current += bytes;
  if (volume->current > volume->peak) volume->peak = volume->current;
}

namespace {

long long Clusters(unsigned long long size, const VolumeSpace* volume) {
  return static_cast<long long>(WholeClusters(size, volume->cluster));
}

}  // namespace

void PlanCopySpace(VolumeSpace* target, VolumeSpace* backup, const CopySpace& copy) {
  if (copy.leftover) {
    // An earlier renamed program goes first: deleted, or kept in the backup.
    if (backup && backup != target) AddSpace(backup, Clusters(copy.leftover, backup));
    if (backup != target) AddSpace(target, -Clusters(copy.leftover, target));
  }
  long long fresh = Clusters(copy.newSize, target);
  if (!copy.existed || copy.renamedAside) {
    AddSpace(target, fresh);
    return;
  }
  // Rollback keeps the old file: moved into the folder on its own volume,
  // copied there from another one.
  if (backup && backup != target) AddSpace(backup, Clusters(copy.oldSize, backup));
  // The complete copy is made beside the old file, which goes only then.
  AddSpace(target, fresh);
  if (backup != target) AddSpace(target, -Clusters(copy.oldSize, target));
}

void PlanDeleteSpace(VolumeSpace* volume, VolumeSpace* backup, unsigned long long size) {
  if (backup == volume) return;  // moved into the backup beside it
  if (backup) AddSpace(backup, Clusters(size, backup));
  AddSpace(volume, -Clusters(size, volume));
}

bool SpaceFallsShort(const VolumeSpace& volume) {
  return volume.measured && volume.peak > 0 &&
         static_cast<unsigned long long>(volume.peak) > volume.freeBytes;
}

void FormatSpaceAmount(unsigned long long bytes, bool roundUp, char* text, size_t capacity) {
  // kB below 10 MB, MB below 10 GB, GB above: whole numbers, shifted rather
  // than divided (no 64-bit division routine in a 32-bit program).
  int shift = bytes < (10ULL << 20) ? 10 : bytes < (10ULL << 30) ? 20 : 30;
  unsigned long long unit = 1ULL << shift;
  unsigned long long whole = (bytes >> shift) + (roundUp && (bytes & (unit - 1)) != 0);
  char number[kDecimalTextSize];
  FormatText(text, capacity, "%s %s", DecimalText(whole, number),
             shift == 10 ? "kB" : shift == 20 ? "MB" : "GB");
}

// --- planned sizes: open addressing over names folded to ASCII capitals

namespace {

size_t HashOf(const char* path) {
  size_t hash = 2166136261u;
  for (; *path; ++path) hash = (hash ^ static_cast<unsigned char>(FoldAscii(*path))) * 16777619u;
  return hash;
}

PlannedSizes::Slot* SlotOf(const PlannedSizes* sizes, const char* path) {
  size_t mask = sizes->capacity - 1;
  for (size_t at = HashOf(path) & mask;; at = (at + 1) & mask) {
    PlannedSizes::Slot* slot = &sizes->slots[at];
    if (!slot->path || SameText(slot->path, path)) return slot;
  }
}

bool Grow(PlannedSizes* sizes) {
  size_t capacity = sizes->capacity ? sizes->capacity * 2 : 256;
  PlannedSizes::Slot* slots =
      static_cast<PlannedSizes::Slot*>(std::calloc(capacity, sizeof(PlannedSizes::Slot)));
  if (!slots) return false;
  PlannedSizes grown = {slots, capacity, sizes->used};
  for (size_t i = 0; i < sizes->capacity; ++i) {
    if (sizes->slots[i].path) *SlotOf(&grown, sizes->slots[i].path) = sizes->slots[i];
  }
  std::free(sizes->slots);
  *sizes = grown;
  return true;
}

}  // namespace

void PlannedSizesInit(PlannedSizes* sizes) {
  sizes->slots = nullptr;
  sizes->capacity = 0;
  sizes->used = 0;
}

void PlannedSizesFree(PlannedSizes* sizes) {
  for (size_t i = 0; i < sizes->capacity; ++i) std::free(sizes->slots[i].path);
  std::free(sizes->slots);
  PlannedSizesInit(sizes);
}

bool SetPlannedSize(PlannedSizes* sizes, const char* path, bool exists, unsigned long long size) {
  // At most half full: a search always meets a free slot soon.
  if ((sizes->used + 1) * 2 > sizes->capacity && !Grow(sizes)) return false;
  PlannedSizes::Slot* slot = SlotOf(sizes, path);
  if (!slot->path) {
    slot->path = DuplicateText(path);
    if (!slot->path) return false;
    ++sizes->used;
  }
  slot->exists = exists;
  slot->size = size;
  return true;
}

bool FindPlannedSize(const PlannedSizes* sizes, const char* path, bool* exists,
                     unsigned long long* size) {
  if (sizes->capacity == 0) return false;
  const PlannedSizes::Slot* slot = SlotOf(sizes, path);
  if (!slot->path) return false;
  *exists = slot->exists;
  *size = slot->size;
  return true;
}
