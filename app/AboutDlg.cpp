#include "app/AboutDlg.h"

#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QLabel>
#include <QPushButton>

namespace {

plat::DialogTemplate AboutTemplate()
{
    auto tmpl = plat::LoadDialogTemplate(res::kAboutTemplate);
    return tmpl ? *tmpl : plat::DialogTemplate{};
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* parent) : plat::TemplateDialog(AboutTemplate(), parent)
{
    setWindowModality(Qt::WindowModal);
    if (auto* ok = ControlAs<QPushButton>(IDOK))
        connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
