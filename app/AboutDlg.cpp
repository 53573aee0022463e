#include "app/AboutDlg.h"

#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : plat::TemplateDialog(plat::BuiltInDialogTemplate(res::kAboutTemplate), parent)
{
    setWindowModality(Qt::WindowModal);
    if (auto* ok = ControlAs<QPushButton>(IDOK))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
