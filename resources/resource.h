#pragma once
// Resource identifiers of Snapwell.exe.
#define IDR_VERSION 1
#define IDC_REGION_WAIT 159
#define IDC_REGION_DRAG 160
#define IDC_WINDOW_PICK 161
#define IDC_RESIZE_PICK 162
#define IDR_TYPELIB 1
#define IDR_SHOTDESK 103
#define IDR_CAPTUREENGINE 104
#define IDR_MAINFRAME 128
#define IDR_TRAY_MENU 130
#define IDI_TRAY 169
// The "Open With" dialog's icon.
#define IDI_OPEN_WITH 10172

// Tray menu commands. 132 to 137 are the capture modes.
#define ID_TRAY_CAPTURE 131
#define ID_TRAY_MODE_FIRST 132
#define ID_TRAY_MODE_LAST 137
#define ID_TRAY_PROPERTIES 139
#define ID_TRAY_OPEN 141
#define ID_TRAY_EXIT 142
// The tray menu's captures, from 150 on, and the captures after a delay:
// full screen, window and rectangle, each after 3, 5 and 10 seconds.
#define ID_TRAY_CAPTURE_FULL_SCREEN 150
#define ID_TRAY_CAPTURE_WINDOW 151
#define ID_TRAY_CAPTURE_RECTANGLE 152
#define ID_TRAY_CAPTURE_LAST_RECTANGLE 153
#define ID_TRAY_FULL_SCREEN_AFTER_3 154
#define ID_TRAY_FULL_SCREEN_AFTER_5 155
#define ID_TRAY_FULL_SCREEN_AFTER_10 156
#define ID_TRAY_WINDOW_AFTER_3 157
#define ID_TRAY_WINDOW_AFTER_5 158
#define ID_TRAY_WINDOW_AFTER_10 159
#define ID_TRAY_RECTANGLE_AFTER_3 160
#define ID_TRAY_RECTANGLE_AFTER_5 161
#define ID_TRAY_RECTANGLE_AFTER_10 162
// The recent captures: the folder of saved captures, the list's clearing,
// and the ten listed files (newest first).
#define ID_TRAY_OPEN_CAPTURE_FOLDER 163
#define ID_TRAY_CLEAR_RECENT 164
#define ID_TRAY_RECENT_FIRST 170
#define ID_TRAY_RECENT_LAST 179

// The capture toolbar: toolbar resources (24- and 48-pixel images), their
// image strips and the button labels.
#define IDR_TOOLBAR_SMALL 151
#define IDR_TOOLBAR_LARGE 153
#define IDB_TOOLBAR_SMALL 151
#define IDB_TOOLBAR_SMALL_HOT 152
#define IDB_TOOLBAR_LARGE 153
#define IDB_TOOLBAR_LARGE_HOT 154
// The same images drawn for 150 % and 200 % screens.
#define IDB_TOOLBAR_36 155
#define IDB_TOOLBAR_36_HOT 156
#define IDB_TOOLBAR_72 165
#define IDB_TOOLBAR_72_HOT 166
#define IDB_TOOLBAR_96 167
#define IDB_TOOLBAR_96_HOT 168
#define IDS_LABEL_FULL_SCREEN 157
#define IDS_LABEL_WINDOW 158
#define IDS_LABEL_OPTIONS 159
#define IDS_LABEL_ABOUT 161
#define IDS_LABEL_RECTANGLE 163
#define IDS_LABEL_RESIZE 164
#define ID_TOOLBAR_FULL_SCREEN 32771
#define ID_TOOLBAR_WINDOW 32772
#define ID_TOOLBAR_RECTANGLE 32773
#define ID_TOOLBAR_RESIZE 32774
#define ID_TOOLBAR_OPTIONS 32775
#define ID_TOOLBAR_ABOUT 32776

// The resize dialog and its controls.
#define IDD_RESIZE_APPLICATION 173
#define IDC_RESIZE_SIZE 1009
#define IDC_RESIZE_TEXT 1010
