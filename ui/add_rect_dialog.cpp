// The add-rectangle dialog: four edges and the include flag of one new
// rectangle of the region. It checks nothing; CRectList::Add decides.
#include "ui/dialog_ids.h"
#include "ui/dialog_procs.h"
#include "ui/dialog_text.h"

AddRectValues g_addRect = {0, 0, 0, 0, 1};

std::string ControlText(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  const int length = control ? GetWindowTextLengthA(control) : 0;
  std::string text(static_cast<size_t>(length) + 1, '\0');
  const int got = GetDlgItemTextA(dialog, id, text.data(), length + 1);
  text.resize(got > 0 ? static_cast<size_t>(got) : 0);
  return text;
}

// Returns 0 for every message, so the system sets no initial focus.
INT_PTR CALLBACK AddRectDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM) try {
  if (message == WM_INITDIALOG) {
    for (int id : {IDC_RECT_LEFT, IDC_RECT_TOP, IDC_RECT_RIGHT, IDC_RECT_BOTTOM}) {
      SetDlgItemInt(dialog, id, 0, FALSE);
    }
    g_addRect = {0, 0, 0, 0, 1};
    CheckDlgButton(dialog, IDC_RECT_INCLUDE, BST_CHECKED);
  } else if (message == WM_COMMAND) {
    switch (LOWORD(wparam)) {
      case IDOK:
        // Read unsigned and kept bit for bit: 2147483648 and above turn
        // negative, which Add rejects.
        g_addRect.left = static_cast<int32_t>(ReadUnsignedText(ControlText(dialog, IDC_RECT_LEFT)));
        g_addRect.top = static_cast<int32_t>(ReadUnsignedText(ControlText(dialog, IDC_RECT_TOP)));
        g_addRect.right =
            static_cast<int32_t>(ReadUnsignedText(ControlText(dialog, IDC_RECT_RIGHT)));
        g_addRect.bottom =
            static_cast<int32_t>(ReadUnsignedText(ControlText(dialog, IDC_RECT_BOTTOM)));
        g_addRect.include = IsDlgButtonChecked(dialog, IDC_RECT_INCLUDE) == BST_CHECKED ? 1 : 0;
        EndDialog(dialog, IDOK);
        break;
      case IDCANCEL:  // also the close box, through the dialog manager
        EndDialog(dialog, IDCANCEL);
        break;
    }
  }
  return 0;
} catch (...) {
  return 0;
}
