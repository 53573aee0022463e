#pragma once
// The program's resources: window templates, icons, the string table and the version.

#include <QIcon>
#include <QString>

namespace res {

constexpr int kAboutTemplate = 100;
constexpr int kMainTemplate = 102;
constexpr int kSerialConfigTemplate = 130;
constexpr int kMainIcon = 135;

constexpr int kStringAboutMenuItem = 101;
constexpr int kStringSocketStartFailed = 103;

// Makes the resources reachable; call once before the first window is built.
void InitResources();
// A text of the string table; empty when there is none with that id.
QString LoadString(int id);
// Icon resource `id` (16 and 32 pixel images, and the scalable drawing); a null icon when unknown.
QIcon LoadIcon(int id);
// "1.0.0"
QString VersionText();

} // namespace res
