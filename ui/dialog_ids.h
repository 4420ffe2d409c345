/* Resource and control ids of the settings dialogs, shared by the resource
   script and the dialog procedures. Plain preprocessor definitions, so that
   the resource compiler can read this file too. */
#ifndef FIELDRESTORE_UI_DIALOG_IDS_H
#define FIELDRESTORE_UI_DIALOG_IDS_H

#define IDD_PARAMETERS 104
#define IDD_ADD_RECT 115
#define IDI_FIELDRESTORE 106

/* Parameters dialog */
#define IDC_AREA 1001
#define IDC_REPLACE_THRESHOLD 1002
#define IDC_METHOD_NONE 1010
#define IDC_METHOD_EVEN_ROWS 1011
#define IDC_METHOD_SIMPLE 1012
#define IDC_METHOD_AREA_INTERPOLATION 1013
#define IDC_METHOD_MOTION_ESTIMATION 1014
#define IDC_METHOD_ADVANCED 1015
#define IDC_DECORATION_ICON 1017
#define IDC_USE_DEBUG 1021
#define IDC_SOUND_ALERT 1022
#define IDC_RECT_LIST 1066
#define IDC_ADD_RECT 1067
#define IDC_DELETE_RECT 1068
#define IDC_SAVE_RECTS 1069
#define IDC_LOAD_RECTS 1070
#define IDC_DEFAULT 1071
#define IDC_SEARCH_WITHIN_INTERPOLATED 1073
#define IDC_INTERLACE_THRESHOLD 1074
#define IDC_BLOCK_DISTANCE_THRESHOLD 1075
#define IDC_REPLACE_ONLY_INTERLACED 1077

/* Add-rectangle dialog */
#define IDC_RECT_TOP 1061
#define IDC_RECT_LEFT 1062
#define IDC_RECT_RIGHT 1063
#define IDC_RECT_BOTTOM 1064
#define IDC_RECT_INCLUDE 1065

#endif
