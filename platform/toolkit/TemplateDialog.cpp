#include "platform/toolkit/TemplateDialog.h"

#include "platform/toolkit/ControlLabels.h"
#include "platform/toolkit/DialogUnits.h"
#include "platform/toolkit/Ipv4AddressEdit.h"
#include "platform/toolkit/StretchLayout.h"
#include "platform/toolkit/WindowThread.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace plat {
namespace {

std::mutex g_factoryLock;
QHash<QString, ControlFactory>& Factories()
{
    static QHash<QString, ControlFactory> factories;
    return factories;
}

// A caption as the button shows it: the template's "\r\n" breaks the line.
QString DisplayCaption(const QString& text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return shown;
}

// The caption without its line break and mnemonic marks, for assistive technology.
QString AccessibleCaption(const QString& text)
{
    QString name = text;
    name.replace(QLatin1String("\r\n"), QLatin1String(" "));
    name.remove(QLatin1Char('&'));
    return name.simplified();
}

} // namespace

void RegisterControlKind(const QString& kind, ControlFactory factory)
{
    std::lock_guard guard(g_factoryLock);
    Factories().insert(kind, std::move(factory));
}

TemplateDialog::TemplateDialog(const DialogTemplate& tmpl, QWidget* parent)
    : QDialog(parent), m_template(tmpl)
{
    setWindowTitle(m_template.caption);
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                            Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (m_template.style.contains(QLatin1String("minimizebox")))
        flags |= Qt::WindowMinimizeButtonHint;
    if (m_template.style.contains(QLatin1String("appwindow")))
        flags = (flags & ~Qt::Dialog) | Qt::Window;
    setWindowFlags(flags);

    // The window keeps the template's geometry in dialog units of the platform's GUI font.
    setFont(QApplication::font());
    const DialogUnits units(font());
    setFixedSize(units.ToPixelsX(m_template.width), units.ToPixelsY(m_template.height));

    QWidget* previousTabStop = nullptr;
    for (const auto& c : m_template.controls) {
        QWidget* widget = MakeControl(c, units);
        m_byTemplateIndex.push_back(widget);
        if (widget == nullptr)
            continue;
        widget->setGeometry(units.ToPixels(c.x, c.y, c.w, c.h));
        // A drop-down list's template height includes its open list; closed it keeps its own.
        if (auto* list = qobject_cast<QComboBox*>(widget))
            list->resize(list->width(), list->sizeHint().height());
        if (c.id == -1)
            continue;
        widget->setObjectName(QStringLiteral("control%1").arg(c.id));
        m_controls.insert(c.id, widget);
        m_ordered.push_back(widget);
        {
            std::lock_guard guard(m_stateLock);
            m_state[c.id] = ControlState{c.text, 0, true, -1, static_cast<int>(c.items.size())};
        }
        ConnectMirror(c.id, widget);
        if (c.HasStyle("tabstop") && widget->focusPolicy() != Qt::NoFocus) {
            if (previousTabStop != nullptr)
                setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        }
    }
    // Group boxes are drawn behind the controls they frame.
    for (auto* group : findChildren<QGroupBox*>(QString(), Qt::FindDirectChildrenOnly))
        group->lower();
    LinkLabelsToFields(m_template, m_byTemplateIndex);
}

TemplateDialog::~TemplateDialog()
{
    MarkControlsGone();
    if (m_discardKeys)
        qApp->removeEventFilter(this);
}

void TemplateDialog::MarkControlsGone()
{
    std::lock_guard guard(m_stateLock);
    m_gone = true;
}

QWidget* TemplateDialog::MakeControl(const ControlTemplate& c, const DialogUnits& units)
{
    const QString& kind = c.kind;
    if (kind == QLatin1String("group"))
        return new QGroupBox(c.text, this);
    if (kind == QLatin1String("label")) {
        auto* label = new QLabel(c.text, this);
        label->setTextFormat(Qt::PlainText);
        Qt::Alignment vertical = c.HasStyle("top") ? Qt::AlignTop : Qt::AlignVCenter;
        Qt::Alignment horizontal = c.HasStyle("center") ? Qt::AlignHCenter : Qt::AlignLeft;
        label->setAlignment(horizontal | vertical);
        return label;
    }
    if (kind == QLatin1String("check")) {
        auto* box = new QCheckBox(this);
        SetCaption(box, c.id, c.text);
        return box;
    }
    if (kind == QLatin1String("button") || kind == QLatin1String("defbutton")) {
        auto* button = new QPushButton(this);
        SetCaption(button, c.id, c.text);
        // Enter must not press a button by itself; only a default push button takes it.
        button->setAutoDefault(false);
        button->setDefault(kind == QLatin1String("defbutton"));
        return button;
    }
    if (kind == QLatin1String("edit")) {
        auto* edit = new QLineEdit(c.text, this);
        edit->setAlignment(c.HasStyle("center") ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignVCenter);
        edit->setReadOnly(c.HasStyle("readonly"));
        if (c.HasStyle("number"))
            edit->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
        edit->setAccessibleName(c.name);
        // A read-only edit is still a tab stop, as every control with an id is.
        edit->setFocusPolicy(Qt::StrongFocus);
        return edit;
    }
    if (kind == QLatin1String("combo")) {
        auto* list = new QComboBox(this);
        list->addItems(c.items);
        list->setCurrentIndex(-1);
        // About one item per 8 units of the open list below the closed box.
        list->setMaxVisibleItems(std::max(1, (c.h - 14) / 8));
        list->setAccessibleName(c.name);
        return list;
    }
    if (kind == QLatin1String("ipaddr")) {
        auto* address = new Ipv4AddressEdit(this);
        address->setAccessibleName(c.name);
        return address;
    }
    ControlFactory factory;
    {
        std::lock_guard guard(g_factoryLock);
        factory = Factories().value(kind);
    }
    (void)units;
    if (!factory)
        return nullptr;
    QWidget* widget = factory(c, this);
    if (widget != nullptr && !c.name.isEmpty())
        widget->setAccessibleName(c.name);
    return widget;
}

void TemplateDialog::SetCaption(QAbstractButton* button, int id, const QString& text)
{
    button->setText(DisplayCaption(text));
    // The accessible name follows the caption, unless the template names a control whose caption
    // alone would not tell it from another ("Clear" of which pane).
    const ControlTemplate* c = m_template.Find(id);
    if (c == nullptr || c->name.isEmpty())
        button->setAccessibleName(AccessibleCaption(text));
    else
        button->setAccessibleName(c->name);
}

void TemplateDialog::ConnectMirror(int id, QWidget* widget)
{
    // The user's changes keep the copy current; changes made through the operations are already in it.
    auto remember = [this, id](const QString& text) {
        if (m_applying)
            return;
        std::lock_guard guard(m_stateLock);
        m_state[id].text = text;
    };
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        connect(edit, &QLineEdit::textChanged, this, remember);
    } else if (auto* address = qobject_cast<Ipv4AddressEdit*>(widget)) {
        connect(address, &Ipv4AddressEdit::AddressChanged, this,
                [address, remember] { remember(address->Text()); });
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
        connect(list, &QComboBox::currentIndexChanged, this, [this, id](int index) {
            if (m_applying)
                return;
            std::lock_guard guard(m_stateLock);
            m_state[id].selection = index;
        });
    } else if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        connect(box, &QCheckBox::toggled, this, [this, id](bool checked) {
            if (m_applying)
                return;
            std::lock_guard guard(m_stateLock);
            m_state[id].check = checked ? 1 : 0;
        });
    }
}

QWidget* TemplateDialog::Control(int id) const
{
    return m_controls.value(id, nullptr);
}

void TemplateDialog::ApplyText(int id, const QString& text)
{
    QWidget* widget = Control(id);
    if (widget == nullptr)
        return;
    m_applying = true;
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        edit->setText(text);
    else if (auto* button = qobject_cast<QAbstractButton*>(widget))
        SetCaption(button, id, text);
    else if (auto* address = qobject_cast<Ipv4AddressEdit*>(widget))
        address->SetText(text);
    else if (auto* label = qobject_cast<QLabel*>(widget))
        label->setText(text);
    m_applying = false;
}

void TemplateDialog::ApplyCheck(int id, int state)
{
    if (auto* box = qobject_cast<QAbstractButton*>(Control(id))) {
        m_applying = true;
        box->setChecked(state != 0);
        m_applying = false;
    }
}

void TemplateDialog::SetText(int id, const QString& text)
{
    {
        std::lock_guard guard(m_stateLock);
        if (m_gone || !m_state.contains(id))
            return;
        m_state[id].text = text;
    }
    RunOnWindowThread(this, [this, id, text] { ApplyText(id, text); });
}

QString TemplateDialog::GetText(int id) const
{
    std::lock_guard guard(m_stateLock);
    auto it = m_state.find(id);
    return it == m_state.end() ? QString() : it->second.text;
}

void TemplateDialog::Enable(int id, bool enable)
{
    {
        std::lock_guard guard(m_stateLock);
        if (m_gone || !m_state.contains(id))
            return;
        m_state[id].enabled = enable;
    }
    RunOnWindowThread(this, [this, id, enable] {
        if (QWidget* widget = Control(id))
            widget->setEnabled(enable);
    });
}

bool TemplateDialog::IsEnabled(int id) const
{
    std::lock_guard guard(m_stateLock);
    auto it = m_state.find(id);
    return it != m_state.end() && it->second.enabled;
}

int TemplateDialog::GetCheck(int id) const
{
    std::lock_guard guard(m_stateLock);
    auto it = m_state.find(id);
    return it == m_state.end() ? 0 : it->second.check;
}

void TemplateDialog::SetCheck(int id, int state)
{
    {
        std::lock_guard guard(m_stateLock);
        if (m_gone || !m_state.contains(id))
            return;
        m_state[id].check = state != 0 ? 1 : 0;
    }
    RunOnWindowThread(this, [this, id, state] { ApplyCheck(id, state); });
}

std::array<std::uint8_t, 4> TemplateDialog::GetOctets(int id) const
{
    const QStringList parts = GetText(id).split(QLatin1Char('.'));
    std::array<std::uint8_t, 4> octets{};
    for (int i = 0; i < 4 && i < parts.size(); ++i)
        octets[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(std::clamp(parts[i].toInt(), 0, 255));
    return octets;
}

std::uint32_t TemplateDialog::GetAddress(int id) const
{
    const auto o = GetOctets(id);
    return (std::uint32_t{o[0]} << 24) | (std::uint32_t{o[1]} << 16) | (std::uint32_t{o[2]} << 8) | o[3];
}

bool TemplateDialog::ControlExists(int id) const
{
    std::lock_guard guard(m_stateLock);
    return !m_gone && m_state.contains(id);
}

int TemplateDialog::GetCurSel(int id) const
{
    std::lock_guard guard(m_stateLock);
    auto it = m_state.find(id);
    return it == m_state.end() ? -1 : it->second.selection;
}

int TemplateDialog::GetCount(int id) const
{
    std::lock_guard guard(m_stateLock);
    auto it = m_state.find(id);
    return it == m_state.end() ? 0 : it->second.count;
}

void TemplateDialog::SetCurSel(int id, int index)
{
    int selection;
    {
        std::lock_guard guard(m_stateLock);
        if (m_gone || !m_state.contains(id))
            return;
        ControlState& state = m_state[id];
        selection = index >= 0 && index < state.count ? index : -1;
        state.selection = selection;
    }
    RunOnWindowThread(this, [this, id, selection] {
        if (auto* list = qobject_cast<QComboBox*>(Control(id))) {
            m_applying = true;
            list->setCurrentIndex(selection);
            m_applying = false;
        }
    });
}

void TemplateDialog::InsertString(int id, int index, const QString& text)
{
    int at;
    {
        std::lock_guard guard(m_stateLock);
        if (m_gone || !m_state.contains(id))
            return;
        ControlState& state = m_state[id];
        at = index >= 0 && index <= state.count ? index : state.count;
        ++state.count;
        // The selected item keeps its selection when an item goes in before it.
        if (state.selection >= at)
            ++state.selection;
    }
    RunOnWindowThread(this, [this, id, at, text] {
        if (auto* list = qobject_cast<QComboBox*>(Control(id))) {
            m_applying = true;
            list->insertItem(at, text);
            m_applying = false;
        }
    });
}

void TemplateDialog::OnClicked(int id, std::function<void()> handler)
{
    QWidget* widget = Control(id);
    if (auto* box = qobject_cast<QCheckBox*>(widget)) {
        // A check box changes by a click, a key, the accessibility Toggle action or setChecked; each
        // change is what a click notifies. Only SetCheck's own change notifies nobody.
        connect(box, &QCheckBox::toggled, this, [this, handler = std::move(handler)] {
            if (!m_applying)
                handler();
        });
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        connect(button, &QAbstractButton::clicked, this, [handler = std::move(handler)] { handler(); });
    }
}

void TemplateDialog::AppendMenuSeparator()
{
    m_menuItems.emplace_back(0, QString());
}

void TemplateDialog::AppendMenuItem(int commandId, const QString& text)
{
    m_menuItems.emplace_back(commandId, text);
}

QMenu* TemplateDialog::BuildWindowMenu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->setSeparatorsCollapsible(false);
    auto add = [this, menu](int id, const QString& text) {
        QAction* action = menu->addAction(text);
        connect(action, &QAction::triggered, this, [this, id] { OnSysCommand(id); });
        return action;
    };
    if (windowFlags() & Qt::WindowMinimizeButtonHint)
        add(kCommandMinimize, tr("Mi&nimize"));
    if (windowFlags() & Qt::WindowMaximizeButtonHint) {
        if (isMaximized())
            add(kCommandRestore, tr("&Restore"));
        else
            add(kCommandMaximize, tr("Ma&ximize"));
    }
    add(kCommandClose, tr("&Close\tAlt+F4"));
    for (const auto& [id, text] : m_menuItems) {
        if (id == 0)
            menu->addSeparator();
        else
            add(id, text);
    }
    return menu;
}

void TemplateDialog::OnSysCommand(int commandId)
{
    if (commandId == kCommandMinimize)
        showMinimized();
    else if (commandId == kCommandMaximize)
        showMaximized();
    else if (commandId == kCommandRestore)
        showNormal();
    else if (commandId == kCommandClose)
        close();
}

void TemplateDialog::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = BuildWindowMenu();
    const QPoint where = event->reason() == QContextMenuEvent::Mouse ? event->globalPos() : mapToGlobal(QPoint(8, 8));
    menu->popup(where);
    event->accept();
}

void TemplateDialog::SetStretchingControls(const std::vector<std::pair<int, double>>& idsAndHeightShares)
{
    std::vector<StretchLayout::Stretching> stretching;
    for (const auto& [id, share] : idsAndHeightShares)
        if (QWidget* widget = Control(id))
            stretching.push_back({widget, share});
    std::vector<QWidget*> controls;
    for (QWidget* widget : m_byTemplateIndex)
        if (widget != nullptr)
            controls.push_back(widget);
    // A band's last row: the buttons under a pane stay under it.
    const int lastRow = DialogUnits(font()).ToPixelsY(16);
    m_stretch = std::make_unique<StretchLayout>(controls, stretching, lastRow, size());
    setMinimumSize(size());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
}

void TemplateDialog::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    PlaceControls();
}

void TemplateDialog::PlaceControls()
{
    if (m_stretch)
        m_stretch->Apply(size() - QSize(0, m_bottomRowShown));
    if (m_bottomRowShown > 0)
        m_bottomRow->setGeometry(0, height() - m_bottomRowShown, width(), m_bottomRowShown);
}

void TemplateDialog::SetBottomRow(QWidget* row)
{
    m_bottomRow = row;
    row->setParent(this);
    row->hide();
}

void TemplateDialog::ShowBottomRow(bool show)
{
    if (!m_bottomRow || show == (m_bottomRowShown > 0))
        return;
    const int change = show ? m_bottomRow->height() : -m_bottomRowShown;
    const int target = height() + change;
    m_bottomRowShown = show ? m_bottomRow->height() : 0;
    m_bottomRow->setVisible(show);
    setMinimumHeight(minimumHeight() + change);
    resize(width(), target);
    PlaceControls();
}

void TemplateDialog::SetDiscardEnterAndEscape(bool discard)
{
    if (discard == m_discardKeys)
        return;
    m_discardKeys = discard;
    if (discard)
        qApp->installEventFilter(this);
    else
        qApp->removeEventFilter(this);
}

bool TemplateDialog::eventFilter(QObject* watched, QEvent* event)
{
    // Enter and Escape are taken away before any control of this window or the window itself sees
    // them, so Enter never presses a button and Escape never closes the window.
    if (m_discardKeys && event->type() == QEvent::KeyPress) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget != nullptr && widget->window() == this) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
            if (enter && m_enterTaker && m_enterTaker(widget))
                return QDialog::eventFilter(watched, event);
            if (enter || key == Qt::Key_Escape)
                return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace plat
