// Resource identifiers of the diagnostics program.
#ifndef KEVO_KEVODIAGRES_H
#define KEVO_KEVODIAGRES_H

#define IDI_KEVODIAG 101
#define IDD_KEVODIAG_DIALOG 102
#define IDC_EDIT_REPORT 1000
#define IDC_STATIC_REPORT 1003
#define IDC_BUTTON_COPY 1001
#define IDC_BUTTON_SAVE 1002

#endif
