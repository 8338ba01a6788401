// Resource and control ids, shared by the resource script and the code.
#pragma once

#define IDM_ABOUTBOX 0x0010
#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_TESSALOOM_DIALOG 102
#define IDP_SOCKETS_INIT_FAILED 103
#define IDR_MAINFRAME 128

#define IDC_BROWSE_SOURCE 1001
#define IDC_BROWSE_DEST 1002
#define IDC_DEST_EDIT 1003
#define IDC_SOURCE_EDIT 1004
#define IDC_DUPLICATE 1005
#define IDC_SERVER_COMBO 1006
