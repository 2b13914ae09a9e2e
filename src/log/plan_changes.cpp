#include "log/plan_changes.h"

#include <cstdlib>

#include "app/text.h"
#include "script/script_reader.h"

namespace {

// Names noted by the rehearsal, heap texts in a growing array.
char** names = nullptr;
int count = 0;
int capacity = 0;

}  // namespace

void PlanNoteChange(const char* name) {
  if (!name || !name[0] || PlanChangedEarlier(name)) return;
  if (count == capacity) {
    int grown = capacity ? capacity * 2 : 64;
    char** bigger = static_cast<char**>(std::realloc(names, sizeof(char*) * grown));
    if (!bigger) return;  // the remark is lost, never the plan
    names = bigger;
    capacity = grown;
  }
  char* copy = DuplicateText(name);
  if (copy) names[count++] = copy;
}

bool PlanChangedEarlier(const char* name) {
  if (!name) return false;
  for (int i = 0; i < count; ++i) {
    if (SameText(names[i], name)) return true;
  }
  return false;
}

const char* PlanRemark(const char* name) {
  return PlanChangedEarlier(name)
             ? "; an earlier line would change it: planned from its present state"
             : "";
}

void PlanForgetChanges() {
  for (int i = 0; i < count; ++i) std::free(names[i]);
  std::free(names);
  names = nullptr;
  count = 0;
  capacity = 0;
}
