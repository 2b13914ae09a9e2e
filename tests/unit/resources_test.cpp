// The program's resources as Windows hands them out: the catalogue texts as
// Windows-1250 bytes, dialog 101 with its controls, icon 102, the manifest
// and the version resource. unit_tests carries the same res/setup.rc.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/installer_context.h"
#include "unit/resource_texts.h"

namespace {

HMODULE Module() { return GetModuleHandleA(nullptr); }

// The texts are only right under the ANSI code page of a Czech or Slovak
// system; anything else would make every comparison below meaningless.
class ResourceTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(GetACP(), 1250u) << "ANSI code page is not 1250: run under Wine with "
                                  "LC_ALL=cs_CZ.UTF-8 (scripts/wine-env.sh sets it)";
  }
};

// LoadStringA as the catalogue calls it: 255 characters with the NUL.
bool LoadText(UINT id, std::string* text) {
  char buffer[255];
  std::memset(buffer, 0x7f, sizeof buffer);
  int length = LoadStringA(Module(), id, buffer, sizeof buffer);
  if (length <= 0) return false;
  EXPECT_EQ(buffer[length], '\0') << "id " << id;
  text->assign(buffer, length);
  return true;
}

TEST_F(ResourceTableTest, EveryCatalogueTextHasItsWindows1250Bytes) {
  std::set<unsigned> ids;
  for (const ExpectedResourceText& expected : kExpectedResourceTexts) {
    std::string text;
    ASSERT_TRUE(LoadText(expected.id, &text)) << "string " << expected.id << " missing";
    EXPECT_EQ(text, std::string(expected.bytes)) << "string " << expected.id;
    ids.insert(expected.id);
  }
  // The generated list itself covers both sets, without number 38.
  std::set<unsigned> wanted;
  for (unsigned base : {1000u, 2000u})
    for (unsigned n = 1; n <= 64; ++n)
      if (n != 38) wanted.insert(base + n);
  EXPECT_EQ(ids, wanted);
}

// Written out by hand, independent of the generator and its source list.
TEST_F(ResourceTableTest, SelectedTextsMatchHandWrittenBytes) {
  struct {
    UINT id;
    const char* bytes;
  } const cases[] = {
      {1001, "Byl nalezen b\xec\x9e\xed" "c\xed Quillon. Pro instalaci bal\xed\xe8ku je pot\xf8"
             "eba Quillon uzav\xf8\xedt !"},
      {2001, "Bol n\xe1jden\xfd spusten\xfd Quillon. Pred in\x9atal\xe1"
             "ciou bal\xed\xe8ka je potrebn\xe9 Quillon uzatvori\x9d !"},
      {1006, "https://www.quillon.cz"},
      {2006, "https://www.quillon.cz"},
      {1046, "\xd8\xe1" "dek skriptu je p\xf8\xedli\x9a dlouh\xfd a nebyl proveden: %s"},
      {2046, "Riadok skriptu je pr\xedli\x9a dlh\xfd a nebol vykonan\xfd: %s"},
      {1050, "Nelze vytvo\xf8it soubor protokolu %s !\nChyba: %s"},
      {2049, "Predch\xe1" "dzaj\xfa" "ca in\x9atal\xe1" "cia bal\xed\xe8ka do tohto adres\xe1ra nebola "
             "dokon\xe8" "en\xe1. Vr\xe1ti\x9d in\x9atal\xe1" "ciu Quillonu do stavu pred \xf2ou ?"},
      {1011, "Nainstalovat tento bal\xed\xe8"
             "ek Quillonu do instalace v adres\xe1\xf8i %s ?\n(adres\xe1\xf8 s programem Quillon.exe "
             "je %s)"},
      {1014, "Neplatne zapsane info o verzich, string:'%s'\nNemohu ov\xec\xf8it verze. "
             "Pokra\xe8ovat ?"},
      {2012, "Nemo\x9eno n\xe1js\x9d cie\xbeov\xfa cestu ! Vyberte pros\xedm cie\xbeov\xfd "
             "adres\xe1r sami."},
      {2016, "\n\nPokra\xe8ova\x9d v in\x9atal\xe1" "cii ?"},
      {1021, "y..."},
      {1044, "&Zru\x9ait"},
      {2044, "&Zru\x9ai\x9d"},
  };
  for (const auto& c : cases) {
    std::string text;
    ASSERT_TRUE(LoadText(c.id, &text)) << "string " << c.id << " missing";
    EXPECT_EQ(text, std::string(c.bytes)) << "string " << c.id;
  }
}

TEST_F(ResourceTableTest, UnusedAndOutOfRangeIdsAreAbsent) {
  for (UINT id : {1000u, 1038u, 1065u, 2000u, 2038u, 2065u, 3001u}) {
    char buffer[255] = "unchanged";
    EXPECT_EQ(LoadStringA(Module(), id, buffer, sizeof buffer), 0) << "id " << id;
  }
}

// ---- dialog 101 ----

INT_PTR CALLBACK InertProc(HWND, UINT, WPARAM, LPARAM) { return 0; }

struct ExpectedControl {
  int id;
  const char* className;
  const char* text;  // template text, Windows-1250
};

const ExpectedControl kControls[] = {
    {IDC_INSTALLDIR_LABEL, "Static",
     "&Adres\xe1\xf8 s instalac\xed Quillonu (cesta k souboru Quillon.ini):"},
    {IDC_INSTALLDIR, "Edit", ""},
    {IDC_BROWSE_INI, "Button", "..."},
    {IDC_PROGRAMDIR_LABEL, "Static", "Adres\xe1\xf8 s hlavn\xedm &programem aplikace (Quillon.exe):"},
    {IDC_PROGRAMDIR, "Edit", ""},
    {IDC_BROWSE_PROGRAM, "Button", "..."},
    {IDOK, "Button", "Na&instalovat"},
    {IDCANCEL, "Button", "&Zru\x9ait"},
    {IDC_STATUS, "Static", ""},
    {IDC_LINK, "Static", "https://www.quillon.cz"},
    {IDC_INFO, "Static",
     "Aktualiza\xe8n\xed bal\xed\xe8" "ek obsahuje komponenty programu i datov\xe9 \xe8\xe1sti."},
};

class DialogTemplateTest : public ResourceTableTest {
 protected:
  void SetUp() override {
    ResourceTableTest::SetUp();
    dialog_ = CreateDialogParamA(Module(), MAKEINTRESOURCEA(IDD_MAIN), nullptr, InertProc, 0);
    ASSERT_NE(dialog_, nullptr) << "dialog 101 cannot be created, error " << GetLastError();
  }
  void TearDown() override {
    if (dialog_) DestroyWindow(dialog_);
  }
  HWND dialog_ = nullptr;
};

TEST_F(DialogTemplateTest, TemplateHasTheFrameSizeAndFont) {
  HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5));
  ASSERT_NE(found, nullptr);
  const BYTE* bytes = static_cast<const BYTE*>(LockResource(LoadResource(Module(), found)));
  ASSERT_NE(bytes, nullptr);
  ASSERT_GE(SizeofResource(Module(), found), sizeof(DLGTEMPLATE));
  DLGTEMPLATE header;
  std::memcpy(&header, bytes, sizeof header);  // the template is only WORD-aligned
  const DWORD style = DS_SETFONT | DS_MODALFRAME | DS_CENTER | WS_POPUP | WS_CAPTION |
                      WS_SYSMENU | WS_MINIMIZEBOX;
  EXPECT_EQ(header.style & style, style);
  EXPECT_EQ(header.style & (WS_CHILD | WS_MAXIMIZEBOX | WS_THICKFRAME), 0u);
  EXPECT_EQ(header.cdit, static_cast<WORD>(sizeof kControls / sizeof kControls[0]));
  EXPECT_EQ(header.cx, 252);
  EXPECT_EQ(header.cy, 114);

  // No menu, no class, caption, then the font: point size and face name.
  const WCHAR* p = reinterpret_cast<const WCHAR*>(bytes + sizeof(DLGTEMPLATE));
  ASSERT_EQ(p[0], 0) << "menu";
  ASSERT_EQ(p[1], 0) << "window class";
  p += 2;
  EXPECT_EQ(std::wstring(p), std::wstring(L"Zm\x011bna cest..."));
  p += std::wcslen(p) + 1;
  EXPECT_EQ(p[0], 8) << "point size";
  EXPECT_EQ(std::wstring(p + 1), std::wstring(L"MS Sans Serif"));
}

TEST_F(DialogTemplateTest, WindowHasCaptionSystemMenuAndMinimiseBox) {
  LONG style = GetWindowLongA(dialog_, GWL_STYLE);
  const LONG wanted = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
  EXPECT_EQ(style & wanted, wanted);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  char caption[64] = "";
  GetWindowTextA(dialog_, caption, sizeof caption);
  EXPECT_STREQ(caption, "Zm\xecna cest...");
}

TEST_F(DialogTemplateTest, ControlsComeInTemplateOrderWithClassAndText) {
  std::vector<int> order;
  for (HWND child = GetWindow(dialog_, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    order.push_back(GetDlgCtrlID(child));
  std::vector<int> wanted;
  for (const ExpectedControl& c : kControls) wanted.push_back(c.id);
  EXPECT_EQ(order, wanted);

  for (const ExpectedControl& c : kControls) {
    HWND control = GetDlgItem(dialog_, c.id);
    ASSERT_NE(control, nullptr) << "control " << c.id;
    char name[32] = "";
    GetClassNameA(control, name, sizeof name);
    EXPECT_EQ(lstrcmpiA(name, c.className), 0) << "control " << c.id << " is " << name;
    char text[256] = "";
    GetWindowTextA(control, text, sizeof text);
    EXPECT_STREQ(text, c.text) << "control " << c.id;
    LONG style = GetWindowLongA(control, GWL_STYLE);
    EXPECT_EQ(style & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE) << "control " << c.id;
    EXPECT_EQ(style & WS_DISABLED, 0) << "control " << c.id;
  }
}

TEST_F(DialogTemplateTest, ControlStyles) {
  auto style = [&](int id) { return GetWindowLongA(GetDlgItem(dialog_, id), GWL_STYLE); };
  for (int id : {IDC_INSTALLDIR_LABEL, IDC_PROGRAMDIR_LABEL, IDC_STATUS, IDC_INFO}) {
    EXPECT_EQ(style(id) & SS_TYPEMASK, SS_LEFT) << "control " << id;
    EXPECT_TRUE(style(id) & WS_GROUP) << "control " << id << " starts a group";
    EXPECT_FALSE(style(id) & SS_NOTIFY) << "control " << id;
  }
  EXPECT_EQ(style(IDC_LINK) & SS_TYPEMASK, SS_CENTER);
  EXPECT_TRUE(style(IDC_LINK) & SS_NOTIFY) << "the link reports clicks";

  for (int id : {IDC_INSTALLDIR, IDC_PROGRAMDIR}) {
    HWND edit = GetDlgItem(dialog_, id);
    LONG s = style(id);
    EXPECT_TRUE(s & WS_TABSTOP) << "edit " << id;
    EXPECT_TRUE(s & ES_AUTOHSCROLL) << "edit " << id;
    EXPECT_FALSE(s & (ES_MULTILINE | ES_READONLY | ES_PASSWORD)) << "edit " << id;
    // The edit control may turn WS_BORDER into a client edge.
    EXPECT_TRUE((s & WS_BORDER) || (GetWindowLongA(edit, GWL_EXSTYLE) & WS_EX_CLIENTEDGE))
        << "edit " << id;
  }
  for (int id : {static_cast<int>(IDC_BROWSE_INI), static_cast<int>(IDC_BROWSE_PROGRAM), IDOK, IDCANCEL}) {
    EXPECT_EQ(style(id) & BS_TYPEMASK, BS_PUSHBUTTON) << "button " << id << " (not a default)";
    EXPECT_TRUE(style(id) & WS_TABSTOP) << "button " << id;
  }
  for (int id : {IDC_INSTALLDIR_LABEL, IDC_PROGRAMDIR_LABEL, IDC_STATUS, IDC_INFO, IDC_LINK})
    EXPECT_FALSE(style(id) & WS_TABSTOP) << "static " << id;
  // No button is announced as the default one.
  LRESULT defId = SendMessageA(dialog_, DM_GETDEFID, 0, 0);
  if (HIWORD(defId) == DC_HASDEFID) {
    EXPECT_EQ(style(LOWORD(defId)) & BS_TYPEMASK, BS_PUSHBUTTON);
  }
}

TEST_F(DialogTemplateTest, TabWalksPathsBrowseButtonsInstallCancel) {
  const int wanted[] = {IDC_INSTALLDIR, IDC_BROWSE_INI,   IDC_PROGRAMDIR, IDC_BROWSE_PROGRAM,
                        IDOK,           IDCANCEL,         IDC_INSTALLDIR};
  HWND current = GetDlgItem(dialog_, IDC_INSTALLDIR);
  for (size_t i = 1; i < sizeof wanted / sizeof wanted[0]; ++i) {
    current = GetNextDlgTabItem(dialog_, current, FALSE);
    ASSERT_NE(current, nullptr);
    EXPECT_EQ(GetDlgCtrlID(current), wanted[i]) << "tab step " << i;
  }
}

// ---- icon, manifest, version ----

TEST_F(ResourceTableTest, IconGroupHoldsTwo32PixelImagesIn16And256Colours) {
  EXPECT_NE(LoadIconA(Module(), MAKEINTRESOURCEA(IDI_MAIN)), nullptr);

  HRSRC group = FindResourceA(Module(), MAKEINTRESOURCEA(IDI_MAIN), MAKEINTRESOURCEA(14));
  ASSERT_NE(group, nullptr);
  const BYTE* dir = static_cast<const BYTE*>(LockResource(LoadResource(Module(), group)));
  ASSERT_NE(dir, nullptr);
  ASSERT_GE(SizeofResource(Module(), group), 6u);
  WORD count;
  std::memcpy(&count, dir + 4, sizeof count);
  ASSERT_EQ(count, 2);
  ASSERT_GE(SizeofResource(Module(), group), 6u + 14u * count);
  std::set<int> depths;
  for (int i = 0; i < count; ++i) {
    const BYTE* entry = dir + 6 + 14 * i;  // GRPICONDIRENTRY
    WORD bits, id;
    std::memcpy(&bits, entry + 6, sizeof bits);
    std::memcpy(&id, entry + 12, sizeof id);
    EXPECT_EQ(entry[0], 32) << "width of image " << i;
    EXPECT_EQ(entry[1], 32) << "height of image " << i;
    depths.insert(bits);

    HRSRC image = FindResourceA(Module(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(3));
    ASSERT_NE(image, nullptr) << "icon image " << id;
    BYTE* data = static_cast<BYTE*>(LockResource(LoadResource(Module(), image)));
    HICON icon = CreateIconFromResourceEx(data, SizeofResource(Module(), image), TRUE,
                                          0x00030000, 32, 32, LR_DEFAULTCOLOR);
    ASSERT_NE(icon, nullptr) << "icon image " << id << " does not decode";
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP mask;
    ASSERT_TRUE(GetObjectA(info.hbmMask, sizeof mask, &mask));
    EXPECT_EQ(mask.bmWidth, 32);
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  EXPECT_EQ(depths, (std::set<int>{4, 8}));
}

TEST_F(ResourceTableTest, ManifestRunsAsInvokerWithoutUiAccess) {
  HRSRC found = FindResourceA(Module(), MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr);
  const char* bytes = static_cast<const char*>(LockResource(LoadResource(Module(), found)));
  std::string manifest(bytes, SizeofResource(Module(), found));
  EXPECT_NE(manifest.find("<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"),
            std::string::npos)
      << manifest;
  EXPECT_EQ(manifest.find("requireAdministrator"), std::string::npos);
}

TEST_F(ResourceTableTest, VersionResourceNamesSetup1_0_0_16) {
  char path[MAX_PATH + 1];
  ASSERT_GT(GetModuleFileNameA(nullptr, path, sizeof path), 0u);
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path, 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(fixed->dwSignature, 0xFEEF04BDu);
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0x00000010u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0x00000010u);

  WORD* translation = nullptr;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\VarFileInfo\\Translation",
                             reinterpret_cast<void**>(&translation), &length));
  ASSERT_GE(length, 4u);
  EXPECT_EQ(translation[0], 0x0405);
  EXPECT_EQ(translation[1], 1250);

  const struct {
    const char* key;
    const char* value;
  } strings[] = {{"FileDescription", "Setup"},
                 {"InternalName", "Setup"},
                 {"OriginalFilename", "Setup.exe"},
                 {"FileVersion", "1.0.0.16"},
                 {"ProductVersion", "1.0.0.16"}};
  for (const auto& s : strings) {
    std::string query = std::string("\\StringFileInfo\\040504E2\\") + s.key;
    char* value = nullptr;
    ASSERT_TRUE(VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                               &length))
        << s.key;
    EXPECT_STREQ(value, s.value) << s.key;
  }
}

}  // namespace
