// Resource ids of Setup; the program's own copy is the enum in
// src/app/installer_context.h, and the unit tests hold the two equal.
#pragma once

#define IDD_MAIN 101
#define IDI_MAIN 102

#define IDC_INSTALLDIR 1000
#define IDC_BROWSE_INI 1001
#define IDC_PROGRAMDIR 1002
#define IDC_BROWSE_PROGRAM 1003
#define IDC_STATUS 1007
#define IDC_PROGRAMDIR_LABEL 1008
#define IDC_INSTALLDIR_LABEL 1009
#define IDC_INFO 1010
#define IDC_LINK 1011
