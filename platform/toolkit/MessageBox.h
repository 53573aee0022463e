#pragma once
// Message boxes: the text, one OK button, the exclamation icon, and the program's name as caption.
// Shown from the window's thread the box is modal to its owner; shown from a worker it has no owner
// and blocks only that worker until it is dismissed, while the window stays usable. A person closes
// either with OK, Return, Space or Escape. Since a worker's box is ownerless and not modal, no
// window of the program may be application-modal: it would take every input away from such a box.

#include <QString>
#include <functional>
#include <thread>

class QWidget;

namespace plat {

// The caption of every box: the executable's file name without its extension.
QString ApplicationTitle();

// The exclamation icon is the usual one; the stop icon marks a failure of an operation.
enum class MessageIcon { Exclamation, Stop };

// Shows a box and returns when it has been dismissed (or closed by ShutDownMessageBoxes).
void ShowMessageBox(QWidget* owner, const QString& text);
void ShowMessageBox(QWidget* owner, const QString& text, MessageIcon icon);

// Closes every box that a worker has open or is about to open, releasing those workers; boxes asked
// for afterwards by workers return at once. Used while the window is being destroyed.
void ShutDownMessageBoxes();
// Lets workers show boxes again (a new window).
void ResumeMessageBoxes();

// The seam for tests: while a hook is set, every box goes to it instead of the screen, on the
// thread that asked for it.
struct MessageBoxCall {
    QString text;
    QString caption;
    std::thread::id thread;
    bool onWindowThread = false;
    QWidget* owner = nullptr;
    MessageIcon icon = MessageIcon::Exclamation;
};
using MessageBoxHook = std::function<void(const MessageBoxCall&)>;
void SetMessageBoxHook(MessageBoxHook hook);

} // namespace plat
