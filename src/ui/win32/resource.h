// Resource and control ids of the dialog program (shared by the .rc and C++).
#pragma once

#define IDD_PROGRAMMER_DIALOG 102
#define IDI_PROGRAMMER 133
#define IDC_LINK_CURSOR 136

#define IDC_SERIAL_NUMBER 1000
#define IDC_START 1002
#define IDC_VERIFY 1003
#define IDC_STATUS 1004
#define IDC_WEB_LINK 1008
