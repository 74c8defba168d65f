// Resource identifiers of GlanceUIApp (dialog template, string table, bitmaps).
#pragma once

#define IDD_GLANCEUIAPP_DIALOG 102
#define IDS_GLANCEUIAPP_CAPTION 102

// Bitmaps: the on-state picture (top) and the off-state picture (bottom) of each function.
#define IDB_CAMERA_ON 130
#define IDB_CAMERA_OFF 131
#define IDB_EXAMPLE 132
#define IDB_RVL_OFF 133
#define IDB_RVL_ON 134
#define IDB_MICROPHONE_OFF 135
#define IDB_MICROPHONE_ON 136
#define IDB_TOUCHPAD_OFF 141
#define IDB_TOUCHPAD_ON 142
#define IDB_CAPSLOCK_OFF 145
#define IDB_CAPSLOCK_ON 146
#define IDB_FNLOCK_OFF 147
#define IDB_FNLOCK_ON 148
#define IDB_NUMLOCK_OFF 149
#define IDB_NUMLOCK_ON 150

// Controls of dialog 102 besides IDOK (1) and IDNO (7). Slot k shows entry k of the offered
// functions: a group box with its top and bottom picture.
#define IDC_SLOT0_GROUP 1000
#define IDC_SLOT2_GROUP 1001
#define IDC_SLOT0_TOP 1002
#define IDC_SLOT0_BOTTOM 1003
#define IDC_SLOT2_TOP 1004
#define IDC_SLOT2_BOTTOM 1005
#define IDC_SLOT4_TOP 1006
#define IDC_SLOT4_BOTTOM 1007
#define IDC_SLOT4_GROUP 1008
#define IDC_SLOT5_GROUP 1009
#define IDC_SLOT5_BOTTOM 1010
#define IDC_SLOT5_TOP 1011
#define IDC_SLOT1_TOP 1012
#define IDC_SLOT1_BOTTOM 1013
#define IDC_SLOT1_GROUP 1014
#define IDC_SLOT3_GROUP 1015
#define IDC_SLOT3_BOTTOM 1016
#define IDC_SLOT3_TOP 1017
#define IDC_EXAMPLE_PICTURE 1018
#define IDC_EXAMPLE_GROUP 1019
#define IDC_MESSAGE 1020
#define IDC_SLOT6_GROUP 1021
#define IDC_SLOT6_TOP 1023
#define IDC_SLOT6_BOTTOM 1024
#define IDC_HELP_LINK 1025
#define IDC_HELP_ICON 1026
