#pragma once
// The modem lines of an open serial device, as the line controls need them: a seam, so that the
// logic above is tried with a device of a test's own. Every call returns 0 or an errno. No Qt.

// Line bits, as the system numbers them.
enum ModemLine : int {
    LineDtr = 0x002,
    LineRts = 0x004,
    LineCts = 0x020,
    LineDcd = 0x040,
    LineRi = 0x080,
    LineDsr = 0x100,
};

class LineDevice {
public:
    virtual ~LineDevice() = default;
    // Any thread, until Wake.
    virtual int GetLines(int& lines) = 0;
    virtual int SetLines(int lines, bool active) = 0;
    virtual int SetBreak(bool on) = 0;
    // Ring indicator edges counted by the driver since it was opened.
    virtual int RingCount(long& count) = 0;
    // The waiter thread: blocks until one of the input lines changes; fails at once after Wake.
    virtual int WaitForChange() = 0;
    // Any thread: ends a WaitForChange blocked now or called later.
    virtual void Wake() = 0;
};
