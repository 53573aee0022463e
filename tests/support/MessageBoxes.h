#pragma once
// Finding the message boxes on screen and waiting for them in widget tests.

#include <QApplication>
#include <QMessageBox>
#include <QString>
#include <QTest>

namespace testboxes {

// The shown box with this text, if any.
inline QMessageBox* FindBox(const QString& text)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->text() == text)
            return box;
    return nullptr;
}

// Runs the window's event loop until `done` or about five seconds have passed.
template <class Pred> bool PumpUntil(Pred done)
{
    for (int i = 0; i < 500 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

} // namespace testboxes
