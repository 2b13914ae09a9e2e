// Small pieces shared by the end-to-end cases: catalogue texts as Setup
// shows them, a guard for the registry entries a case sets up, and a
// marker that tells which directory a run was working in.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "e2e/e2e_support.h"

namespace e2e {

// Czech catalogue texts (Windows-1250), by message number.
inline std::string Message(int n) {
  switch (n) {
    case 1: return Ansi("Byl nalezen běžící Quillon. Pro instalaci balíčku je potřeba Quillon uzavřít !");
    case 2: return Ansi("Quillon je spuštěn...");
    case 3: return Ansi("Očekávám ukončení Quillonu !");
    case 4: return Ansi("Instalace balíčku...");
    case 5: return Ansi("Instalace byla úspěšně dokončena.");
    case 7: return Ansi("Program nenalezl informaci o instalaci Quillonu. Chcete sami vybrat adresář pro uložení dat z balíčku ?");
    case 8: return Ansi("Instalace nenalezena...");
    case 9: return Ansi("Soubor Quillon.exe nebyl nalezen v uvedené cestě. Zvolte jiný adresář.");
    case 10: return Ansi("Soubor nenalezen...");
    case 11: return Ansi("Nainstalovat tento balíček Quillonu do instalace v adresáři %s ?\n(adresář s programem Quillon.exe je %s)");
    case 12: return Ansi("Nelze najít cílovou cestu ! Vyberte cílový adresář prosím sami.");
    case 13: return Ansi("Chyba cesty...");
    case 14: return Ansi("Neplatne zapsane info o verzich, string:'%s'\nNemohu ověřit verze. Pokračovat ?");
    case 15: return Ansi("Syntax error...");
    case 16: return Ansi("\n\nPokračovat v instalaci ?");
    case 17: return Ansi("Nesoulad verzí...");
    case 18: return Ansi("Nepodařilo zjistit verzi programu '%s', přejete si i přesto pokračovat v instalaci ?");
    case 19: return Ansi("Nepodařilo zjistit verzi souboru...");
    case 26: return Ansi("Zápis do registrů...");
    case 27: return Ansi("Mazání v registrech...");
    case 29: return Ansi("Testování verze před kopírováním...");
    case 36: return Ansi("Přeskakuji soubory...");
    case 45: return Ansi("\n\nKopírovat i přesto tyto soubory ?");
    default: return std::string();
  }
}

// Message n with its %s filled in order.
inline std::string MessageWith(int n, const std::string& a, const std::string& b = "") {
  std::string text = Message(n);
  size_t at = text.find("%s");
  if (at != std::string::npos) {
    text.replace(at, 2, a);
    at = text.find("%s", at + a.size());
    if (at != std::string::npos) text.replace(at, 2, b);
  }
  return text;
}

// Removes registry keys (with everything below them) when made and again
// when it goes out of scope, so a failed case leaves nothing behind for the
// next one.
class RegistryKeysGuard {
 public:
  explicit RegistryKeysGuard(std::vector<std::pair<HKEY, std::string>> keys)
      : keys_(std::move(keys)) {
    Clear();
  }
  ~RegistryKeysGuard() { Clear(); }
  RegistryKeysGuard(const RegistryKeysGuard&) = delete;
  RegistryKeysGuard& operator=(const RegistryKeysGuard&) = delete;
  bool Clear() {
    bool ok = true;
    for (const auto& k : keys_) ok = RegDeleteTreeAt(k.first, k.second) && ok;
    return ok;
  }

 private:
  std::vector<std::pair<HKEY, std::string>> keys_;
};

// The keys Setup reads to find an installation.
const char kFirstAssociation[] = "TFolvanedatasave\\Shell\\Open\\Command";
const char kSecondAssociation[] = "Dokument Quillon\\Shell\\Open\\Command";
const char kApplicationEntry[] = "Software\\Valtor CZ\\Quillon\\2.0\\Path";

inline std::vector<std::pair<HKEY, std::string>> LocationKeys() {
  return {{HKEY_CLASSES_ROOT, "TFolvanedatasave"},
          {HKEY_CLASSES_ROOT, "Dokument Quillon"},
          {HKEY_LOCAL_MACHINE, "Software\\Valtor CZ"}};
}

// A [Move] line on a relative name acts in the current directory: with the
// marker in several directories, the one whose marker was renamed is the
// directory the run worked in.
const char kMarkerMove[] = "[Move]\r\ncdmark.txt=cdmoved.txt\r\n";

inline bool PlaceMarker(const std::string& dir) {
  return WriteFileBytes(JoinPath(dir, "cdmark.txt"), "marker");
}
inline bool MarkerMoved(const std::string& dir) {
  return PathIsFile(JoinPath(dir, "cdmoved.txt")) && !PathIsFile(JoinPath(dir, "cdmark.txt"));
}
inline bool MarkerUntouched(const std::string& dir) {
  return PathIsFile(JoinPath(dir, "cdmark.txt")) && !PathIsFile(JoinPath(dir, "cdmoved.txt"));
}

}  // namespace e2e
