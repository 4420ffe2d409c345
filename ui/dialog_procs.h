// The dialog procedures of the parameters dialog (template 104) and the
// add-rectangle dialog (template 115), and their process-wide state.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// What the add-rectangle dialog read when it last ended with OK.
struct AddRectValues {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
  int32_t include;  // 1 when "Include " was checked, else 0
};
extern AddRectValues g_addRect;

// The parameters dialog's tooltip window; null while no dialog is open.
extern HWND g_toolTip;

INT_PTR CALLBACK ParamsDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);
INT_PTR CALLBACK AddRectDlgProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam);

class CRectList;

// Rebuilds the region lines of the list box from the region (nothing
// happens without one).
void FillRectListBox(HWND list, const CRectList* region);

// The whole text of a control, however long.
std::string ControlText(HWND dialog, int id);
