// The settings dialogs as a user meets them: the setup selector runs on a
// thread of its own while the test, on the main thread, finds the dialogs
// and drives their controls with window messages, then checks the store.
// Runs under Wine on a virtual display (scripts/with-xvfb).
//
// The 32-bit build calls fieldrestore.prm's setup selector through the
// command line's host code. The 64-bit build has no plug-in: it links the
// dialogs and the resources into this program and takes the setup
// selector's steps itself, so that the dialogs run under 64-bit Wine too.
#include "ui/dialogs.h"

#include <gtest/gtest.h>
#include <windows.h>
// The common-control headers build on windows.h.
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "host/settings.h"
#include "platform/common_controls.h"
#include "platform/dynamic_library.h"
#include "plugin/module_state.h"
#include "region/rect_list.h"
#include "tests/host/bgra_frames.h"
#include "tests/support.h"
#include "tests/temp_folder.h"
#include "tests/ui/dialog_driver.h"
#include "tools/fieldrestore/frame_renderer.h"
#include "tools/fieldrestore/plugin_query.h"
#include "ui/dialog_text.h"

namespace {

using namespace test;

#if defined(_WIN64)
HMODULE DialogModule() { return GetModuleHandleA(nullptr); }

// The setup selector's steps around its dialog.
void CallSetup() {
  LoadSettings(&g_settings);
  {
    ScopedRectList region;
    RunParametersDialog(g_instance, &g_settings, g_rectList);
  }
  SaveSettings(&g_settings);
}
#else
HMODULE DialogModule() { return GetModuleHandleA("fieldrestore.prm"); }

void CallSetup() {
  std::string error;
  if (!SetupPlugin(DefaultPluginPath(), &error)) ADD_FAILURE() << error;
}
#endif

std::vector<std::string> Lines(HWND dialog) {
  std::vector<std::string> lines;
  const auto count = SendDlgItemMessageA(dialog, 1066, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    char line[128] = {};
    SendDlgItemMessageA(dialog, 1066, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line));
    lines.push_back(line);
  }
  return lines;
}

// Runs the add-rectangle dialog; null fields keep their initial text.
void AddRect(const DialogThread& call, HWND params, const char* left, const char* top,
             const char* right, const char* bottom, bool include = true, int button = IDOK) {
  Press(params, 1067);
  HWND add = call.Window(kAddRectCaption);
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(GetWindow(add, GW_OWNER), params);
  const char* values[] = {left, top, right, bottom};
  const int ids[] = {1062, 1061, 1063, 1064};
  for (int i = 0; i < 4; ++i) {
    if (values[i]) SetText(add, ids[i], values[i]);
  }
  if (!include) Click(add, 1065);
  Press(add, button);
  EXPECT_TRUE(WaitGone(add));
}

void SelectLine(HWND params, const std::string& line) {
  const auto index = SendDlgItemMessageA(params, 1066, LB_FINDSTRINGEXACT, -1,
                                         reinterpret_cast<LPARAM>(line.c_str()));
  ASSERT_NE(index, LB_ERR) << line;
  SendDlgItemMessageA(params, 1066, LB_SETCURSEL, index, 0);
}

// Types `path` into the open or save dialog and confirms it.
void ChooseFile(const DialogThread& call, const std::string& path) {
  HWND chooser = call.Window(kFileCaption);
  ASSERT_NE(chooser, nullptr);
  EXPECT_EQ(GetWindow(chooser, GW_OWNER), call.Find(kParamsCaption));
  // The file name field: an edit inside the combo box cmb13 (0x47c), or the
  // edit edt1 (0x480) of older dialogs.
  HWND name = nullptr;
  for (HWND c : ChildWindows(chooser)) {
    const int id = GetDlgCtrlID(c);
    if (_stricmp(ClassName(c).c_str(), "Edit") == 0 && (id == 0x47c || id == 0x480)) name = c;
  }
  ASSERT_NE(name, nullptr);
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  Press(chooser, IDOK);
  EXPECT_TRUE(WaitGone(chooser));
}

// Checks the error box's text and owner, then closes it.
void ExpectError(const DialogThread& call, HWND params, const char* text) {
  HWND box = call.Window("Error");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), params);
  EXPECT_FALSE(IsWindowEnabled(params));
  bool found = false;
  for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
    found = found || WindowText(c) == text;
  }
  EXPECT_TRUE(found) << text;
  Press(box, IDOK);
  EXPECT_TRUE(WaitGone(box));
}

DeinterlaceParameters Stored() {
  DeinterlaceParameters p;
  LoadSettings(&p);
  return p;
}

void Store(const DeinterlaceParameters& p) {
  platform::StoreKey::CreateOrOpen(kSettingsKey);
  SaveSettings(&p);
}

std::vector<RectItem> StoredRegion() {
  CRectList* list = new CRectList;
  std::vector<RectItem> items(list->begin(), list->end());
  delete list;
  return items;
}

// Writes the window as Wine drew it on the screen (BGRA, top row first)
// into the folder named by FIELDRESTORE_SCREENSHOTS, when that is set.
void Screenshot(HWND window, const char* name) {
  const char* folder = std::getenv("FIELDRESTORE_SCREENSHOTS");
  if (!folder || !*folder) return;
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  RECT r;
  GetWindowRect(window, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), w, -h, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  GdiFlush();
  auto* bytes = static_cast<uint8_t*>(bits);
  for (int i = 0; i < w * h; ++i) bytes[4 * i + 3] = 255;
  const std::string path = std::string(folder) + "\\" + name + "-" + std::to_string(w) + "x" +
                           std::to_string(h) + ".bgra";
  std::ofstream(path, std::ios::binary).write(static_cast<char*>(bits), 4 * w * h);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

class DialogsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
#if defined(_WIN64)
    g_instance = GetModuleHandleA(nullptr);
    platform::InitCommonControlsAsHost();
#else
    // Keeps the plug-in loaded, for its resources, between the calls.
    ASSERT_TRUE(plugin_.Load(DefaultPluginPath())) << plugin_.Error();
#endif
  }
  void SetUp() override {
    test::DeleteSettingsKey();
    platform::StoreKey::CreateOrOpen(kSettingsKey);
  }
  void TearDown() override { test::DeleteSettingsKey(); }

  static inline platform::DynamicLibrary plugin_;
};

// --- the templates, read back from the built binary ------------------------

struct Item {
  uint32_t style;
  int16_t x, y, cx, cy;
  uint16_t id;
  uint16_t atom;     // 0x80 button, 0x81 edit, 0x82 static, 0x83 list box
  std::string text;  // "#106" for a resource number
};

struct Template {
  uint32_t style = 0, ex_style = 0;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::string caption, font;
  uint16_t points = 0;
  std::vector<Item> items;
};

// Reads a classic (not extended) dialog template.
Template ReadTemplate(int id) {
  Template t;
  HRSRC info = FindResourceA(DialogModule(), MAKEINTRESOURCEA(id), MAKEINTRESOURCEA(5));
  EXPECT_NE(info, nullptr) << id;
  if (!info) return t;
  const auto* p = static_cast<const uint8_t*>(LockResource(LoadResource(DialogModule(), info)));
  const uint8_t* start = p;
  auto word = [&] {
    uint16_t v;
    std::memcpy(&v, p, 2);
    p += 2;
    return v;
  };
  auto dword = [&] { return word() | uint32_t{word()} << 16; };
  auto string = [&] {
    uint16_t c = word();
    if (c == 0xFFFF) {
      char number[8];
      std::snprintf(number, sizeof number, "#%u", unsigned{word()});
      return std::string(number);
    }
    std::string s;
    for (; c; c = word()) s += static_cast<char>(c);
    return s;
  };
  t.style = dword();
  t.ex_style = dword();
  const uint16_t count = word();
  t.x = word(), t.y = word(), t.cx = word(), t.cy = word();
  EXPECT_EQ(string(), "");  // no menu
  EXPECT_EQ(string(), "");  // the dialog class
  t.caption = string();
  if (t.style & DS_SETFONT) {
    t.points = word();
    t.font = string();
  }
  for (int i = 0; i < count; ++i) {
    p = start + ((p - start + 3) & ~3);
    Item item;
    item.style = dword();
    EXPECT_EQ(dword(), 0u);  // extended style
    item.x = word(), item.y = word(), item.cx = word(), item.cy = word();
    item.id = word();
    EXPECT_EQ(word(), 0xFFFF);
    item.atom = word();
    item.text = string();
    EXPECT_EQ(word(), 0);  // no creation data
    t.items.push_back(item);
  }
  return t;
}

void ExpectItems(const Template& t, const std::vector<Item>& expected) {
  ASSERT_EQ(t.items.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    const Item& a = t.items[i];
    const Item& e = expected[i];
    EXPECT_EQ(a.style, e.style | WS_CHILD | WS_VISIBLE) << i << " " << e.text;
    EXPECT_EQ(std::vector<int>({a.x, a.y, a.cx, a.cy, a.id, a.atom}),
              std::vector<int>({e.x, e.y, e.cx, e.cy, e.id, e.atom}))
        << i << " " << e.text;
    EXPECT_EQ(a.text, e.text) << i;
  }
}

constexpr uint32_t kDialogStyle = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;

TEST_F(DialogsTest, TemplatesAndIconInTheBinary) {
  constexpr uint16_t kButton = 0x80, kEdit = 0x81, kStatic = 0x82, kList = 0x83, kNone = 0xFFFF;
  constexpr uint32_t radio = BS_AUTORADIOBUTTON, check = BS_AUTOCHECKBOX | WS_TABSTOP,
                     push = BS_PUSHBUTTON | WS_TABSTOP, group = BS_GROUPBOX,
                     edit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, label = SS_LEFT;
  const Template params = ReadTemplate(104);
  EXPECT_EQ(params.style, kDialogStyle);
  EXPECT_EQ(params.ex_style, 0u);
  EXPECT_EQ(std::vector<int>({params.cx, params.cy, params.points}),
            std::vector<int>({420, 222, 8}));
  EXPECT_EQ(params.caption, kParamsCaption);
  EXPECT_EQ(params.font, "MS Sans Serif");
  ExpectItems(
      params,
      {
          {group, 0, 0, 420, 222, kNone, kButton, ""},
          {group, 6, 6, 282, 114, kNone, kButton, ""},
          {group, 6, 30, 282, 114, kNone, kButton, ""},
          {radio | WS_GROUP, 18, 18, 33, 10, 1010, kButton, "None"},
          {radio, 90, 18, 65, 10, 1011, kButton, "Only even rows"},
          {radio, 174, 18, 77, 10, 1012, kButton, "Simple interpolation"},
          {radio, 18, 42, 92, 10, 1013, kButton, "Area based interpolation"},
          {radio, 18, 66, 108, 10, 1014, kButton, "Area based motion estimation"},
          {radio, 18, 126, 74, 10, 1015, kButton, "Advanced method"},
          {label, 144, 42, 90, 8, kNone, kStatic, "Interlace detection threshold"},
          {edit, 240, 42, 40, 12, 1074, kEdit, ""},
          {label, 192, 60, 40, 8, kNone, kStatic, "Search area"},
          {edit, 240, 60, 40, 12, 1001, kEdit, ""},
          {label, 156, 78, 78, 8, kNone, kStatic, "Block distance threshold"},
          {edit, 240, 78, 40, 12, 1075, kEdit, ""},
          {check, 18, 90, 109, 10, 1077, kButton, "Replace only interlaced pixels"},
          {label, 162, 96, 74, 8, kNone, kStatic, "Replacement threshold"},
          {edit, 240, 96, 40, 12, 1002, kEdit, ""},
          {check, 102, 126, 123, 10, 1073, kButton, "ME search on interpolated images"},
          {check, 18, 150, 52, 10, 1021, kButton, "Use Debug"},
          {check, 102, 150, 55, 10, 1022, kButton, "Sound Alert"},
          {push, 168, 150, 50, 14, 1071, kButton, "Default"},
          {SS_ICON, 12, 168, 20, 20, 1017, kStatic, "#106"},
          {label, 38, 170, 199, 18, kNone, kStatic,
           "New deinterlace engine using motion estimation technology."},
          {group, 294, 6, 120, 174, kNone, kButton, "Processing region"},
          {LBS_NOTIFY | LBS_SORT | WS_VSCROLL | WS_BORDER | LBS_NOINTEGRALHEIGHT | WS_TABSTOP, 300,
           18, 108, 108, 1066, kList, ""},
          {push, 300, 132, 50, 14, 1067, kButton, "Add rect"},
          {push, 354, 132, 50, 14, 1068, kButton, "Delete rect"},
          {push, 300, 156, 50, 14, 1069, kButton, "Save to file"},
          {push, 354, 156, 50, 14, 1070, kButton, "Load from file"},
          {push, 120, 198, 45, 14, 1, kButton, "OK"},
          {push, 234, 198, 45, 14, 2, kButton, "Cancel"},
      });

  const Template add = ReadTemplate(115);
  EXPECT_EQ(add.style, kDialogStyle);
  EXPECT_EQ(std::vector<int>({add.cx, add.cy, add.points}), std::vector<int>({182, 135, 8}));
  EXPECT_EQ(add.caption, kAddRectCaption);
  EXPECT_EQ(add.font, "MS Sans Serif");
  constexpr uint32_t number = ES_NUMBER | ES_RIGHT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP,
                     centred = SS_LEFT | SS_CENTERIMAGE;
  ExpectItems(add, {
                       {centred, 83, 0, 14, 13, kNone, kStatic, "Top"},
                       {number, 70, 15, 40, 15, 1061, kEdit, ""},
                       {centred, 10, 35, 14, 13, kNone, kStatic, "Left"},
                       {number, 25, 35, 40, 15, 1062, kEdit, ""},
                       {number, 115, 35, 40, 15, 1063, kEdit, ""},
                       {centred, 155, 35, 19, 13, kNone, kStatic, "Right"},
                       {number, 70, 55, 40, 15, 1064, kEdit, ""},
                       {centred, 80, 70, 24, 13, kNone, kStatic, "Bottom"},
                       {check, 72, 84, 41, 10, 1065, kButton, "Include "},
                       {label, 10, 95, 163, 8, kNone, kStatic,
                        "(if not checked rectangle will be erased from region)"},
                       {BS_DEFPUSHBUTTON | WS_TABSTOP, 25, 115, 50, 14, 1, kButton, "OK"},
                       {push, 100, 115, 50, 14, 2, kButton, "Cancel"},
                   });

  // Icon 106 holds a 32x32 and a 16x16 image.
  for (int size : {32, 16}) {
    HICON icon = static_cast<HICON>(
        LoadImageA(DialogModule(), MAKEINTRESOURCEA(106), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info;
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap;
    GetObjectA(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
}

// --- the parameters dialog -------------------------------------------------

TEST_F(DialogsTest, OpensWithTheStoredSettingsAndOkStoresThemUnchanged) {
  const DeinterlaceParameters stored{2, 999999999, 7, 4294967295u, -5, 1, 0};
  Store(stored);
  SetDebug(true);
  SetSoundAlert(true);
  DialogThread call(CallSetup);
  HWND params = call.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(GetWindow(params, GW_OWNER), nullptr);
  for (int id = 1010; id <= 1015; ++id) EXPECT_EQ(Checked(params, id), id == 1012) << id;
  EXPECT_EQ(Text(params, 1001), "999999999");
  EXPECT_EQ(Text(params, 1074), "7");
  EXPECT_EQ(Text(params, 1075), "4294967295");
  EXPECT_EQ(Text(params, 1002), "-5");
  EXPECT_TRUE(Checked(params, 1077));
  EXPECT_FALSE(Checked(params, 1073));
  // The switches always open unchecked, whatever is stored.
  EXPECT_FALSE(Checked(params, 1021));
  EXPECT_FALSE(Checked(params, 1022));

  // The tooltip window: owned by the dialog, one tool per control in order.
  HWND tip = nullptr;
  for (HWND w : ThreadWindows(GetWindowThreadProcessId(params, nullptr))) {
    if (ClassName(w) == "tooltips_class32") tip = w;
  }
  ASSERT_NE(tip, nullptr);
  EXPECT_EQ(GetWindow(tip, GW_OWNER), params);
  EXPECT_EQ(GetWindowLongA(tip, GWL_STYLE) & (WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX),
            static_cast<LONG>(WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX));
  EXPECT_TRUE(GetWindowLongA(tip, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), 350);
  EXPECT_EQ(SendMessageA(tip, TTM_GETDELAYTIME, TTDT_AUTOPOP, 0), 32767);
  const int ids[] = {1010, 1011, 1012, 1013, 1014, 1015, 1074, 1001, 1075,
                     1002, 1077, 1073, 1071, 1066, 1067, 1068, 1069, 1070};
  ASSERT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 18);
  for (int i = 0; i < 18; ++i) {
    char text[512] = {};
    TTTOOLINFOA info = {};
    info.cbSize = TTTOOLINFOA_V2_SIZE;
    info.lpszText = text;
    ASSERT_TRUE(SendMessageA(tip, TTM_ENUMTOOLSA, i, reinterpret_cast<LPARAM>(&info)));
    EXPECT_EQ(info.uId, reinterpret_cast<UINT_PTR>(GetDlgItem(params, ids[i]))) << i;
    EXPECT_EQ(info.uFlags & (TTF_IDISHWND | TTF_SUBCLASS), UINT{TTF_IDISHWND | TTF_SUBCLASS});
    EXPECT_GT(std::strlen(text), 0u) << i;
    if (ids[i] == 1068) {
      EXPECT_STREQ(text, "Delete rectangle from");
    }
    if (ids[i] == 1066) {  // the tooltip hands back at most 80 characters
      EXPECT_EQ(std::string(text).substr(0, 41), "Processing region is a list of rectangles");
    }
  }

  Press(params, IDOK);
  ASSERT_TRUE(call.Finish());
  EXPECT_FALSE(IsWindow(tip));
  EXPECT_EQ(Stored(), stored);
  EXPECT_TRUE(IsDebugOn());

  // A stored method beyond the buttons checks none of them (nor any other
  // control) and stays as it is.
  const DeinterlaceParameters odd{INT32_MAX, 16, 48, 8192, 0, 0, 0};
  Store(odd);
  DialogThread again(CallSetup);
  params = again.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  for (int id = 1010; id <= 1022; ++id) EXPECT_FALSE(Checked(params, id)) << id;
  Press(params, IDOK);
  ASSERT_TRUE(again.Finish());
  EXPECT_EQ(Stored(), odd);

  // Values the fields cannot hold as they are (a negative search area, a
  // flag byte of 2) are not changed by an OK that edited nothing.
  const DeinterlaceParameters unshowable{4, -5, 70000, 8192, -1, 2, 0};
  Store(unshowable);
  DialogThread third(CallSetup);
  params = third.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  EXPECT_EQ(Text(params, 1001), "4294967291");
  EXPECT_TRUE(Checked(params, 1077));
  Press(params, IDOK);
  ASSERT_TRUE(third.Finish());
  EXPECT_EQ(Stored(), unshowable);
}

TEST_F(DialogsTest, FieldsReachTheSettingsAsTyped) {
  struct Case {
    const char* area;
    const char* interlace;
    const char* block;
    const char* replace;
    int method_button;
    DeinterlaceParameters expected;
  };
  const Case cases[] = {
      // letters give 0, "-3" is signed, atoi stops at the "x", one box set
      {"12x", "abc", "77", "-3", 1015, {5, 12, 0, 77, -3, 1, 0}},
      // nine characters of the area are read; out of range gives 0, and so
      // does a long text that is a number only in its first characters
      {"1234567890", "-1", "4294967296", "2147483648", 1010, {0, 123456789, 0, 0, 0, 1, 0}},
      {"7", "5                                        x", "8", "9", 1011, {1, 7, 0, 8, 9, 1, 0}},
  };
  for (const Case& c : cases) {
    DialogThread call(CallSetup);
    HWND params = call.Window(kParamsCaption);
    ASSERT_NE(params, nullptr);
    SetText(params, 1001, c.area);
    SetText(params, 1074, c.interlace);
    SetText(params, 1075, c.block);
    SetText(params, 1002, c.replace);
    Click(params, c.method_button);
    if (c.method_button == 1015) Click(params, 1077);
    Press(params, IDOK);
    ASSERT_TRUE(call.Finish());
    EXPECT_EQ(Stored(), c.expected) << c.area;
  }
}

TEST_F(DialogsTest, CancelAndCloseKeepTheSettingsButNotAfterDefault) {
  const DeinterlaceParameters stored{1, 5, 6, 7, 8, 1, 1};
  for (bool close_box : {false, true}) {
    Store(stored);
    DialogThread call(CallSetup);
    HWND params = call.Window(kParamsCaption);
    ASSERT_NE(params, nullptr);
    SetText(params, 1001, "99");
    Click(params, 1013);
    Click(params, 1073);
    if (close_box) {
      PostMessageA(params, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else {
      Press(params, IDCANCEL);
    }
    ASSERT_TRUE(call.Finish());
    EXPECT_EQ(Stored(), stored) << close_box;
  }

  // "Default" changes the record at once, so Cancel stores the defaults;
  // "Use Debug" is stored at once and stays on after Cancel.
  {
    DialogThread call(CallSetup);
    HWND params = call.Window(kParamsCaption);
    ASSERT_NE(params, nullptr);
    Click(params, 1071);
    EXPECT_TRUE(Checked(params, 1014));
    EXPECT_EQ(Text(params, 1075), "8192");
    EXPECT_FALSE(Checked(params, 1077));
    Click(params, 1021);
    EXPECT_TRUE(IsDebugOn());
    Click(params, 1022);
    EXPECT_TRUE(IsSoundAlertOn());
    Click(params, 1022);
    EXPECT_FALSE(IsSoundAlertOn());
    Press(params, IDCANCEL);
    ASSERT_TRUE(call.Finish());
    EXPECT_EQ(Stored(), DeinterlaceParameters{});
    EXPECT_TRUE(IsDebugOn());
  }
  DialogThread call(CallSetup);
  HWND params = call.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  EXPECT_FALSE(Checked(params, 1021));
  Press(params, IDCANCEL);
  ASSERT_TRUE(call.Finish());
  EXPECT_TRUE(IsDebugOn());
}

// --- the region --------------------------------------------------------------

// A region whose stored "size" counts more records than "list" holds: the
// dialog says so when it opens, lists what could be read, and its OK
// writes nothing back.
TEST_F(DialogsTest, ADamagedRegionIsAnnouncedListedAndNotWrittenBack) {
  {
    CRectList* list = new CRectList;
    list->Add(0, 0, 0, 15, 15);
    list->Add(1, 4, 4, 8, 8);
    delete list;
  }
  const uint8_t damaged[4] = {0xFF, 0xFF, 0xFF, 0xFF};
  platform::StoreKey::CreateOrOpen(kRectListKey).Set("size", platform::kStoreTypeDword, damaged, 4);
  const auto stored = [] {
    char bytes[64] = {};
    uint32_t size = 4, length = sizeof bytes - 4;
    auto key = platform::StoreKey::OpenExisting(kRectListKey);
    key.Query("size", bytes, &size);
    key.Query("list", bytes + 4, &length);
    return std::string(bytes, 4 + length);
  };
  const std::string before = stored();
  DialogThread call(CallSetup);
  HWND params = call.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  ExpectError(
      call, params,
      RegionDamageText("\"size\" counts 4294967295 rectangles but \"list\" holds 2 (42 bytes)")
          .c_str());
  EXPECT_EQ(Lines(params),
            (std::vector<std::string>{"1. [ (0,0) - (15,15) ] -", "2. [ (4,4) - (8,8) ] +"}));
  Press(params, IDOK);
  ASSERT_TRUE(call.Finish());
  EXPECT_EQ(stored(), before);
}

TEST_F(DialogsTest, RectanglesAreAddedListedInTextOrderAndDeleted) {
  DialogThread call(CallSetup);
  HWND params = call.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  // Rejected without a message: the initial (0,0)-(0,0), 3000000000 (which
  // turns negative), right left of left, an empty bottom below a top of 5,
  // and anything cancelled.
  AddRect(call, params, nullptr, nullptr, nullptr, nullptr);
  AddRect(call, params, "0", "0", "3000000000", "9");
  AddRect(call, params, "9", "0", "8", "9");
  AddRect(call, params, "0", "5", "9", "");
  AddRect(call, params, "0", "0", "719", "575", true, IDCANCEL);
  EXPECT_TRUE(Lines(params).empty());
  EXPECT_EQ(call.Find("Error"), nullptr);

  AddRect(call, params, "0", "0", "719", "575", true);
  AddRect(call, params, "0", "0", "719", "575", false);
  for (int i = 3; i <= 10; ++i) {
    AddRect(call, params, "1", std::to_string(i).c_str(), "2", "20");
  }
  std::vector<std::string> expected = {"1. [ (0,0) - (719,575) ] +", "10. [ (1,10) - (2,20) ] +",
                                       "2. [ (0,0) - (719,575) ] -", "3. [ (1,3) - (2,20) ] +",
                                       "4. [ (1,4) - (2,20) ] +",    "5. [ (1,5) - (2,20) ] +",
                                       "6. [ (1,6) - (2,20) ] +",    "7. [ (1,7) - (2,20) ] +",
                                       "8. [ (1,8) - (2,20) ] +",    "9. [ (1,9) - (2,20) ] +"};
  EXPECT_EQ(Lines(params), expected);
  Screenshot(params, "parameters");

  // The line of id 10 sits second; deleting it removes the tenth rectangle.
  SelectLine(params, expected[1]);
  Click(params, 1068);
  expected.erase(expected.begin() + 1);
  EXPECT_EQ(Lines(params), expected);
  // Without a selection nothing is deleted.
  SendDlgItemMessageA(params, 1066, LB_SETCURSEL, -1, 0);
  Click(params, 1068);
  EXPECT_EQ(Lines(params).size(), 9u);

  // The add-rectangle dialog as it opens, for the pictures.
  Press(params, 1067);
  HWND add = call.Window(kAddRectCaption);
  ASSERT_NE(add, nullptr);
  EXPECT_EQ(Text(add, 1062), "0");
  EXPECT_EQ(Text(add, 1064), "0");
  EXPECT_TRUE(Checked(add, 1065));
  SetText(add, 1062, "100");
  SetText(add, 1061, "100");
  SetText(add, 1063, "299");
  SetText(add, 1064, "199");
  Screenshot(add, "add-rectangle");
  PostMessageA(add, WM_SYSCOMMAND, SC_CLOSE, 0);  // the close box cancels
  EXPECT_TRUE(WaitGone(add));
  EXPECT_EQ(Lines(params).size(), 9u);

  Press(params, IDCANCEL);
  ASSERT_TRUE(call.Finish());
  // The region changes stay, whichever way the dialog was left.
  const auto region = StoredRegion();
  ASSERT_EQ(region.size(), 9u);
  EXPECT_EQ(region[1], (RectItem{2, 0, 0, 0, 719, 575}));
  EXPECT_EQ(region[8], (RectItem{9, 1, 1, 9, 2, 20}));
}

TEST_F(DialogsTest, RegionGoesThroughRectFilesChosenInTheFileDialogs) {
  test::TempFolder folder;
  const std::string saved = folder.File("region.rect");
  const std::string locked = folder.File("locked.rect");
  const std::string bad = folder.File("pixel.rect");
  test::WriteFileBytes(locked, "");
  // An open file cannot be replaced by the new one.
  HANDLE held = CreateFileA(locked.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  test::WriteFileBytes(bad, "[[(5,5)-(5,5)]]\r\npresent=1\r\n");

  DialogThread call(CallSetup);
  HWND params = call.Window(kParamsCaption);
  ASSERT_NE(params, nullptr);
  AddRect(call, params, "0", "0", "719", "575", false);
  AddRect(call, params, "100", "100", "299", "199", true);
  Press(params, 1069);
  ChooseFile(call, saved);
  Press(params, 1069);  // a file that cannot be replaced
  ChooseFile(call, locked);
  ExpectError(call, params, "Can't save file.");

  // Loading the saved file replaces the region, numbered anew.
  SelectLine(params, "1. [ (0,0) - (719,575) ] -");
  Click(params, 1068);
  AddRect(call, params, "1", "1", "2", "2");
  EXPECT_EQ(Lines(params).size(), 2u);
  Press(params, 1070);
  ChooseFile(call, saved);
  const std::vector<std::string> loaded = {"1. [ (0,0) - (719,575) ] -",
                                           "2. [ (100,100) - (299,199) ] +"};
  EXPECT_EQ(Lines(params), loaded);
  // A file with a rectangle that Add rejects leaves the region as it was.
  Press(params, 1070);
  ChooseFile(call, bad);
  ExpectError(call, params, "Can't load this file.");
  EXPECT_EQ(Lines(params), loaded);
  Press(params, IDOK);
  ASSERT_TRUE(call.Finish());
  CloseHandle(held);
  EXPECT_EQ(test::ReadFileBytes(saved),
            "[[(0,0)-(719,575)]]\r\npresent=0\r\n[[(100,100)-(299,199)]]\r\npresent=1\r\n");
  EXPECT_EQ(StoredRegion().size(), 2u);
}

// --- what a dialog change does to rendering ----------------------------------

TEST_F(DialogsTest, TheNextRenderUsesWhatTheDialogStored) {
  constexpr int w = 64, h = 32;
  // Rows alternate between two greys: a comb every method but "None" fills.
  std::vector<uint8_t> in(4 * w * h);
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < 4 * w; ++x) in[4 * (y * w) + x] = y % 2 ? 200 : 40;
  }
  std::string error;
  auto renderer = MakeFrameRenderer(&error);
  ASSERT_NE(renderer, nullptr) << error;
  auto render = [&] {
    std::vector<uint8_t> out(in.size());
    ExecuteFrames f = test::PackedFrames(in.data(), out.data(), w, h);
    f.frame_total = 1;
    renderer->Render(f);
    return out;
  };
  // Column 0 still alternates between the two greys.
  auto combed = [](const std::vector<uint8_t>& frame) {
    return std::abs(frame[0] - frame[4 * w]) > 100 && std::abs(frame[8 * w] - frame[12 * w]) > 100;
  };
  // Each step: a method button, whether an exclude rectangle covers the
  // frame, and whether the comb is still there after the next render.
  const struct {
    int button;
    bool exclude_all;
    bool combed;
  } steps[] = {{1012, false, false}, {1010, false, true}, {1012, true, true}};
  for (const auto& step : steps) {
    DialogThread call(CallSetup);
    HWND params = call.Window(kParamsCaption);
    ASSERT_NE(params, nullptr);
    Click(params, step.button);
    if (step.exclude_all) AddRect(call, params, "0", "0", "63", "31", false);
    Press(params, IDOK);
    ASSERT_TRUE(call.Finish());
    const std::vector<uint8_t> out = render();
    EXPECT_EQ(combed(out), step.combed) << step.button;
    // "None" copies the frame as it is.
    if (step.button == 1010) {
      EXPECT_EQ(out, in);
    }
  }
}

#if !defined(_WIN64)
// fieldrestore.exe setup: a process of its own that initialises the common
// controls as a host does, so the dialog gets its tooltips.
TEST_F(DialogsTest, CommandLineSetupOpensTheDialog) {
  std::string command(1, '"');
  command += platform::ExecutableDirectory() + "\\fieldrestore.exe\" setup";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process));
  HWND dialog = nullptr, tip = nullptr;
  auto scan = [&] {
    for (HWND w : TopWindows()) {
      DWORD pid = 0;
      GetWindowThreadProcessId(w, &pid);
      if (pid != process.dwProcessId) continue;
      if (WindowText(w) == kParamsCaption) dialog = w;
      if (ClassName(w) == "tooltips_class32") tip = w;
    }
    return dialog && tip;
  };
  EXPECT_TRUE(WaitFor(scan));
  if (dialog) {
    EXPECT_EQ(GetWindow(tip, GW_OWNER), dialog);
    Click(dialog, 1012);
    Press(dialog, IDOK);
  }
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  EXPECT_EQ(code, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(Stored().method, 2);
}
#endif

}  // namespace
