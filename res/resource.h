/* Identifiers, texts, sizes and dialog-unit coordinates of Strofix's resources.
 * The one definition of each: included by strofix.rc (windres) and by the C++ code
 * of every platform, so it holds preprocessor definitions only. */
#ifndef STROFIX_RES_RESOURCE_H
#define STROFIX_RES_RESOURCE_H

/* Resource identifiers */
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_MAIN_DIALOG 102
#define IDR_MAINFRAME 128
#define IDC_LYRIC_EDIT 1001
#define IDC_OPTIONS 1003
#define IDM_ABOUTBOX 0x0010

/* Texts */
#define STROFIX_APP_TITLE "Strofix"
#define STROFIX_DIR_MODE_TITLE "Strofix - Enter Lyrics Directory"
#define STROFIX_OPTIONS_TEXT "&Options"
#define STROFIX_ABOUT_ITEM_TEXT "&About Strofix..."
#define STROFIX_ABOUT_TITLE "About Strofix"
#define STROFIX_PRODUCT_TEXT "Strofix 1.0"
#define STROFIX_NOTICE_LINE1 "Copyright (C) 2026"
#define STROFIX_NOTICE_LINE2 "The Strofix developers"
#define STROFIX_NOTICE_TEXT STROFIX_NOTICE_LINE1 "\n" STROFIX_NOTICE_LINE2
#define STROFIX_COMPANY_TEXT "The Strofix developers"
#define STROFIX_COPYRIGHT_TEXT "Copyright (C) 2026 The Strofix developers"
#define STROFIX_OK_TEXT "OK"
#define STROFIX_NO_LYRICS_TEXT "Unable to Locate Lyrics File"
#define STROFIX_INVALID_PATH_TEXT "Invalid Path"
#define STROFIX_ERROR_CAPTION "Error"
#define STROFIX_DIALOG_FONT "MS Sans Serif"
#define STROFIX_DIALOG_FONT_POINTS 8
#define STROFIX_VERSION_TEXT "1.0"
#define STROFIX_EXE_NAME "Strofix.exe"
#define STROFIX_FILE_VERSION 1, 0, 0, 0 /* the version record's numbers */

/* Settings */
#define STROFIX_SETTINGS_SECTION "Strofix 1.0"
#define STROFIX_SETTINGS_KEY "LyricsPath"

/* Main window template (dialog units) */
#define MAIN_DLG_W 416
#define MAIN_DLG_H 26
#define LYRIC_EDIT_X 10
#define LYRIC_EDIT_Y 6
#define LYRIC_EDIT_W 350
#define LYRIC_EDIT_H 12
#define OPTIONS_X 370
#define OPTIONS_Y 5
#define OPTIONS_W 35
#define OPTIONS_H 15
#define LYRIC_EDIT_MAX_CHARS 250

/* About box template (dialog units) */
#define ABOUT_DLG_W 167
#define ABOUT_DLG_H 66
#define ABOUT_ICON_X 15
#define ABOUT_ICON_Y 10
#define ABOUT_ICON_W 21
#define ABOUT_ICON_H 20
#define ABOUT_PRODUCT_X 55
#define ABOUT_PRODUCT_Y 5
#define ABOUT_PRODUCT_W 45
#define ABOUT_PRODUCT_H 8
#define ABOUT_NOTICE_X 55
#define ABOUT_NOTICE_Y 20
#define ABOUT_NOTICE_W 95
#define ABOUT_NOTICE_H 20
#define ABOUT_OK_X 10
#define ABOUT_OK_Y 45
#define ABOUT_OK_W 145
#define ABOUT_OK_H 14

#endif
