#pragma once
// The About box: the icon, the program's name and version, and the maker's lines.

#include "platform/toolkit/TemplateDialog.h"

class CAboutDlg : public plat::TemplateDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};
