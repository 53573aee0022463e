#pragma once
// The controls a link has beyond the window's template, in one row below it: for a TCP client the
// "Reconnect when the server goes away" box; for a serial link the DTR and RTS toggles, a reset
// pulse, a break, the input lines CTS, DSR, DCD and RI in words, and the "Reopen when the device
// comes back" box. The row shows only in those two
// modes. It also writes the State field's tooltip in them: when the next try comes, or the lines.
// Every function runs on the window's thread unless it says otherwise.

#include "links/LinkSession.h"
#include "serial/link/LineDevice.h"
#include "serial/link/SerialLink.h"
#include "serial/link/ModemLines.h"

#include <QWidget>
#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QToolButton;
class QSpinBox;
class CSerialPort;

class LinkExtras : public QWidget, public ReconnectView, private ModemLinesView {
    Q_OBJECT
public:
    enum class Mode { Other, TcpClient, Serial };

    // `state` is the State field.
    LinkExtras(LinkSession& link, SerialLink& serial, QWidget* state);
    ~LinkExtras() override;

    // The row for the mode the window is in; shown and hidden by the window.
    Mode ShownFor() const { return m_mode; }
    void SetMode(Mode mode);

    // A serial link just opened: its lines, through a descriptor of their own; `hardwareHandshaking`
    // leaves RTS to the driver.
    void BeginLines(CSerialPort& port, bool hardwareHandshaking);
    // Also for a device of a test's own.
    void BeginLines(std::unique_ptr<LineDevice> device, bool hardwareHandshaking);
    // Before the serial port closes.
    void EndLines();
    ModemLines& Lines() { return m_lines; }

    // The connect worker's thread.
    void ShowNextTry(const std::string& line) override;

    static constexpr const char* kNotAvailableText = "not available on this device";

private:
    void BuildReconnect();
    void BuildLines();
    // Any thread: queued for the window's thread, dropped when the lines ended since.
    void ShowLines(const LineState& state) override;
    void ShowLinesProblem(const std::string& text) override;
    void ApplyLines(const LineState& state);
    QString LinesText(const LineState& state) const;

    LinkSession& m_link;
    SerialLink& m_serial;
    QWidget* m_state;
    Mode m_mode = Mode::Other;

    QCheckBox* m_reconnect = nullptr;
    QWidget* m_serialPart = nullptr;
    QToolButton* m_dtr = nullptr;
    QToolButton* m_rts = nullptr;
    QToolButton* m_pulse = nullptr;
    QComboBox* m_pulseLines = nullptr;
    QSpinBox* m_pulseMs = nullptr;
    QToolButton* m_break = nullptr;
    QSpinBox* m_breakMs = nullptr;
    QLabel* m_inputs = nullptr;
    QCheckBox* m_reopen = nullptr;

    bool m_open = false;
    bool m_hardware = false;
    // Counts Begin and End of the lines: a state queued before the latest of them is dropped.
    std::atomic<std::uint64_t> m_linesEpoch{0};
    ModemLines m_lines{*this};
};
