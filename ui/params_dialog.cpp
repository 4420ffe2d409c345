// The parameters dialog: method, thresholds, the two switches, "Default",
// and the region's list with its add, delete, save and load buttons.
#include <windows.h>
// The common-control headers build on windows.h.
#include <commctrl.h>
#include <commdlg.h>

#include <cstddef>
#include <cstring>
#include <string>

#include "host/settings.h"
#include "region/rect_list.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procs.h"
#include "ui/dialog_text.h"
#include "ui/dialogs.h"

HWND g_toolTip = nullptr;

namespace {

// What one run of the dialog edits, handed to it by its caller.
struct Session {
  HINSTANCE instance;
  DeinterlaceParameters* settings;
  CRectList* region;  // null when the call has no region list
};

Session* SessionOf(HWND dialog) {
  return reinterpret_cast<Session*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

// Posted at initialisation, so that the message appears over the dialog.
constexpr UINT kShowRegionDamage = WM_APP + 1;

struct ToolTip {
  int id;
  const char* text;
};

// In the order in which they are added.
constexpr ToolTip kToolTips[] = {
    {IDC_METHOD_NONE, "Does not perform any actions on the frame."},
    {IDC_METHOD_EVEN_ROWS, "Makes fields doubling."},
    {IDC_METHOD_SIMPLE, "Perform cubic interpolation for luma component."},
    {IDC_METHOD_AREA_INTERPOLATION,
     "Perform cubic interpolation for luma component. Performing analyze of interlaced areas on "
     "the frame, select them, and after all interpolate only areas corrupted by interlace ."},
    {IDC_METHOD_MOTION_ESTIMATION,
     "Performing analyze of interlaced areas on the frame, select them, and after all "
     "interpolate only areas corrupted by interlace, then find best matching blocks from "
     "original odd rows that correspond to interpolated odd rows in the best way."},
    {IDC_METHOD_ADVANCED,
     "Use advanced method. Method is slow so it can be unusable for real-time deinterlacing."},
    {IDC_INTERLACE_THRESHOLD, "Interlace detection threshold"},
    {IDC_AREA, "Search area"},
    {IDC_BLOCK_DISTANCE_THRESHOLD, "Block distance threshold (search Mean Squared Error)"},
    {IDC_REPLACE_THRESHOLD, "Replacement threshold (0-32)"},
    {IDC_REPLACE_ONLY_INTERLACED, "Replace only interlace pixels"},
    {IDC_SEARCH_WITHIN_INTERPOLATED, "Motion estimation search on interpolated images"},
    {IDC_DEFAULT, "Reset settings to default"},
    {IDC_RECT_LIST,
     "Processing region is a list of rectangles that can be processed and unprocessed. If pixel "
     "is in processed rectangle it will be processed, else it won't. If pixel is in several "
     "rectangles it will be processed depending on type of last rectangle in order of the "
     "queue.If pixel do not hit any rectangle it will be processed."},
    {IDC_ADD_RECT, "Add rectangle to region"},
    {IDC_DELETE_RECT, "Delete rectangle from"},
    {IDC_SAVE_RECTS, "Save region to a file"},
    {IDC_LOAD_RECTS, "Load region from a file"},
};

// The tool-info record without the field that later common controls added
// (44 bytes in the 32-bit plug-in).
constexpr UINT kToolInfoSize = offsetof(TTTOOLINFOA, lParam) + sizeof(LPARAM);
static_assert(sizeof(void*) != 4 || kToolInfoSize == 44);

void ShowSettings(HWND dialog, const DeinterlaceParameters& s) {
  // A stored method outside 0..5 leaves every method button cleared.
  const bool known = s.method >= 0 && s.method <= 5;
  CheckRadioButton(dialog, IDC_METHOD_NONE, IDC_METHOD_ADVANCED,
                   known ? IDC_METHOD_NONE + s.method : 0);
  SetDlgItemInt(dialog, IDC_AREA, static_cast<UINT>(s.area), FALSE);
  SetDlgItemInt(dialog, IDC_INTERLACE_THRESHOLD, static_cast<UINT>(s.interlace_threshold), FALSE);
  SetDlgItemInt(dialog, IDC_BLOCK_DISTANCE_THRESHOLD, s.block_distance_threshold, FALSE);
  SetDlgItemInt(dialog, IDC_REPLACE_THRESHOLD, static_cast<UINT>(s.replace_threshold), TRUE);
  CheckDlgButton(dialog, IDC_REPLACE_ONLY_INTERLACED,
                 s.is_replace_only_interlaced_pixels ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, IDC_SEARCH_WITHIN_INTERPOLATED,
                 s.is_search_within_interpolated ? BST_CHECKED : BST_UNCHECKED);
}

bool IsChecked(HWND dialog, int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }

// Reads the fields back into the record. A field that still shows what
// ShowSettings put there keeps its value: the fields cannot hold every
// value (a search area beyond nine digits or below 0, a flag byte other than
// 0 or 1), and OK must not change what the user did not touch.
void ReadSettings(HWND dialog, DeinterlaceParameters* s) {
  const auto edited = [dialog](int id, uint32_t value, bool is_signed, std::string* text) {
    *text = ControlText(dialog, id);
    return *text != SettingFieldText(value, is_signed);
  };
  std::string text;
  if (edited(IDC_AREA, static_cast<uint32_t>(s->area), false, &text)) {
    s->area = ReadAtoiText(std::string_view(text).substr(0, kAreaFieldChars));
  }
  for (int m = 0; m <= 5; ++m) {
    if (IsChecked(dialog, IDC_METHOD_NONE + m)) {
      s->method = m;
      break;
    }
  }
  if (edited(IDC_BLOCK_DISTANCE_THRESHOLD, s->block_distance_threshold, false, &text)) {
    s->block_distance_threshold = ReadUnsignedText(text);
  }
  if (edited(IDC_REPLACE_THRESHOLD, static_cast<uint32_t>(s->replace_threshold), true, &text)) {
    s->replace_threshold = ReadSignedText(text);
  }
  if (edited(IDC_INTERLACE_THRESHOLD, static_cast<uint32_t>(s->interlace_threshold), false,
             &text)) {
    s->interlace_threshold = static_cast<int32_t>(ReadUnsignedText(text));
  }
  const auto read_flag = [dialog](int id, uint8_t* flag) {
    if (IsChecked(dialog, id) != (*flag != 0)) *flag = IsChecked(dialog, id) ? 1 : 0;
  };
  read_flag(IDC_REPLACE_ONLY_INTERLACED, &s->is_replace_only_interlaced_pixels);
  read_flag(IDC_SEARCH_WITHIN_INTERPOLATED, &s->is_search_within_interpolated);
}

// Without the common controls in the process there is no tooltip class;
// the dialog then works without tooltips.
void CreateToolTips(HWND dialog, HINSTANCE instance) {
  g_toolTip = CreateWindowExA(0, "tooltips_class32", nullptr,
                              WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr, instance, nullptr);
  if (!g_toolTip) return;
  SetWindowPos(g_toolTip, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageA(g_toolTip, TTM_SETMAXTIPWIDTH, 0, 350);
  for (const ToolTip& tip : kToolTips) {
    TTTOOLINFOA info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = kToolInfoSize;
    info.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    info.hwnd = dialog;
    info.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, tip.id));
    info.lpszText = const_cast<char*>(tip.text);
    SendMessageA(g_toolTip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&info));
  }
  SendMessageA(g_toolTip, TTM_SETDELAYTIME, TTDT_AUTOPOP, MAKELPARAM(32767, 0));
  SendMessageA(g_toolTip, TTM_ACTIVATE, TRUE, 0);
}

void EndParameters(HWND dialog, INT_PTR result) {
  if (g_toolTip) DestroyWindow(g_toolTip);
  g_toolTip = nullptr;
  EndDialog(dialog, result);
}

// Error boxes are owned by the dialog: it always exists here, and the box
// keeps it disabled until the user has read the message.
void ShowError(HWND dialog, const char* text, UINT icon = MB_ICONERROR) {
  MessageBoxA(dialog, text, "Error", MB_OK | icon);
}

// A stored region that could not be read whole: the list shows what could
// be, and nothing is stored until the user changes the region.
void ShowRegionDamage(HWND dialog, const CRectList& region) {
  // The dialog manager shows the dialog once its queue is empty; the box
  // would come first and keep it hidden.
  ShowWindow(dialog, SW_SHOW);
  UpdateWindow(dialog);
  ShowError(dialog, RegionDamageText(region.LoadDamage()).c_str(), MB_ICONWARNING);
}

// Asks for a rect file; false when the user cancels.
bool ChooseRectFile(HWND dialog, bool save, char (&path)[MAX_PATH]) {
  path[0] = '\0';
  OPENFILENAMEA ofn;
  std::memset(&ofn, 0, sizeof ofn);
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = dialog;
  ofn.lpstrFilter = "Rect files\0*.rect\0All files\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH - 1;
  ofn.lpstrInitialDir = "";
  ofn.lpstrTitle = "Choose rect file";
  ofn.lpstrDefExt = "rect";
  if (save) {
    ofn.Flags = OFN_PATHMUSTEXIST;
    return GetSaveFileNameA(&ofn) != FALSE;
  }
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  return GetOpenFileNameA(&ofn) != FALSE;
}

void AddRect(HWND dialog, const Session& session) {
  const INT_PTR result =
      DialogBoxParamA(session.instance, MAKEINTRESOURCEA(IDD_ADD_RECT), dialog, AddRectDlgProc, 0);
  if (result != IDOK || !session.region) return;
  // A rectangle that Add rejects is dropped without a message.
  session.region->Add(static_cast<uint8_t>(g_addRect.include), g_addRect.left, g_addRect.top,
                      g_addRect.right, g_addRect.bottom);
  FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST), session.region);
}

void DeleteRect(HWND dialog, const Session& session) {
  HWND list = GetDlgItem(dialog, IDC_RECT_LIST);
  const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR || !session.region) return;
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, selected, 0);
  if (length == LB_ERR) return;
  std::string line(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got =
      SendMessageA(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(line.data()));
  line.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  RectItem item;
  if (!ParseRectListLine(line, &item)) return;
  session.region->Delete(item.id);
  FillRectListBox(list, session.region);
}

void SaveRects(HWND dialog, const Session& session) {
  if (!session.region) return;
  char path[MAX_PATH];
  if (ChooseRectFile(dialog, true, path) && session.region->SaveToFile(path) != 0) {
    ShowError(dialog, "Can't save file.");
  }
}

void LoadRects(HWND dialog, const Session& session) {
  if (!session.region) return;
  char path[MAX_PATH];
  if (!ChooseRectFile(dialog, false, path)) return;
  if (session.region->LoadFromFile(path) != 0) {
    ShowError(dialog, "Can't load this file.");
  } else {
    FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST), session.region);
  }
}

void OnCommand(HWND dialog, int id) {
  const Session* session = SessionOf(dialog);
  if (!session) return;
  switch (id) {
    case IDOK:
      ReadSettings(dialog, session->settings);
      EndParameters(dialog, IDOK);
      break;
    case IDCANCEL:
      EndParameters(dialog, IDCANCEL);
      break;
    case IDC_USE_DEBUG:
      SetDebug(IsChecked(dialog, IDC_USE_DEBUG));
      break;
    case IDC_SOUND_ALERT:
      SetSoundAlert(IsChecked(dialog, IDC_SOUND_ALERT));
      break;
    case IDC_ADD_RECT:
      AddRect(dialog, *session);
      break;
    case IDC_DELETE_RECT:
      DeleteRect(dialog, *session);
      break;
    case IDC_SAVE_RECTS:
      SaveRects(dialog, *session);
      break;
    case IDC_LOAD_RECTS:
      LoadRects(dialog, *session);
      break;
    case IDC_DEFAULT:
      ResetSettings(session->settings);
      ShowSettings(dialog, *session->settings);
      break;
  }
}

}  // namespace

void FillRectListBox(HWND list, const CRectList* region) {
  if (!region) return;
  while (SendMessageA(list, LB_DELETESTRING, 0, 0) > 0) {
  }
  for (const RectItem& item : *region) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FormatRectItem(item).c_str()));
  }
}

INT_PTR CALLBACK ParamsDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) try {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrA(dialog, DWLP_USER, lparam);
      const Session& session = *reinterpret_cast<Session*>(lparam);
      // "Use Debug" and "Sound Alert" always open unchecked.
      ShowSettings(dialog, *session.settings);
      FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST), session.region);
      CreateToolTips(dialog, session.instance);
      if (session.region && !session.region->LoadDamage().empty()) {
        PostMessageA(dialog, kShowRegionDamage, 0, 0);
      }
      return TRUE;
    }
    case kShowRegionDamage:
      if (const Session* session = SessionOf(dialog); session && session->region) {
        ShowRegionDamage(dialog, *session->region);
      }
      return TRUE;
    case WM_COMMAND:
      OnCommand(dialog, LOWORD(wparam));
      return 0;
    case WM_CLOSE:
      // Handled here, or the dialog manager would follow it with Cancel.
      EndParameters(dialog, IDOK);
      return TRUE;
  }
  return 0;
} catch (...) {
  // No exception may unwind through the system's dialog code.
  return 0;
}

void RunParametersDialog(void* instance, DeinterlaceParameters* settings, CRectList* region) {
  Session session{static_cast<HINSTANCE>(instance), settings, region};
  DialogBoxParamA(session.instance, MAKEINTRESOURCEA(IDD_PARAMETERS), nullptr, ParamsDlgProc,
                  reinterpret_cast<LPARAM>(&session));
}
