#pragma once
// The folders of the settings store. The machine-wide one holds what every user shares; the
// per-user one takes what a user cannot write there, and is looked at first. Both can be
// redirected through the environment so that tests never touch the real ones.

#include <string>

namespace plat {

// RELVANTO_MACHINE_STORE when set, else /etc/xdg/relvanto.
std::string MachineStoreFolder();
// RELVANTO_USER_STORE when set, else $XDG_CONFIG_HOME/relvanto, else $HOME/.config/relvanto.
std::string UserStoreFolder();

} // namespace plat
