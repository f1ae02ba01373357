#pragma once
// Resource identifiers of Snapwell.exe.
#define IDR_VERSION 1
