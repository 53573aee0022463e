#pragma once
// The application: prepares the process, then runs the main window until it closes.

#include <functional>

class CMainApp {
public:
    // `startSockets` is the socket start-up; tests put a failing one in its place.
    explicit CMainApp(std::function<bool()> startSockets = StartSockets) : m_startSockets(std::move(startSockets)) {}

    // Runs the program; false when it ended without showing the window.
    bool InitInstance();

    // Start-up of the socket layer: a peer that went away must never kill the process, and an IPv4
    // socket must be possible. False when the machine cannot give the program sockets.
    static bool StartSockets();

private:
    std::function<bool()> m_startSockets;
};
