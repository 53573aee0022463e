#pragma once
// The application: prepares the process, then runs the main window until it closes.

class CMainApp {
public:
    // Runs the program; false when it ended without showing the window.
    bool InitInstance();

    // Start-up of the socket layer: a peer that went away must never kill the process, and an IPv4
    // socket must be possible. False when the machine cannot give the program sockets.
    static bool StartSockets();
};
