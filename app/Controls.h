#pragma once
// The program's own control kinds for its templates: the hex view and the icon.

namespace app {

void RegisterControlKinds();

} // namespace app
