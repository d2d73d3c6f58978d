/* Resource numbers of velmora.rc. Read both by the resource compiler (through the C
   preprocessor) and by the C++ sources, so plain #defines only. win32_dialogs.cpp checks at
   compile time that each number equals the core's (app/ui_text.h, the dialogs' models). */
#ifndef VELMORA_WIN32_RESOURCE_H
#define VELMORA_WIN32_RESOURCE_H

/* Resources */
#define IDR_MAINMENU 101
#define IDD_CONNECT 102
#define IDR_ACCELERATORS 103
#define IDD_TERMINAL_SIZE 104
#define IDD_ABOUT 105
#define IDI_VELMORA 106
#define IDD_COLORS 107

/* String table */
#define IDS_TITLE_FORMAT 1
#define IDS_NOT_CONNECTED 2
#define IDS_CONNECT_FAILED 3
#define IDS_REMOVE_HOST_QUESTION 4
#define IDS_CONNECTING 5
#define IDS_QUIT_QUESTION 6

/* Menu commands */
#define IDM_CONNECT 40001
#define IDM_DISCONNECT 40002
#define IDM_COPY 40003
#define IDM_PASTE 40004
#define IDM_CLEAR_BACKLOG 40005
#define IDM_FONT 40006
#define IDM_DEBUG_TRACE 40007
#define IDM_ABOUT 40008
#define IDM_EXIT 40009
#define IDM_TERMINAL_SIZE 40010
#define IDM_COLORS 40011
#define IDM_SELECT_ALL 40012
#define IDM_ENCODING_EUC 40013
#define IDM_ENCODING_SJIS 40014
#define IDM_ENCODING_UTF8 40015

/* Controls that are never addressed (labels, group boxes, the about box's icon) */
#define IDC_STATIC (-1)

/* Connection dialog */
#define IDC_CONNECT_HOST 1000
#define IDC_CONNECT_EUC 1001
#define IDC_CONNECT_SJIS 1002
#define IDC_CONNECT_UTF8 1003
#define IDC_CONNECT_VT52 1006
#define IDC_CONNECT_VT100 1007
#define IDC_CONNECT_AUTO_CLOSE 1019

/* Terminal size dialog */
#define IDC_SIZE_ROWS 1004
#define IDC_SIZE_COLUMNS 1005
#define IDC_SIZE_COLUMNS_UPDOWN 1008
#define IDC_SIZE_ROWS_UPDOWN 1009
#define IDC_SIZE_BACKLOG 1010
#define IDC_SIZE_BACKLOG_UPDOWN 1011
#define IDC_SIZE_MAXIMUM 1012

/* Colour dialog */
#define IDC_COLOR_SAMPLE 1013
#define IDC_COLOR_DEFAULT 1014
#define IDC_TEXT_FOREGROUND 1015
#define IDC_TEXT_BACKGROUND 1016
#define IDC_SELECTED_FOREGROUND 1017
#define IDC_SELECTED_BACKGROUND 1018

#endif
