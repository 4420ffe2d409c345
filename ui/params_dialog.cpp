// The parameters dialog: method, thresholds, the two switches, "Default",
// and the region's list with its add, delete, save and load buttons.
#include <windows.h>
// The common-control headers build on windows.h.
#include <commctrl.h>
#include <commdlg.h>

#include <cstddef>
#include <cstring>

#include "host/module_state.h"
#include "host/settings.h"
#include "region/rect_list.h"
#include "ui/dialog_ids.h"
#include "ui/dialog_procs.h"
#include "ui/dialog_text.h"
#include "ui/dialogs.h"

HWND g_toolTip = nullptr;

namespace {

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

void ReadSettings(HWND dialog, DeinterlaceParameters* s) {
  char area[kAreaFieldChars + 1] = {};
  GetDlgItemTextA(dialog, IDC_AREA, area, sizeof area);
  s->area = ReadAtoiText(area);
  for (int m = 0; m <= 5; ++m) {
    if (IsChecked(dialog, IDC_METHOD_NONE + m)) {
      s->method = m;
      break;
    }
  }
  s->block_distance_threshold = ReadUnsignedText(ControlText(dialog, IDC_BLOCK_DISTANCE_THRESHOLD));
  s->replace_threshold = ReadSignedText(ControlText(dialog, IDC_REPLACE_THRESHOLD));
  s->interlace_threshold =
      static_cast<int32_t>(ReadUnsignedText(ControlText(dialog, IDC_INTERLACE_THRESHOLD)));
  s->is_replace_only_interlaced_pixels = IsChecked(dialog, IDC_REPLACE_ONLY_INTERLACED) ? 1 : 0;
  s->is_search_within_interpolated = IsChecked(dialog, IDC_SEARCH_WITHIN_INTERPOLATED) ? 1 : 0;
}

// Without the common controls in the process there is no tooltip class;
// the dialog then works without tooltips.
void CreateToolTips(HWND dialog) {
  g_toolTip =
      CreateWindowExA(0, "tooltips_class32", nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX,
                      CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dialog, nullptr,
                      static_cast<HINSTANCE>(g_instance), nullptr);
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
void ShowError(HWND dialog, const char* text) {
  MessageBoxA(dialog, text, "Error", MB_OK | MB_ICONERROR);
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

void AddRect(HWND dialog) {
  const INT_PTR result = DialogBoxParamA(static_cast<HINSTANCE>(g_instance),
                                         MAKEINTRESOURCEA(IDD_ADD_RECT), dialog, AddRectDlgProc, 0);
  if (result != IDOK || !g_rectList) return;
  // A rectangle that Add rejects is dropped without a message.
  g_rectList->Add(static_cast<uint8_t>(g_addRect.include), g_addRect.left, g_addRect.top,
                  g_addRect.right, g_addRect.bottom);
  FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST));
}

void DeleteRect(HWND dialog) {
  HWND list = GetDlgItem(dialog, IDC_RECT_LIST);
  const LRESULT selected = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR || !g_rectList) return;
  const LRESULT length = SendMessageA(list, LB_GETTEXTLEN, selected, 0);
  if (length == LB_ERR) return;
  std::string line(static_cast<size_t>(length) + 1, '\0');
  const LRESULT got =
      SendMessageA(list, LB_GETTEXT, selected, reinterpret_cast<LPARAM>(line.data()));
  line.resize(got == LB_ERR ? 0 : static_cast<size_t>(got));
  RectItem item;
  if (!ParseRectListLine(line, &item)) return;
  g_rectList->Delete(item.id);
  FillRectListBox(list);
}

void SaveRects(HWND dialog) {
  if (!g_rectList) return;
  char path[MAX_PATH];
  if (ChooseRectFile(dialog, true, path) && g_rectList->SaveToFile(path) != 0) {
    ShowError(dialog, "Can't save file.");
  }
}

void LoadRects(HWND dialog) {
  if (!g_rectList) return;
  char path[MAX_PATH];
  if (!ChooseRectFile(dialog, false, path)) return;
  if (g_rectList->LoadFromFile(path) != 0) {
    ShowError(dialog, "Can't load this file.");
  } else {
    FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST));
  }
}

void OnCommand(HWND dialog, int id) {
  switch (id) {
    case IDOK:
      ReadSettings(dialog, &g_settings);
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
      AddRect(dialog);
      break;
    case IDC_DELETE_RECT:
      DeleteRect(dialog);
      break;
    case IDC_SAVE_RECTS:
      SaveRects(dialog);
      break;
    case IDC_LOAD_RECTS:
      LoadRects(dialog);
      break;
    case IDC_DEFAULT:
      ResetSettings(&g_settings);
      ShowSettings(dialog, g_settings);
      break;
  }
}

}  // namespace

void FillRectListBox(HWND list) {
  if (!g_rectList) return;
  while (SendMessageA(list, LB_DELETESTRING, 0, 0) > 0) {
  }
  for (const RectItem& item : *g_rectList) {
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(FormatRectItem(item).c_str()));
  }
}

INT_PTR CALLBACK ParamsDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) try {
  switch (message) {
    case WM_INITDIALOG:
      // "Use Debug" and "Sound Alert" always open unchecked.
      ShowSettings(dialog, g_settings);
      FillRectListBox(GetDlgItem(dialog, IDC_RECT_LIST));
      CreateToolTips(dialog);
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

void RunParametersDialog(void* instance) {
  DialogBoxParamA(static_cast<HINSTANCE>(instance), MAKEINTRESOURCEA(IDD_PARAMETERS), nullptr,
                  ParamsDlgProc, 0);
}
