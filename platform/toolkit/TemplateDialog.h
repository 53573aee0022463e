#pragma once
// A dialog window built from a template: its controls are made in template order (the tab order),
// placed in dialog units of the window's font and found again by id. The window operations below may
// be called from any thread: writes from a worker are queued to the window's thread and applied in
// the order that worker made them; reads come from a copy of each control's state that is kept
// current, so that a worker reads what it wrote and never waits for the window's thread.

#include "platform/toolkit/DialogTemplate.h"

#include <QDialog>
#include <QHash>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

class QAbstractButton;
class QMenu;

namespace plat {

class DialogUnits;
class StretchLayout;

// Makes the widget for a control kind the toolkit does not know (a hex view, an icon).
using ControlFactory = std::function<QWidget*(const ControlTemplate&, QWidget* parent)>;
void RegisterControlKind(const QString& kind, ControlFactory factory);

class TemplateDialog : public QDialog {
    Q_OBJECT
public:
    explicit TemplateDialog(const DialogTemplate& tmpl, QWidget* parent = nullptr);
    ~TemplateDialog() override;

    const DialogTemplate& Template() const { return m_template; }
    // The control with this id; window's thread only.
    QWidget* Control(int id) const;
    template <class T> T* ControlAs(int id) const { return qobject_cast<T*>(Control(id)); }
    // Controls with an id in template order.
    const std::vector<QWidget*>& ControlsInOrder() const { return m_ordered; }

    // Window operations, callable from any thread.
    void SetText(int id, const QString& text);
    QString GetText(int id) const;
    void Enable(int id, bool enable);
    bool IsEnabled(int id) const;
    int GetCheck(int id) const;                     // 1 checked, 0 clear
    void SetCheck(int id, int state);               // no click notification
    std::uint32_t GetAddress(int id) const;         // first field in the highest byte; blanks read 0
    std::array<std::uint8_t, 4> GetOctets(int id) const;
    bool ControlExists(int id) const;               // false once the window is being destroyed
    // Drop-down lists. A list starts without a selection.
    int GetCurSel(int id) const;                    // -1 when nothing is selected
    void SetCurSel(int id, int index);              // an index outside the list clears the selection
    int GetCount(int id) const;
    void InsertString(int id, int index, const QString& text);   // index -1 appends

    // Calls `handler` on the window's thread when the user clicks the control; for a check box, on
    // every change of its state except those made through SetCheck.
    void OnClicked(int id, std::function<void()> handler);

    // The window menu: the window commands, then what the program appends. Its commands reach
    // OnSysCommand. Shown from a right click on the window's background and from the Menu key.
    void AppendMenuSeparator();
    void AppendMenuItem(int commandId, const QString& text);
    QMenu* BuildWindowMenu();
    // Window commands of the menu.
    static constexpr int kCommandMinimize = 0xF020;
    static constexpr int kCommandMaximize = 0xF030;
    static constexpr int kCommandRestore = 0xF120;
    static constexpr int kCommandClose = 0xF060;

    // Makes the window resizable from its template size up: these controls (id and share of the
    // extra height) take the extra room, the others keep their place or follow the right edge
    // (StretchLayout). Call before the window is shown.
    void SetStretchingControls(const std::vector<std::pair<int, double>>& idsAndHeightShares);

    // A row of the program's own controls below the template's, across the window, as high as
    // `row` is. Hidden at first; while it shows, the window is that much taller and no smaller, and
    // the template's controls keep their places. Window's thread.
    void SetBottomRow(QWidget* row);
    void ShowBottomRow(bool show);

    // Enter and Escape never reach the window or any control in it.
    void SetDiscardEnterAndEscape(bool discard);
    // While Enter is discarded, it still reaches a control for which `takesEnter` answers true at
    // the moment of the key (a pane that types a line ending). Escape stays discarded.
    void SetEnterTaker(std::function<bool(QWidget* control)> takesEnter) { m_enterTaker = std::move(takesEnter); }

protected:
    virtual void OnSysCommand(int commandId);
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    // Marks every control gone; the window's own teardown runs after this.
    void MarkControlsGone();

private:
    struct ControlState {
        QString text;
        int check = 0;
        bool enabled = true;
        int selection = -1;   // drop-down lists
        int count = 0;
    };
    QWidget* MakeControl(const ControlTemplate& c, const DialogUnits& units);
    void ConnectMirror(int id, QWidget* widget);
    void SetCaption(QAbstractButton* button, int id, const QString& text);
    void ApplyText(int id, const QString& text);
    void ApplyCheck(int id, int state);
    // The template's controls for the window's size less the bottom row, and the row below them.
    void PlaceControls();

    DialogTemplate m_template;
    QHash<int, QWidget*> m_controls;
    std::vector<QWidget*> m_ordered;
    std::vector<QWidget*> m_byTemplateIndex;             // one per template control; nullptr if not made
    std::vector<std::pair<int, QString>> m_menuItems;    // id 0 = separator
    std::unique_ptr<StretchLayout> m_stretch;            // none while the window keeps its size
    QWidget* m_bottomRow = nullptr;
    int m_bottomRowShown = 0;                            // its height while it shows, else 0

    mutable std::mutex m_stateLock;
    std::unordered_map<int, ControlState> m_state;
    bool m_gone = false;
    bool m_applying = false;                             // window's thread only
    bool m_discardKeys = false;
    std::function<bool(QWidget*)> m_enterTaker;
};

} // namespace plat
