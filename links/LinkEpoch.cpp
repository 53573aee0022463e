// Link epochs: which worker may still publish a socket, touch Start and Stop, or write the State.
#include "app/MainDlg.h"

#include "platform/toolkit/WindowThread.h"

#include <vector>

bool CMainDlg::IsLinkCurrent(std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_csLink);
    return linkEpoch == m_nLinkEpoch;
}

bool CMainDlg::PublishLinkSocket(plat::SocketSlot& slot, plat::SocketRef socket, std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_csLink);
    if (linkEpoch != m_nLinkEpoch)
        return false;
    slot.Set(std::move(socket));
    return true;
}

void CMainDlg::ReleaseLinkSocket(plat::SocketSlot& slot, const plat::SocketRef& socket)
{
    // Under the lock that every publish takes, so a socket of a later Start is never taken.
    std::lock_guard guard(m_csLink);
    if (socket && slot.Get() == socket)
        slot.Take();
}

void CMainDlg::ShowLinkState(std::uint64_t linkEpoch, const QString& text)
{
    // Written under the lock so that it cannot land after the texts of a later Start's worker.
    std::lock_guard guard(m_csLink);
    if (linkEpoch == m_nStartEpoch)
        m_editState.SetWindowText(text);
}

void CMainDlg::ShowLinkButtons(std::uint64_t linkEpoch, bool startEnabled)
{
    // The epoch is checked where the buttons are set, on the window's thread: otherwise a "Start
    // disabled" still on its way lands after the teardown of a Stop has enabled Start again.
    plat::RunOnWindowThread(this, [this, linkEpoch, startEnabled] {
        if (!IsLinkCurrent(linkEpoch))
            return;
        m_btnStart.EnableWindow(startEnabled);
        m_btnStop.EnableWindow(!startEnabled);
    });
}

bool CMainDlg::IsLatestStart(std::uint64_t linkEpoch)
{
    std::lock_guard guard(m_csLink);
    return linkEpoch == m_nStartEpoch;
}

std::uint64_t CMainDlg::BeginLinkStart()
{
    // Start is enabled while a worker of an earlier Start may still be connecting or about to
    // listen or bind. That attempt is given up: its sockets are taken and shut down, so it ends and
    // leaves no socket in a member that the new worker needs (the port of a socket left behind by a
    // failed listen is freed too). A UDP send socket that no receive loop uses stays for the
    // receive loop to take over.
    std::vector<plat::SocketRef> abandoned;
    std::uint64_t epoch;
    {
        std::lock_guard guard(m_csLink);
        epoch = ++m_nLinkEpoch;
        m_nStartEpoch = epoch;
        for (plat::SocketSlot* slot : {&m_sockTcpListen, &m_sockTcpConn}) {
            if (plat::SocketRef socket = slot->Take())
                abandoned.push_back(std::move(socket));
        }
        if (plat::SocketRef udp = m_sockUdpRecv.Take()) {
            if (m_sockUdpSend.Get() == udp)
                m_sockUdpSend.Take();
            abandoned.push_back(std::move(udp));
        }
    }
    for (const plat::SocketRef& socket : abandoned)
        socket->Shutdown();
    return epoch;
}
