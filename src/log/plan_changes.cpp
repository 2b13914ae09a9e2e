#include "log/plan_changes.h"

#include <cstdlib>
#include <cstring>

#include "app/text.h"
#include "script/script_reader.h"

namespace {

struct Entry {
  char* name;
  PlanState state;
  char* text;
  unsigned long type;
  unsigned char* data;
  unsigned long size;
  bool readOnly;
  int line;  // the line that set it
};

// The items of a rehearsal in a growing array: a package changes a few
// hundred items at most, and a search through them costs far less than the
// system call each one stands for.
Entry* entries = nullptr;
int count = 0;
int capacity = 0;
int currentLine = 0;
bool dependent = false;

const char kRemark[] = "; an earlier line would change it";

Entry* Find(const char* name) {
  for (int i = 0; i < count; ++i) {
    if (SameText(entries[i].name, name)) return &entries[i];
  }
  return nullptr;
}

void Release(Entry* entry) {
  std::free(entry->name);
  std::free(entry->text);
  std::free(entry->data);
}

PlanItem ItemOf(const Entry& entry) {
  PlanItem item = {entry.state, entry.text, entry.type, entry.data, entry.size, entry.readOnly};
  return item;
}

}  // namespace

void PlanNextLine() { ++currentLine; }

bool PlanSetItem(const char* name, const PlanItem& item) {
  if (!name || !name[0]) return false;
  Entry fresh = {nullptr, item.state, DuplicateText(item.text ? item.text : ""), item.type,
                 nullptr, item.size, item.readOnly, currentLine};
  if (item.data && item.size > 0) {
    fresh.data = static_cast<unsigned char*>(std::malloc(item.size));
    if (fresh.data) std::memcpy(fresh.data, item.data, item.size);
  }
  bool complete = fresh.text && (!item.data || item.size == 0 || fresh.data);
  Entry* entry = Find(name);
  if (complete && !entry) {
    if (count == capacity) {
      int grown = capacity ? capacity * 2 : 64;
      Entry* bigger = static_cast<Entry*>(std::realloc(entries, sizeof(Entry) * grown));
      if (bigger) {
        entries = bigger;
        capacity = grown;
      }
    }
    fresh.name = count < capacity ? DuplicateText(name) : nullptr;
    if (!fresh.name) complete = false;
  }
  if (!complete) {
    Release(&fresh);
    return false;
  }
  if (entry) {
    fresh.name = entry->name;
    entry->name = nullptr;
    Release(entry);
    *entry = fresh;
  } else {
    entries[count++] = fresh;
  }
  return true;
}

void PlanSetFile(const char* path, const char* origin, bool readOnly) {
  PlanItem item = {kPlanPresent, origin, 0, nullptr, 0, readOnly};
  PlanSetItem(path, item);
}

void PlanSetState(const char* name, PlanState state) {
  PlanItem item = {state, "", 0, nullptr, 0, false};
  PlanSetItem(name, item);
}

PlanItem PlanGetItem(const char* name) {
  const Entry* entry = name ? Find(name) : nullptr;
  if (!entry) {
    PlanItem unknown = {kPlanUnknown, "", 0, nullptr, 0, false};
    return unknown;
  }
  if (entry->line < currentLine) dependent = true;
  return ItemOf(*entry);
}

void PlanForEachChild(const char* parent, char separator,
                      void (*visit)(const char* name, const PlanItem& item, void* context),
                      void* context) {
  size_t length = std::strlen(parent);
  for (int i = 0; i < count; ++i) {
    const char* name = entries[i].name;
    if (std::strlen(name) <= length + 1 || !StartsWithText(name, parent) ||
        name[length] != separator) {
      continue;
    }
    const char* rest = name + length + 1;
    if (std::strchr(rest, '\\') || std::strchr(rest, '\n')) continue;
    if (entries[i].line < currentLine) dependent = true;
    visit(name, ItemOf(entries[i]), context);
  }
}

const char* PlanIniName(const char* file, const char* section, const char* key, char* name,
                        size_t size) {
  if (key) {
    FormatText(name, size, "INI\n%s\n%s\n%s", file, section, key);
  } else {
    FormatText(name, size, "INI\n%s\n%s", file, section);
  }
  return name;
}

void PlanBeginEvent() { dependent = false; }

void PlanMarkDependent() { dependent = true; }

bool PlanEventDepends() { return dependent; }

const char* PlanRemark() { return dependent ? kRemark : ""; }

void PlanForgetChanges() {
  for (int i = 0; i < count; ++i) Release(&entries[i]);
  std::free(entries);
  entries = nullptr;
  count = 0;
  capacity = 0;
  currentLine = 0;
  dependent = false;
}

bool PlanNameMatches(const char* mask, const char* name) {
  if (!mask || !name) return false;
  // After a run of '*' the search goes on at the next name character equal
  // to the mask's next one; only the run since the last '*' is tried again.
  const char* lastStar = nullptr;
  const char* retry = nullptr;
  while (*name != '\0' && *mask != '\0') {
    if (*mask == '*') {
      while (*mask == '*') ++mask;
      if (*mask == '\0') return true;
      lastStar = mask;
      while (*name != '\0' && FoldAscii(*name) != FoldAscii(*mask)) ++name;
      retry = name;
    } else if (*mask == '?') {
      ++mask;
      ++name;
    } else if (FoldAscii(*mask) == FoldAscii(*name)) {
      ++mask;
      ++name;
      if (*mask == '\0') {
        if (*name == '\0') return true;
        if (lastStar) mask = lastStar;
      }
    } else {
      if (!lastStar || *retry == '\0') return false;
      mask = lastStar;
      name = ++retry;
    }
  }
  while (*mask == '.' || *mask == '*') ++mask;
  return *name == '\0' && *mask == '\0';
}
