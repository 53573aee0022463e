#include "bench/links/BenchSupport.h"

#include "app/Controls.h"
#include "panes/ui/ReceivedRecording.h"
#include "platform/hexview/HexView.h"
#include "resources/ControlIds.h"
#include "platform/toolkit/Ipv4AddressEdit.h"
#include "platform/toolkit/FileDialogs.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/Resources.h"

#include <QAbstractButton>
#include <QAction>
#include <QLineEdit>
#include <QMouseEvent>
#include <algorithm>
#include <arpa/inet.h>
#include <sys/resource.h>
#include <time.h>
#include <cerrno>
#include <csignal>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace bench {

const std::vector<unsigned char>& Cyclic()
{
    static const std::vector<unsigned char> bytes = [] {
        std::vector<unsigned char> v((1 << 20) + 13);
        std::uint32_t x = 12345;
        for (auto& b : v) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<unsigned char>(x >> 24);
        }
        return v;
    }();
    return bytes;
}

bool MatchesCyclic(const plat::ByteBlock& block, std::uint64_t size)
{
    if (block.Size() != size)
        return false;
    const auto& cyclic = Cyclic();
    std::vector<unsigned char> chunk(cyclic.size());
    for (std::uint64_t at = 0; at < size; at += chunk.size()) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - at));
        block.Read(at, chunk.data(), n);
        if (!std::equal(chunk.begin(), chunk.begin() + static_cast<long>(n), cyclic.begin()))
            return false;
    }
    return true;
}

std::uint16_t FreePort(int type)
{
    const int fd = ::socket(AF_INET, type, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

double Seconds(Clock::time_point since)
{
    return std::chrono::duration<double>(Clock::now() - since).count();
}

sockaddr_in LoopbackAddress(std::uint16_t port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(port);
    return a;
}

int BindUdp(std::uint16_t port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const sockaddr_in a = LoopbackAddress(port);
    if (fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

std::uint16_t LocalPort(int fd)
{
    sockaddr_in a{};
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

int ConnectTcp(std::uint16_t port)
{
    sockaddr_in a = LoopbackAddress(port);
    const auto end = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < end) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0)
            return fd;
        ::close(fd);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return -1;
}

void SendCyclic(int fd, std::uint64_t total, std::size_t chunk)
{
    const auto& cyclic = Cyclic();
    std::uint64_t sent = 0;
    while (sent < total) {
        const std::size_t offset = static_cast<std::size_t>(sent % cyclic.size());
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({chunk, cyclic.size() - offset, total - sent}));
        const ssize_t w = ::send(fd, cyclic.data() + offset, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            break;
        sent += static_cast<std::uint64_t>(w);
    }
    ::close(fd);
}

namespace {

double Worst(const std::vector<double>& v) { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size())))];
}

} // namespace

void SleepProbe::Start()
{
    Stop();
    m_worstMs = 0;
    m_running = true;
    m_thread = std::thread([this] {
        while (m_running.load()) {
            const auto before = Clock::now();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            const double late = std::chrono::duration<double, std::milli>(Clock::now() - before).count() - 5.0;
            m_worstMs = std::max(m_worstMs, late);
        }
    });
}

void SleepProbe::Stop()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
}

TimerProbe::Mark TimerProbe::Now() const
{
    rusage use{};
    ::getrusage(RUSAGE_THREAD, &use);
    timespec cpu{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    // The scheduler's own account: nanoseconds on a core, nanoseconds ready on a run queue.
    unsigned long long onCore = 0, ready = 0;
    if (FILE* stat = std::fopen("/proc/thread-self/schedstat", "r")) {
        if (std::fscanf(stat, "%llu %llu", &onCore, &ready) != 2)
            ready = 0;
        std::fclose(stat);
    }
    return {m_clock.nsecsElapsed(), static_cast<double>(cpu.tv_sec) * 1e3 + static_cast<double>(cpu.tv_nsec) / 1e6,
            static_cast<double>(ready) / 1e6, use.ru_nvcsw, use.ru_nivcsw};
}

void TimerProbe::Start()
{
    m_lateMs.clear();
    m_worst = {};
    m_timer = std::make_unique<QTimer>();
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(5);
    m_clock.start();
    m_last = Now();
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        const Mark now = Now();
        const double late = std::max(0.0, static_cast<double>(now.at - m_last.at) / 1e6 - 5.0);
        m_lateMs.push_back(late);
        if (late >= m_worst.lateMs)
            m_worst = {late,
                       static_cast<double>(now.at) / 1e6,
                       now.cpuMs - m_last.cpuMs,
                       now.readyMs - m_last.readyMs,
                       now.waits - m_last.waits,
                       now.preemptions - m_last.preemptions};
        m_last = now;
    });
    m_timer->start();
}

void TimerProbe::Stop()
{
    m_timer.reset();
}

double TimerProbe::WorstMs() const { return Worst(m_lateMs); }
double TimerProbe::PercentileMs(double p) const { return Percentile(m_lateMs, p); }

void ClickProbe::Start(QAbstractButton* box)
{
    m_box = box;
    m_waitMs.clear();
    m_postedAt = -1;
    m_clock.start();
    m_toggled = QObject::connect(box, &QAbstractButton::toggled, [this] {
        if (m_postedAt >= 0)
            m_waitMs.push_back(static_cast<double>(m_clock.nsecsElapsed() - m_postedAt) / 1e6);
        m_postedAt = -1;
    });
    m_timer = std::make_unique<QTimer>();
    QObject::connect(m_timer.get(), &QTimer::timeout, [this] {
        if (m_postedAt >= 0)
            return;
        const QPointF centre(m_box->width() / 4.0, m_box->height() / 2.0);
        const QPointF global = m_box->mapToGlobal(centre);
        m_postedAt = m_clock.nsecsElapsed();
        QCoreApplication::postEvent(m_box, new QMouseEvent(QEvent::MouseButtonPress, centre, global, Qt::LeftButton,
                                                           Qt::LeftButton, Qt::NoModifier));
        QCoreApplication::postEvent(m_box, new QMouseEvent(QEvent::MouseButtonRelease, centre, global, Qt::LeftButton,
                                                           Qt::NoButton, Qt::NoModifier));
    });
    m_timer->start(50);
}

void ClickProbe::Stop()
{
    m_timer.reset();
    const auto end = Clock::now() + std::chrono::seconds(1);
    while (m_postedAt >= 0 && Clock::now() < end)
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QObject::disconnect(m_toggled);
}

double ClickProbe::WorstMs() const { return Worst(m_waitMs); }
double ClickProbe::PercentileMs(double p) const { return Percentile(m_waitMs, p); }

void CreateApplication(const char* name)
{
    std::signal(SIGPIPE, SIG_IGN);
    static int argc = 1;
    static char* argv[] = {const_cast<char*>(name), nullptr};
    new QApplication(argc, argv);
    res::InitResources();
    app::RegisterControlKinds();
    // A box would stop the run; every one is printed instead.
    plat::SetMessageBoxHook([](const plat::MessageBoxCall& call) {
        std::fprintf(stderr, "message: %s\n", call.text.toLocal8Bit().constData());
    });
}

std::unique_ptr<CMainDlg> MakeWindow()
{
    auto dlg = std::make_unique<CMainDlg>();
    dlg->show();
    QApplication::processEvents();
    return dlg;
}

void ListenRecordingTo(CMainDlg& dlg, std::uint16_t port, const std::string& path)
{
    Type(dlg, IDC_TCP_SERVER_PORT, QString::number(port));
    Click(dlg, IDC_MODE_TCP);
    plat::SetFileDialogHook([&](plat::FileDialogKind) { return std::optional<QString>(QString::fromStdString(path)); });
    dlg.Owners().recording->RecordAction()->trigger();
    plat::SetFileDialogHook(nullptr);
    Click(dlg, IDC_START);
    RunUntil([&] { return dlg.GetText(IDC_STATE) == QStringLiteral("Listening"); });
}

void Click(CMainDlg& dlg, int id)
{
    QApplication::processEvents();
    dlg.ControlAs<QAbstractButton>(id)->click();
    QApplication::processEvents();
}

void Type(CMainDlg& dlg, int id, const QString& text)
{
    dlg.ControlAs<QLineEdit>(id)->setText(text);
}

void TypeAddress(CMainDlg& dlg, int id, const QString& dotted)
{
    dlg.ControlAs<plat::Ipv4AddressEdit>(id)->SetText(dotted);
}

void FillSending(CMainDlg& dlg, std::size_t size)
{
    plat::ByteBlock& block = dlg.Owners().sending.Block();
    block.Resize(size);
    unsigned char* bytes = block.Hold();
    const auto& cyclic = Cyclic();
    for (std::size_t at = 0; at < size; at += cyclic.size())
        std::copy_n(cyclic.begin(), std::min(cyclic.size(), size - at), bytes + at);
    block.Release();
    dlg.ControlAs<plat::HexView>(IDC_HEX_SENDING)->update();
    QApplication::processEvents();
}

} // namespace bench
