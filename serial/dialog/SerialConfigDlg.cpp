#include "serial/dialog/SerialConfigDlg.h"

#include "resources/Resources.h"
#include "serial/devices/ComAssignment.h"
#include "serial/devices/ComName.h"
#include "serial/devices/ComNameTable.h"
#include "serial/devices/SerialDeviceSource.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QEvent>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QStylePainter>
#include <filesystem>
#include <map>
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

// "/dev/ttyS0", or a mapping link with what it points at, or the device the port's number was
// given to, whose link the port's first opening makes.
QString DeviceDescription(int port)
{
    const std::string path = ResolveComName("COM" + std::to_string(port));
    if (path.empty()) {
        const std::string given = GivenComDevice(port);
        return given.empty() ? QStringLiteral("No device is mapped to this port") : QString::fromStdString(given);
    }
    std::error_code error;
    const auto target = std::filesystem::read_symlink(path, error);
    if (error)
        return QString::fromStdString(path);
    return QString::fromStdString(path + " -> " + target.string());
}

// The closed port list is as narrow as its template says: it shows the COM name alone, while
// the open list and the accessible value carry what the port is.
class ComNameOnly : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* list = qobject_cast<QComboBox*>(watched);
        if (list == nullptr || event->type() != QEvent::Paint)
            return false;
        QStylePainter painter(list);
        QStyleOptionComboBox option;
        option.initFrom(list);
        option.editable = false;
        option.frame = true;
        option.currentText = list->currentText().section(QLatin1Char(' '), 0, 0);
        if (list->view()->isVisible())
            option.state |= QStyle::State_On;
        painter.drawComplexControl(QStyle::CC_ComboBox, option);
        painter.drawControl(QStyle::CE_ComboBoxLabel, option);
        return true;
    }
};

} // namespace

int BaudRateIndex(std::int32_t baudRate)
{
    for (std::size_t i = 0; i < kBaudRates.size(); ++i)
        if (kBaudRates[i] == baudRate)
            return static_cast<int>(i);
    return -1;
}

CSerialConfigDlg::CSerialConfigDlg(QWidget* parent)
    : plat::TemplateDialog(plat::BuiltInDialogTemplate(res::kSerialConfigTemplate), parent),
      m_deviceSource(OpenSerialDeviceSource())
{
    setModal(true);
    DoDataExchange();
    OnClicked(IDOK, [this] { OnOK(); });
    OnClicked(IDCANCEL, [this] { reject(); });
    // The port list's tooltip names the device of the selected port.
    if (auto* list = ControlAs<QComboBox>(IDC_CB_COM_PORT)) {
        list->installEventFilter(new ComNameOnly(list));
        connect(list, &QComboBox::currentIndexChanged, list,
                [list](int index) { list->setToolTip(list->itemData(index, Qt::ToolTipRole).toString()); });
    }
}

CSerialConfigDlg::~CSerialConfigDlg() = default;

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
    // Modal to its window only: a box a worker raises meanwhile still takes a person's keys.
    setWindowModality(Qt::WindowModal);
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
    ShowPresentPorts();
    WatchDevices();

    // An index outside a list leaves it without a selection.
    SetCurSel(IDC_CB_COM_PORT, m_comPort - 1);
    SetCurSel(IDC_CB_BAUD_RATE, m_baudIndex);
    SetCurSel(IDC_CB_DATA_BITS, m_dataBitsIndex);
    SetCurSel(IDC_CB_PARITY, m_parity);
    SetCurSel(IDC_CB_STOP_BITS, m_stopBits);
    SetCurSel(IDC_CB_HANDSHAKING, m_handshaking);
    return true;
}

void CSerialConfigDlg::ShowPresentPorts()
{
    auto* list = ControlAs<QComboBox>(IDC_CB_COM_PORT);
    if (list == nullptr)
        return;
    std::map<int, std::string> present;
    for (const PresentPort& port : AssignComPorts(PresentSerialDevices(*m_deviceSource)))
        present.emplace(port.comNumber, port.device.Summary());
    QFont bold = list->font();
    bold.setBold(true);
    for (int port = 1; port <= list->count(); ++port) {
        const auto found = present.find(port);
        QString text = QString::asprintf("COM%d", port);
        if (found != present.end())
            text += "  " + QString::fromStdString(found->second);
        list->setItemText(port - 1, text);
        list->setItemData(port - 1, found != present.end() ? QVariant(bold) : QVariant(), Qt::FontRole);
        list->setItemData(port - 1, DeviceDescription(port), Qt::ToolTipRole);
    }
    list->setToolTip(list->itemData(list->currentIndex(), Qt::ToolTipRole).toString());
    // The closed list keeps the template's width; the open one is as wide as its longest item.
    QAbstractItemView* view = list->view();
    view->setMinimumWidth(view->sizeHintForColumn(0) + view->verticalScrollBar()->sizeHint().width());
}

void CSerialConfigDlg::WatchDevices()
{
    if (m_deviceWatch != nullptr)
        return;
    const int descriptor = m_deviceSource->ChangeDescriptor();
    if (descriptor < 0)
        return;
    m_deviceWatch = new QSocketNotifier(descriptor, QSocketNotifier::Read, this);
    connect(m_deviceWatch, &QSocketNotifier::activated, this, [this] {
        if (m_deviceSource->TakeChanges())
            ShowPresentPorts();
    });
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
