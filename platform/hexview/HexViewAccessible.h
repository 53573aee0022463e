#pragma once
// The hex view as assistive technology reads it: editable, multi-line text made of the rows in view
// and as many rows again before and after them (HexRowsText), with the caret and the selection in
// the column the user works in. Window's thread only, as every accessibility call is.

#include "platform/hexview/HexRowsText.h"

#include <QAccessibleWidget>

namespace plat {

class HexView;

class HexViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
public:
    explicit HexViewAccessible(HexView* view);

    // Lets Qt make this interface for every hex view; called once by the first view.
    static void Install();

    // Whether assistive technology listens; nothing is announced otherwise.
    static bool Listening();
    // Passes a view's announcement on to assistive technology.
    static void Announce(QAccessibleEvent* event);
    // Tests take the announcements here instead: offscreen Qt has no accessibility bridge that
    // could listen. nullptr restores the bridge.
    using AnnouncementSink = void (*)(QAccessibleEvent* event);
    static void SetAnnouncementSinkForTests(AnnouncementSink sink);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    using QAccessibleWidget::text;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    HexView* View() const;
};

} // namespace plat
