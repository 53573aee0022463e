#pragma once
// A control member of a window: names one control of a template dialog by id and forwards the
// window operations to it. Usable from any thread, as the dialog's operations are.

#include "platform/toolkit/TemplateDialog.h"

namespace plat {

class DlgItem {
public:
    void Bind(TemplateDialog* dialog, int id) { m_dialog = dialog; m_id = id; }
    int Id() const { return m_id; }
    QWidget* Widget() const { return m_dialog ? m_dialog->Control(m_id) : nullptr; }

    void SetWindowText(const QString& text) const { if (m_dialog) m_dialog->SetText(m_id, text); }
    QString GetWindowText() const { return m_dialog ? m_dialog->GetText(m_id) : QString(); }
    void EnableWindow(bool enable) const { if (m_dialog) m_dialog->Enable(m_id, enable); }
    bool IsWindowEnabled() const { return m_dialog && m_dialog->IsEnabled(m_id); }
    int GetCheck() const { return m_dialog ? m_dialog->GetCheck(m_id) : 0; }
    void SetCheck(int state) const { if (m_dialog) m_dialog->SetCheck(m_id, state); }
    bool IsWindow() const { return m_dialog && m_dialog->ControlExists(m_id); }

private:
    TemplateDialog* m_dialog = nullptr;
    int m_id = -1;
};

} // namespace plat
