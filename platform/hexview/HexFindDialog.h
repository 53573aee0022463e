#pragma once
// The Find window of a hex view: what to look for (hex bytes or text), Find Next, Find Previous,
// Stop for a long search, and a line that says how the last search went. It does not search
// itself; HexFind does. Window's thread only.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace plat {

class HexFindDialog : public QDialog {
    Q_OBJECT
public:
    // The field holds less than this many characters: one that reaches it may have been cut.
    static constexpr int kMostPatternChars = 1 << 20;

    explicit HexFindDialog(QWidget* parent);

    // Shows the window in front, with the text to look for selected for typing over.
    void Present();
    QString What() const;
    void SetWhat(const QString& text);
    bool IsHex() const;
    void SetHex(bool hex);
    QString Status() const;
    void SetStatus(const QString& text);
    // While a search runs, Stop is offered instead of starting another.
    void SetSearching(bool searching);

signals:
    void findNext();
    void findPrevious();
    void stop();

protected:
    void reject() override;

private:
    QLineEdit* what_;
    QRadioButton* hex_;
    QRadioButton* text_;
    QPushButton* next_;
    QPushButton* previous_;
    QPushButton* stop_;
    QLabel* status_;
    bool searching_ = false;
};

} // namespace plat
