#include "platform/hexview/HexFindDialog.h"

#include <QAccessible>
#include <QButtonGroup>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace plat {

HexFindDialog::HexFindDialog(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(tr("Find"));
    what_ = new QLineEdit(this);
    // Far more than the field's own default, which cut long pastes without a word.
    what_->setMaxLength(kMostPatternChars);
    what_->setToolTip(tr("Hex bytes such as 0d 0a, 0x0D,0x0A or 0d0a; or text, letter for letter"));
    auto* whatLabel = new QLabel(tr("Fi&nd what:"), this);
    whatLabel->setBuddy(what_);

    hex_ = new QRadioButton(tr("&Hex bytes"), this);
    text_ = new QRadioButton(tr("&Text"), this);
    hex_->setChecked(true);
    auto* kinds = new QButtonGroup(this);
    kinds->addButton(hex_);
    kinds->addButton(text_);

    next_ = new QPushButton(tr("Find &Next"), this);
    next_->setDefault(true);
    next_->setToolTip(tr("F3"));
    previous_ = new QPushButton(tr("Find &Previous"), this);
    previous_->setToolTip(tr("Shift+F3"));
    stop_ = new QPushButton(tr("&Stop"), this);
    stop_->setEnabled(false);
    auto* close = new QPushButton(tr("Close"), this);

    status_ = new QLabel(this);
    status_->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(whatLabel, what_);
    auto* kindRow = new QHBoxLayout;
    kindRow->addWidget(hex_);
    kindRow->addWidget(text_);
    kindRow->addStretch();
    form->addRow(QString(), kindRow);
    auto* buttons = new QHBoxLayout;
    for (QPushButton* button : {next_, previous_, stop_, close})
        buttons->addWidget(button);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);
    layout->addWidget(status_);

    connect(next_, &QPushButton::clicked, this, &HexFindDialog::findNext);
    connect(previous_, &QPushButton::clicked, this, &HexFindDialog::findPrevious);
    connect(stop_, &QPushButton::clicked, this, &HexFindDialog::stop);
    connect(close, &QPushButton::clicked, this, &HexFindDialog::reject);
}

void HexFindDialog::Present()
{
    show();
    raise();
    activateWindow();
    what_->setFocus();
    what_->selectAll();
}

QString HexFindDialog::What() const { return what_->text(); }
void HexFindDialog::SetWhat(const QString& text) { what_->setText(text); }
bool HexFindDialog::IsHex() const { return hex_->isChecked(); }
void HexFindDialog::SetHex(bool hex) { (hex ? hex_ : text_)->setChecked(true); }
QString HexFindDialog::Status() const { return status_->text(); }

void HexFindDialog::SetStatus(const QString& text)
{
    status_->setText(text);
    // A screen reader hears the outcome without moving to the line.
    QAccessibleEvent changed(status_, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void HexFindDialog::SetSearching(bool searching)
{
    searching_ = searching;
    stop_->setEnabled(searching);
    if (!searching && stop_->hasFocus())
        next_->setFocus();
}

void HexFindDialog::reject()
{
    // Closing the window (Close, Escape) also stops its search.
    if (searching_)
        emit stop();
    QDialog::reject();
}

} // namespace plat
