// Resource ids of the installer (setup.rc and the code alike).
#pragma once

#ifndef IDC_STATIC
#define IDC_STATIC -1
#endif

#define IDI_SETUP 128
#define IDD_SETUP 129

#define IDC_LICENSE_LABEL 1051
#define IDC_LICENSE_TEXT 1022
#define IDC_AGREE_RADIO 1005
#define IDC_DISAGREE_RADIO 1006
#define IDC_PATH_LABEL 1023
#define IDC_PATH_EDIT 1024
#define IDC_SELECT_BUTTON 1016
#define IDC_PROGRESS_LABEL 1015
#define IDC_PROGRESS_BAR 1052
#define IDC_START_BUTTON 1021
#define IDC_EXIT_BUTTON 1014
