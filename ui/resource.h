// Resource and control identifiers, shared by the .rc template and the code.
#pragma once

#define IDR_MAINFRAME 128
#define IDD_MAIN 102

#define IDB_STEP_1 129
#define IDB_STEP_2 130
#define IDB_STEP_3 131
#define IDB_STEP_4 132
#define IDB_STEP_5 133

#define IDC_STEP_DOWN 1000
#define IDC_STEP_RIGHT 1001
#define IDC_STEP_UP 1002
#define IDC_STEP_PLUG 1003
#define IDC_READ_EEPROM 1006
#define IDC_STEP_LEFT 1008
#define IDC_STEP_UNPLUG 1009
#define IDC_PIC_1 1011
#define IDC_PIC_2 1012
#define IDC_PIC_3 1013
#define IDC_PIC_4 1014
#define IDC_PIC_5 1015

#define IDT_UNPLUG_POLL 1
