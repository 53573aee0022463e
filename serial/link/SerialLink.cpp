// The serial link's openings: with the stored settings for the link, on trial for Change Setting,
// and the end of an opening whose device was lost.
#include "serial/link/SerialLink.h"

#include "serial/devices/ComName.h"
#include "serial/devices/OpenFailure.h"
#include "serial/link/SerialSetup.h"

namespace {

// The trial opening's queues: it never starts the event thread.
constexpr std::uint32_t kTrialQueueSize = 2048;

// What the user is told when `step` refused; `suffix` follows the first sentence of each.
std::string RefusalText(const SerialSetupResult& result, const SerialSettings& settings, const std::string& suffix)
{
    switch (result.failedAt) {
    case SerialSetupStep::Open:
        return WithOpenFailureExplanation("Unable to open COM-port" + suffix, SerialPortName(settings.comPort),
                                          result.status);
    case SerialSetupStep::Handshaking:
        return "Unable to set Handshaking setting" + suffix;
    case SerialSetupStep::LineSettings:
        return "Unable to set COM-port setting" + suffix;
    case SerialSetupStep::Done:
        break;
    }
    return {};
}

} // namespace

SerialLink::SerialLink(SerialLinkView& view, CReceiveSink& sink) : m_view(view), m_sink(sink) {}

SerialLink::~SerialLink() = default;

void SerialLink::LoadSettings()
{
    m_settings = serialstore::Load();
    m_view.ShowSerialSettings(m_settings);
}

std::uint32_t SerialLink::Open()
{
    EndWaiting();
    m_port.Close();
    const std::uint32_t status = OpenWithStoredSettings();
    if (status == 0) {
        m_view.ShowSerialState("Opened");
        m_view.ShowSerialButtons(false);
    }
    return status;
}

std::uint32_t SerialLink::OpenWithStoredSettings()
{
    m_port.AllocateReceiveBuffer();
    m_port.SetOwner(&m_sink);
    // An adapter unplugged while open ends the link as Close does, unless a later Open or a
    // teardown already replaced that opening.
    m_port.SetDeviceLostHandler(
        [this](std::uint64_t opening) { m_view.QueueForView([this, opening] { OnDeviceLost(opening); }); });
    // The link always opens with what is stored; the edits show it.
    LoadSettings();

    const SerialSetupResult result = OpenWithSettings(m_port, m_settings, CSerialReceiver::kReceiveBufferSize);
    if (result.failedAt != SerialSetupStep::Done) {
        // After a refused handshaking or line setting the port stays open without listening; the
        // next Start, Change Setting or teardown closes it.
        m_view.ShowSerialMessage(RefusalText(result, m_settings, ""));
        return result.status;
    }
    if (const std::uint32_t status = m_port.StartEventThread(); status != 0) {
        m_port.Close();
        return status;
    }
    m_identity = DeviceReturnWatch::IdentityOf(ResolveComName(SerialPortName(m_settings.comPort)));
    return 0;
}

void SerialLink::OnDeviceLost(std::uint64_t opening)
{
    if (!m_port.IsCurrentOpening(opening))
        return;
    m_view.TearDownLink();
    m_view.ShowSerialState("Disconnected");
    if (!m_reopen)
        return;
    const std::uint64_t wait = ++m_wait;
    const std::string problem =
        m_return.Begin(SerialPortName(m_settings.comPort), m_identity,
                       [this, wait] { m_view.QueueForView([this, wait] { OnDeviceBack(wait); }); });
    if (!problem.empty()) {
        m_view.ShowSerialMessage("Unable to wait for the device to come back: " + problem);
        return;
    }
    // The link waits as it would run: Stop ends the wait.
    m_view.ShowSerialButtons(false);
}

void SerialLink::OnDeviceBack(std::uint64_t wait)
{
    if (wait != m_wait)
        return;
    // Open ends the finished wait, then opens with what is stored, as Start does.
    if (Open() == 0)
        m_view.SerialReopened();
    else
        m_view.ShowSerialButtons(true); // the refusal was told; Start tries again
}

void SerialLink::EndWaiting()
{
    m_return.End();
    ++m_wait;
}

void SerialLink::SetReopen(bool on)
{
    m_reopen = on;
    if (on || !m_return.Waiting())
        return;
    EndWaiting();
    m_view.ShowSerialButtons(true);
}

void SerialLink::Close()
{
    EndWaiting();
    m_port.Close();
}

bool SerialLink::TryNewSettings(const SerialSettings& chosen)
{
    // A store that cannot be written refuses the change before anything else happens.
    serialstore::Writer store;
    if (!store.Open())
        return false;

    EndWaiting();
    m_port.Close();
    m_view.ShowSerialButtons(true);
    m_view.ShowSerialState("Closed");

    const SerialSetupResult trial = OpenWithSettings(m_port, chosen, kTrialQueueSize);
    if (trial.failedAt == SerialSetupStep::Done) {
        store.Write(chosen);
        store.Close();
        // Reads back what was stored: after a failed write the previous values stay in force.
        LoadSettings();
    } else {
        m_view.ShowSerialMessage(RefusalText(trial, chosen, ". Previous configuration is maintained."));
    }
    m_port.Close();
    return true;
}

void SerialLink::EndEventThreads()
{
    EndWaiting();
    m_port.EndEventThreads();
}

std::uint32_t SerialLink::SerialWrite(const unsigned char* data, std::uint32_t size, std::uint32_t* written,
                                      std::uint32_t waitMs)
{
    return m_port.WriteWithin(data, size, written, waitMs);
}
