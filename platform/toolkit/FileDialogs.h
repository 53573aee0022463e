#pragma once
// The standard open and save-as file dialogs, with no filter and the read-only box hidden. The
// save dialog asks before it replaces a file. Browsing never reads a file's contents, so no special
// file can block the window. Tests answer them through the seam. Called on the window's thread.

#include <QString>
#include <functional>
#include <optional>

class QWidget;

namespace plat {

enum class FileDialogKind { Open, Save };

// The chosen path, or nothing when the user cancelled.
std::optional<QString> AskForFile(QWidget* owner, FileDialogKind kind);

using FileDialogHook = std::function<std::optional<QString>(FileDialogKind kind)>;
void SetFileDialogHook(FileDialogHook hook);

} // namespace plat
