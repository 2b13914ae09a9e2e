// Small pieces shared by the end-to-end cases: catalogue texts as Setup
// shows them, the usual scripts, scenarios and case directories, a guard for
// the registry entries a case sets up, and a marker that tells which
// directory a run was working in.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "driver.h"
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
    case 32: return Ansi("Nepodařilo se zkopírovat soubor %s do %s!\nChyba: %s");
    case 33: return Ansi("Nepodařilo se zkopírovat soubor %s !\nChyba: %s");
    case 34: return Ansi("%s\nChcete pokračovat v instalaci balíčku ?");
    case 35: return Ansi("Nepodařilo se spustit program %s !");
    case 36: return Ansi("Přeskakuji soubory...");
    case 37: return Ansi("Instalace neproběhla bez chyb !\n%s");
    case 39: return Ansi("Vyberte adresář s programem (Quillon.exe):");
    case 40: return Ansi("Soubor Quillon.exe nebyl nalezen v uvedené cestě. Zvolte jiný adresář.");
    case 41: return Ansi("&Adresář s instalací Quillonu (cesta k souboru Quillon.ini):");
    case 42: return Ansi("Adresář s hlavním &programem aplikace (Quillon.exe):");
    case 43: return Ansi("Na&instalovat");
    case 44: return Ansi("&Zrušit");
    case 45: return Ansi("\n\nKopírovat i přesto tyto soubory ?");
    case 47: return Ansi("Instalace balíčku byla přerušena a instalace Quillonu byla vrácena do původního stavu.");
    case 48: return Ansi("Instalaci Quillonu se nepodařilo zcela vrátit do původního stavu:\n%s");
    case 49: return Ansi("Předchozí instalace balíčku do tohoto adresáře nebyla dokončena. Vrátit instalaci Quillonu do stavu před ní ?");
    case 50: return Ansi("Nelze vytvořit soubor protokolu %s !\nChyba: %s");
    case 51: return Ansi("Plán instalace byl zapsán do souboru %s");
    case 52: return Ansi("Nelze založit záznam pro vrácení změn v adresáři %s !\nChyba: %s");
    case 53: return Ansi("V adresáři %s je nedokončený záznam dřívější instalace, který nelze ověřit (zapsal ho jiný uživatelský účet, nebo byl změněn). Nic z něj nebylo vráceno.\nSpusťte instalaci pod účtem, který provedl dřívější instalaci, nebo adresář odstraňte.");
    case 58: return Ansi("v adresáři je neověřený záznam dřívější instalace");
    case 64: return Ansi("adresář je odkaz na jiné místo (symbolický odkaz nebo spojení)");
    case 55: return Ansi("Balíček je poškozený, tyto soubory neodpovídají jeho pečeti (setup.sum). Instalace nebyla zahájena a nic nebylo změněno.\n%s");
    case 56: return Ansi("Na disku %s není dost místa pro instalaci balíčku !\nPotřeba: %s, volné místo: %s.\nUvolněte místo a zvolte Opakovat, nebo instalaci zrušte.");
    case 57: return Ansi("Kontroluji balíček");
    case 59: return Ansi("chybí");
    case 60: return Ansi("změněn");
    case 61: return Ansi("není v pečeti");
    case 62: return Ansi("nelze přečíst nebo je poškozený");
    case 63: return Ansi("... a další soubory: %s");
    case 54: return Ansi("\n\nProtokol instalace %s se nepodařilo zapsat celý !");
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

// The piece of message n between its (part-1)th and part-th %s: part 0 is
// the text up to the first %s, the last part the text after the last one.
inline std::string MessagePart(int n, int part) {
  const std::string text = Message(n);
  size_t from = 0;
  for (int i = 0; i < part; ++i) {
    from = text.find("%s", from);
    if (from == std::string::npos) return std::string();
    from += 2;
  }
  const size_t to = text.find("%s", from);
  return text.substr(from, to == std::string::npos ? std::string::npos : to - from);
}

// The first question of a run that finds no installation (message 7).
inline std::string NoInstallationQuestion() { return Message(7); }

// Texts of a script run's failures, as far as they do not depend on the
// system's error text.
inline std::string CzFinalErrors() { return MessagePart(37, 0); }  // up to its %s
inline std::string CzRefusedLine() {  // message 46 up to its %s
  return Ansi("Řádek skriptu je příliš dlouhý a nebyl proveden: ");
}
// Message 33 for `path` up to the system's text, and message 34's ending.
inline std::string CzMissingSourceHead(const std::string& path) {
  return MessagePart(33, 0) + path + MessagePart(33, 1);
}
inline std::string CzContinueQuestion() { return MessagePart(34, 1); }
// Message 32 for source and target up to the system's text.
inline std::string CzCopyFailedHead(const std::string& source, const std::string& target) {
  return MessagePart(32, 0) + source + MessagePart(32, 1) + target + MessagePart(32, 2);
}
// Message 35 for `program`.
inline std::string CzRunFailed(const std::string& program) { return MessageWith(35, program); }

// ---- scripts and scenarios ----

// Options that let a run start by itself once the installation is known.
const char kAutoStart[] = "[Options]\r\nSkipWelcome=1\r\n";

// kAutoStart followed by `sections`, all lines ended with CR LF.
inline std::string AutoStartScript(const std::string& sections) {
  return CrLf(std::string(kAutoStart) + sections);
}

// Every successful run without "/silent" ends with the success message.
inline driver::Scenario WithSuccess() {
  driver::Scenario sc;
  sc.Answer(Message(5), IDOK, 1);
  return sc;
}

// On a machine without a registered installation the program first asks
// whether the user wants to choose the directory; Yes leads to the waiting
// dialog.
inline driver::Scenario WaitingDialog() {
  driver::Scenario sc;
  sc.Answer(NoInstallationQuestion(), IDYES, 1);
  return sc;
}

// ---- case directories ----

// A package and an installation, each in a directory of its own.
struct CaseDirs {
  TempDir pkg{"pkg"};
  TempDir inst{"inst"};

  // setup.dat in the package and quillon.exe (and Quillon.ini) in the
  // installation, as MakeInstallation makes them.
  bool Make(const std::string& script, const std::string& iniText = "",
            const std::string& quillonFixture = "") const {
    return WriteSetupDat(pkg.path(), script) &&
           MakeInstallation(inst.path(), iniText, quillonFixture);
  }
  // The installation on the command line; its program lies in it too unless
  // `programDir` says otherwise.
  std::string LocationArgs(const std::string& programDir = "") const {
    return e2e::LocationArgs(programDir.empty() ? inst.path() : programDir, inst / "Quillon.ini");
  }
};

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
