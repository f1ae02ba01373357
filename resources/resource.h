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
