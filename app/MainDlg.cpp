#include "app/MainDlg.h"

#include "app/AboutDlg.h"
#include "panes/ui/PaneTextExport.h"
#include "panes/ui/ReceivedTimesMenu.h"
#include "platform/toolkit/MessageBox.h"
#include "resources/ControlIds.h"
#include "resources/Resources.h"

#include <QApplication>

CMainDlg::CMainDlg(QWidget* parent)
    : plat::TemplateDialog(plat::BuiltInDialogTemplate(res::kMainTemplate), parent), m_hIcon(res::LoadIcon(res::kMainIcon))
{
    OnInitDialog();
}

CMainDlg::~CMainDlg()
{
    OnDestroy();
}

bool CMainDlg::OnInitDialog()
{
    DoDataExchange();

    const QString aboutText = res::LoadString(res::kStringAboutMenuItem);
    if (!aboutText.isEmpty()) {
        AppendMenuSeparator();
        AppendMenuItem(IDM_ABOUTBOX, aboutText);
    }
    setWindowIcon(m_hIcon);
    // The panes take the room of a larger window, half the height each.
    SetStretchingControls({{IDC_HEX_RECEIVED, 0.5}, {IDC_HEX_SENDING, 0.5}});
    SetDiscardEnterAndEscape(true);
    // Except where a line ending is chosen: Enter types it in the Sending pane's text column.
    SetEnterTaker([this](QWidget* control) {
        plat::HexView* sending = m_sending.View().View();
        return sending != nullptr && control == sending && sending->TakesEnter();
    });
    m_extras = new LinkExtras(m_link, m_serialLink, m_controls.state.Widget());
    SetBottomRow(m_extras);
    m_link.SetReconnectView(m_extras);
    ConnectHandlers();
    InitWindowState();
    return true;
}

void CMainDlg::DoDataExchange()
{
    m_hexReceived.Attach(qobject_cast<plat::HexView*>(Control(IDC_HEX_RECEIVED)));
    m_sending.Attach(qobject_cast<plat::HexView*>(Control(IDC_HEX_SENDING)), this);
    if (PaneTextExport* exporter = AddPaneMenuEntries(m_hexReceived.View()))
        new ReceivedTimesMenu(m_hexReceived.View(), m_pane, exporter);
    if (plat::HexView* received = m_hexReceived.View())
        m_recording = new ReceivedRecording(received, m_pane,
                                            [this](const QString& text) { m_receivedState.SetRecordingTip(text); });
    m_controls.Bind(this);
}

void CMainDlg::ConnectHandlers()
{
    OnClicked(IDC_CLEAR_RECEIVED, [this] { OnClearReceived(); });
    OnClicked(IDC_MODE_TCP, [this] { OnModeTcp(); });
    OnClicked(IDC_MODE_UDP, [this] { OnModeUdp(); });
    OnClicked(IDC_MODE_RS232, [this] { OnModeRs232(); });
    OnClicked(IDC_START, [this] { OnStartLink(); });
    OnClicked(IDC_STOP, [this] { OnStopLink(); });
    OnClicked(IDC_SEND, [this] { OnSend(); });
    OnClicked(IDC_SEND_STOP, [this] { OnSendStop(); });
    OnClicked(IDC_PERIODIC, [this] { OnPeriodic(); });
    OnClicked(IDC_CLEAR_SENDING, [this] { OnClearSending(); });
    OnClicked(IDC_CHANGE_SETTING, [this] { OnChangeSetting(); });
    OnClicked(IDC_SAVE_RECEIVED, [this] { OnSaveReceived(); });
    OnClicked(IDC_SAVE_SENDING, [this] { OnSaveSending(); });
    OnClicked(IDC_LOAD, [this] { OnLoad(); });
    QObject::connect(m_sending.View().View(), &plat::HexView::editFailedForMemory, this,
                     [this] { OnSendingEditFailedForMemory(); });
}

void CMainDlg::InitWindowState()
{
    m_sending.Block().MakeEmptyArray();
    m_hexReceived.BindData(&m_pane.Block(), 0);
    m_sending.View().BindData(&m_sending.Block(), 0);
    m_hexReceived.UpdateView(CHexeditctrl1::kFirstDraw);
    m_sending.View().UpdateView(CHexeditctrl1::kFirstDraw);

    m_serialLink.LoadSettings();
    ResetLinkControls();
}

void CMainDlg::OnSysCommand(int commandId)
{
    if ((commandId & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg about(this);
        about.exec();
        return;
    }
    plat::TemplateDialog::OnSysCommand(commandId);
}

void CMainDlg::done(int result)
{
    // A recording still writing is shown finishing; the window closes once it has.
    if (m_recording && m_recording->FinishBeforeClose([this, result] { done(result); }))
        return;
    plat::TemplateDialog::done(result);
}

void CMainDlg::OnDestroy()
{
    if (m_destroyed)
        return;
    m_destroyed = true;
    // From here on the controls count as gone: a worker still delivering skips its redraws.
    MarkControlsGone();
    TearDownLink();
    // The teardown asked every send to stop; this also ends a periodic send's pause at once.
    m_sends.Quit();

    // No worker may touch the window after this: wake the ones blocked in a message box, then join.
    // The sends first: they use the link sockets and the serial port. The receivers before the
    // pane they deliver to.
    plat::ShutDownMessageBoxes();
    m_sends.JoinWorkers();
    m_serialLink.EndEventThreads();
    m_link.JoinWorkers();
    m_pane.EndClearWorker();
    // The one wait for the disk: the program must not end before the recorded files are complete.
    m_pane.FinishRecordings();
    plat::ResumeMessageBoxes();

    // The byte blocks are members and go before the views, which are child widgets: the views let
    // go of them first.
    if (plat::HexView* view = m_hexReceived.View()) {
        view->SetMarkSource(nullptr); // the times' source reads the pane, which goes first
        view->SetBlock(nullptr);
    }
    m_sending.Detach();
}
