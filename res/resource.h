// Resource identifiers of the program's dialogs, bitmaps and icon. Only
// #defines, so that both the resource compiler and C++ can include it.
#pragma once

#define IDI_APP_ICON 128

#define IDD_MAIN_DIALOG 141
#define IDD_CONFIRM_DIALOG 142

// Message icons of the confirmation dialog, and the main window's skin.
#define IDB_ICON_INFORMATION 152
#define IDB_ICON_QUESTION 153
#define IDB_ICON_WARNING 154
#define IDB_ICON_ERROR 155
#define IDB_SKIN 156

// Main dialog. Its Cancel button is IDCANCEL (2).
#define IDC_OK_BUTTON 1070
#define IDC_SCAN_BUTTON 1052
#define IDC_DOWNLOAD_BUTTON 1053
#define IDC_CLOSE_BUTTON 1054
#define IDC_STATUS_FRAME 1064
#define IDC_STATUS_LABEL 1065
#define IDC_SEARCHING_TEXT 1076
#define IDC_FAMILY_LABEL 1068
#define IDC_PRODUCT_TEXT 1075
#define IDC_MAKER_TEXT 1072
#define IDC_HEADLINE_TEXT 1074
#define IDC_PRODUCT_LINK 1077
#define IDC_TOOLS_LINK 1080
#define IDC_LOGO_BUTTON 1085
#define IDC_REPORT_FRAME 1034
#define IDC_REPORT_LIST 1055

// Confirmation dialog. Its OK and Cancel buttons are IDOK (1) and IDCANCEL (2).
#define IDC_ICON_PICTURE 1085
#define IDC_MESSAGE_TEXT 1086
#define IDC_OK_ONLY_BUTTON 3
#define IDC_YES_BUTTON 6
#define IDC_NO_BUTTON 7
