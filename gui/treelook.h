#pragma once

class QWidget;

// The palette and font shared by the project tree and the monitoring views.
class TreeLook {
public:
    // Sets the eight palette colours (all colour groups) and the font "MSShellDlg 2", 10 pt.
    static void apply(QWidget *view);
};
