#include "serial/SerialConfigDlg.h"

#include "resources/Resources.h"
#include "serial/ComName.h"

#include <QComboBox>
#include <filesystem>
#include <system_error>

namespace {

enum : int {
    IDOK = 1,
    IDCANCEL = 2,
    IDC_CB_COM_PORT = 1028,
    IDC_CB_BAUD_RATE = 1029,
    IDC_CB_DATA_BITS = 1030,
    IDC_CB_PARITY = 1031,
    IDC_CB_STOP_BITS = 1032,
    IDC_CB_HANDSHAKING = 1033,
};

// "/dev/ttyS0", or a mapping link with what it points at.
QString DeviceDescription(int port)
{
    const std::string path = ResolveComName("COM" + std::to_string(port));
    if (path.empty())
        return QStringLiteral("No device is mapped to this port");
    std::error_code error;
    const auto target = std::filesystem::read_symlink(path, error);
    if (error)
        return QString::fromStdString(path);
    return QString::fromStdString(path + " -> " + target.string());
}

} // namespace

int BaudRateIndex(std::int32_t baudRate)
{
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
        if (kBaudRates[i] == baudRate)
            return static_cast<int>(i);
    return -1;
}

CSerialConfigDlg::CSerialConfigDlg(QWidget* parent) : plat::TemplateDialog(plat::BuiltInDialogTemplate(res::kSerialConfigTemplate), parent)
{
    setModal(true);
    DoDataExchange();
    OnClicked(IDOK, [this] { OnOK(); });
    OnClicked(IDCANCEL, [this] { reject(); });
    // The port list's tooltip names the device of the selected port.
    if (auto* list = ControlAs<QComboBox>(IDC_CB_COM_PORT))
        connect(list, &QComboBox::currentIndexChanged, list,
                [list](int index) { list->setToolTip(list->itemData(index, Qt::ToolTipRole).toString()); });
}

void CSerialConfigDlg::SetSettings(int comPort, int baudIndex, int dataBitsIndex, int parity, int stopBits,
                                   int handshaking)
{
    m_comPort = comPort;
    m_baudIndex = baudIndex;
    m_dataBitsIndex = dataBitsIndex;
    m_parity = parity;
    m_stopBits = stopBits;
    m_handshaking = handshaking;
}

int CSerialConfigDlg::DoModal()
{
    OnInitDialog();
    return exec() == QDialog::Accepted ? kOk : kCancel;
}

void CSerialConfigDlg::DoDataExchange()
{
    m_cbComPort.Bind(this, IDC_CB_COM_PORT);
    m_cbBaudRate.Bind(this, IDC_CB_BAUD_RATE);
    m_cbDataBits.Bind(this, IDC_CB_DATA_BITS);
    m_cbParity.Bind(this, IDC_CB_PARITY);
    m_cbStopBits.Bind(this, IDC_CB_STOP_BITS);
    m_cbHandshaking.Bind(this, IDC_CB_HANDSHAKING);
}

bool CSerialConfigDlg::OnInitDialog()
{
    // Every name is offered whether or not such a device exists.
    if (GetCount(IDC_CB_COM_PORT) == 0)
        for (int port = 1; port <= kPortCount; ++port)
            InsertString(IDC_CB_COM_PORT, port - 1, QString::asprintf("COM%d", port));
    ShowDevicePaths();

    // An index outside a list leaves it without a selection.
    SetCurSel(IDC_CB_COM_PORT, m_comPort - 1);
    SetCurSel(IDC_CB_BAUD_RATE, m_baudIndex);
    SetCurSel(IDC_CB_DATA_BITS, m_dataBitsIndex);
    SetCurSel(IDC_CB_PARITY, m_parity);
    SetCurSel(IDC_CB_STOP_BITS, m_stopBits);
    SetCurSel(IDC_CB_HANDSHAKING, m_handshaking);
    return true;
}

void CSerialConfigDlg::ShowDevicePaths()
{
    auto* list = ControlAs<QComboBox>(IDC_CB_COM_PORT);
    if (list == nullptr)
        return;
    for (int port = 1; port <= list->count(); ++port)
        list->setItemData(port - 1, DeviceDescription(port), Qt::ToolTipRole);
    list->setToolTip(list->itemData(list->currentIndex(), Qt::ToolTipRole).toString());
}

void CSerialConfigDlg::OnOK()
{
    const int portIndex = GetCurSel(IDC_CB_COM_PORT);
    m_comPort = portIndex < 0 ? 0 : portIndex + 1;
    m_baudIndex = GetCurSel(IDC_CB_BAUD_RATE);
    m_dataBitsIndex = GetCurSel(IDC_CB_DATA_BITS);
    m_parity = GetCurSel(IDC_CB_PARITY);
    m_stopBits = GetCurSel(IDC_CB_STOP_BITS);
    m_handshaking = GetCurSel(IDC_CB_HANDSHAKING);
    accept();
}
