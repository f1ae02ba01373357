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
