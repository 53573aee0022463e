#pragma once
// The serial link: the port, the six settings in use, the opening with them, the close, the trial
// opening of a new choice, and the end of the link when its device is lost. Nothing here touches a
// widget: what the window shows goes through SerialLinkView, and every received byte goes to the
// receive sink.
//
// Openings: the port numbers each of its event threads. A device lost by an opening ends the link
// only while that opening is still the port's current one, so that a loss still on its way cannot
// end a link opened after it.
//
// With reopening chosen, a lost device is waited for (DeviceReturnWatch) and opened again with the
// settings in use when it comes back. While it waits, Stop is enabled as for an open link; Open,
// Close, a trial and unchoosing end the waiting.

#include "core/ReceiveSink.h"
#include "core/SendLinks.h"
#include "serial/link/DeviceReturnWatch.h"
#include "serial/port/SerialReceiver.h"
#include "serial/store/SerialSettingsStore.h"

#include <cstdint>
#include <functional>
#include <string>

// What the serial link shows. Called on the window's thread, except QueueForView.
class SerialLinkView {
public:
    virtual ~SerialLinkView() = default;
    // The State field.
    virtual void ShowSerialState(const std::string& text) = 0;
    // Start enabled and Stop disabled, or the reverse.
    virtual void ShowSerialButtons(bool startEnabled) = 0;
    // A message box; returns when it has been dismissed.
    virtual void ShowSerialMessage(const std::string& text) = 0;
    // The settings in use, whenever they are loaded.
    virtual void ShowSerialSettings(const SerialSettings& settings) = 0;
    // The whole link ends, as when its mode is left: the sends are stopped and the port closed.
    virtual void TearDownLink() = 0;
    // The event thread: runs `work` on the window's thread later, without waiting for it; dropped
    // when the window has gone.
    virtual void QueueForView(std::function<void()> work) = 0;
    // The link opened again by itself after its device came back, and shows "Opened".
    virtual void SerialReopened() {}
};

class SerialLink : public SerialSendLink {
public:
    SerialLink(SerialLinkView& view, CReceiveSink& sink);
    // EndEventThreads must have run.
    ~SerialLink() override;
    SerialLink(const SerialLink&) = delete;
    SerialLink& operator=(const SerialLink&) = delete;

    // Window thread. The settings in use: what was last loaded from the store.
    const SerialSettings& Settings() const { return m_settings; }
    // Window thread. Reads the stored settings into use and shows them.
    void LoadSettings();
    // Window thread. Open: closes the port, then opens it with what is stored and starts its event
    // thread. On success the link shows "Opened"; otherwise the user is told which step the device
    // refused. Returns the status (0 on success).
    std::uint32_t Open();
    // Window thread. Opens with what is stored, without closing first or showing success; the
    // status of the step that failed, 0 once the event thread runs.
    std::uint32_t OpenWithStoredSettings();
    // Window thread. Closes the port; a running event thread is asked to end.
    void Close();
    // Window thread. Change Setting's OK with `chosen`: the link is closed, then the port tries the
    // settings without starting its event thread; only what it accepted is stored and put in use,
    // else the user is told and the previous settings stay. The port is left closed. False, with
    // nothing changed, when no store can be written.
    bool TryNewSettings(const SerialSettings& chosen);
    // Window thread, when the window goes: closes the port and waits for every event thread.
    void EndEventThreads();
    // Window thread. Whether a lost device is opened again when it comes back; off ends a wait.
    void SetReopen(bool on);
    // Window thread. Whether a lost device is being waited for.
    bool WaitingForReturn() const { return m_return.Waiting(); }

    // Send threads.
    std::uint32_t SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                              std::uint32_t waitMs) override;

    // The port itself, for tests.
    CSerialReceiver& Port() { return m_port; }

private:
    // Window thread: the device of `opening` hung up.
    void OnDeviceLost(std::uint64_t opening);
    // Window thread: the device waited for by wait number `wait` is back.
    void OnDeviceBack(std::uint64_t wait);
    // Window thread: ends a wait for the device, so that nothing of it arrives later.
    void EndWaiting();

    SerialLinkView& m_view;
    CReceiveSink& m_sink;
    SerialSettings m_settings;
    CSerialReceiver m_port;
    bool m_reopen = false;
    // The /dev/serial/by-id name of the device last opened; empty when it has none.
    std::string m_identity;
    // Counts the waits begun and ended: a return queued by an ended wait is dropped.
    std::uint64_t m_wait = 0;
    DeviceReturnWatch m_return;
};
