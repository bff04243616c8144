#pragma once
// Child-window ids of frmMain. None is IDOK (1) or IDCANCEL (2): the dialog
// keyboard interface sends those for Enter and Esc, and no button answers them.
enum ControlId : int {
    IDC_LSTLISTKEY = 1001,
    IDC_CMDFIX = 1002,
    IDC_CMDDELETE = 1003,
    IDC_CMDQUIT = 1004,
    IDC_LABEL1 = 1005,
    IDC_LBLCOUNT = 1006,
    IDC_LBLDETAIL = 1007,
    IDC_TXTDETAIL = 1008,
    IDC_CMDDELETE1 = 1009,
    IDC_IMAGE1 = 1010,
};

#define VORNEX_WINDOW_CLASS L"VornexFrmMain"
