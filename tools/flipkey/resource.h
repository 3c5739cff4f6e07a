// Flipkey's resource ids (shared by flipkey.rc and the program).
#pragma once
#define IDD_FLIPKEY_MAIN 102
#define IDD_FUNCTION 129
#define IDB_LEFTKEY 154
#define IDB_RIGHTKEY 149
#define IDC_FLIPBUTTON 1034
