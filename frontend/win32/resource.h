// frontend/win32/resource.h -- resource and control ids shared by vimlo.rc and the code.
#pragma once

#define IDI_APP 1
#define IDB_ABOUT 2

// The step lines of stages 0 to 5, in stage order.
#define IDS_STEP_FIRST 102
#define IDS_STEP_LAST 107

#define IDD_SRCDST 200
#define IDD_OPTIONS 201
#define IDD_ABOUT 202
#define IDD_PROGRESS 203

// Source/Destination page.
#define IDC_SOURCE 1001
#define IDC_BROWSE_SOURCE 1002
#define IDC_TITLE 1003
#define IDC_FILENAME 1004
#define IDC_LOC_AUTO 1005
#define IDC_LOC_SAME 1006
#define IDC_LOC_FOLDER 1007
#define IDC_USER_LABEL 1008
#define IDC_USER 1009
#define IDC_FOLDER 1010
#define IDC_BROWSE_FOLDER 1011

// Options page.
#define IDC_MAXDEPTH 1101
#define IDC_REMOVE_CR 1102
#define IDC_REMOVE_LF 1103
#define IDC_CR_TO_LF 1104
#define IDC_SLB 1105
#define IDC_SLB_COUNT 1106
#define IDC_TAB_NONE 1107
#define IDC_TAB_LB 1108
#define IDC_TAB_LB_COUNT 1109
#define IDC_TAB_SPACE 1110
#define IDC_TAB_SPACE_COUNT 1111

// About page.
#define IDC_ABOUT_PICTURE 1201
#define IDC_ABOUT_TEXT 1202

// Progress dialog.
#define IDC_PROG_SOURCE 1301
#define IDC_PROG_DEST 1302
#define IDC_PROG_STEP 1303
#define IDC_PROG_PAGE 1304
#define IDC_PROG_BAR 1305
#define IDC_PROG_PERCENT 1306
