#pragma once

// Resource and control numbers of the native window, shared by the resource
// script and the code. Plain defines: the resource compiler reads this too.

#define IDI_TRIVANE 1

// The settings dialog (TF_Settings) and its controls.
#define IDD_SETTINGS 100
// The items of a group are numbered in a row: item i is the first's number plus i.
#define IDC_LABAPID 101
#define IDC_EPID 102
#define IDC_EPID_SPIN 103
#define IDC_CBSHOWPLAYLIST 104
#define IDC_RDREAD 105
#define IDC_RDREAD0 106
#define IDC_RDREAD1 107
#define IDC_TABSRCIP 108
#define IDC_LABREADHOST 109
#define IDC_EREADHOST 110
#define IDC_LABREADPORT 111
#define IDC_EREADPORT 112
#define IDC_EREADPORT_SPIN 113
#define IDC_CBIGNOREDELAY 114
#define IDC_SGSEND 115
#define IDC_SGSEND0 116
#define IDC_SGSEND1 117
#define IDC_SGSEND2 118
#define IDC_ESERVERPORT 119
#define IDC_ESERVERPORT_SPIN 120
#define IDC_EOSIP 121
#define IDC_EOSPORT 122
#define IDC_EOSPORT_SPIN 123
#define IDC_EOSPASS 124
#define IDC_STARTGROUP 125
#define IDC_CBAUTO_START 126
#define IDC_CBAUTO_TRAY 127
// Save and Cancel carry IDOK and IDCANCEL: Enter presses Save, and Escape
// and the title bar's close press Cancel.
#define IDC_SBSAVE 1
#define IDC_SBCANCEL 2
