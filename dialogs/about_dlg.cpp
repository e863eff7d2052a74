#include "dialogs/about_dlg.h"

#include "res/resource.h"

CAboutDlg::CAboutDlg(Platform& platform) : Dialog(platform, IDD_ABOUTBOX) {}

void CAboutDlg::DoDataExchange(DataExchange&) {}
