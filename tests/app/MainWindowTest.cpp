#include "AppFixture.h"

#include "app/AboutDlg.h"
#include "platform/hexview/HexView.h"
#include "resources/ControlIds.h"

#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

#include <set>

using MainWindowTest = MainWindowFixture;

TEST_F(MainWindowTest, OpensInTheStateWhereNoLinkIsChosen)
{
    dlg->show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
    EXPECT_EQ(QApplication::focusWidget(), dlg->Control(IDC_MODE_TCP)) << "focus on the first tab stop";
    EXPECT_EQ(dlg->windowTitle(), QStringLiteral("Dovrenix Relvanto"));
    EXPECT_FALSE(dlg->windowIcon().isNull());

    for (int id : {IDC_MODE_TCP, IDC_MODE_UDP, IDC_MODE_RS232, IDC_PERIODIC, IDC_AUTO_SCROLL})
        EXPECT_FALSE(Widget<QCheckBox>(id)->isChecked()) << id;
    for (int id : {IDC_TCP_SERVER_PORT, IDC_TCP_DEST_PORT, IDC_UDP_SERVER_PORT, IDC_UDP_DEST_PORT}) {
        EXPECT_TRUE(Widget<QLineEdit>(id)->text().isEmpty()) << id;
        EXPECT_TRUE(dlg->Control(id)->isEnabled()) << id;
    }
    EXPECT_EQ(dlg->GetAddress(IDC_TCP_DEST_IP), 0u);
    EXPECT_EQ(dlg->GetAddress(IDC_UDP_DEST_IP), 0u);

    const std::pair<int, const char*> serial[] = {
        {IDC_SERIAL_PORT, "COM1"},          {IDC_SERIAL_BAUD, "19200"},       {IDC_SERIAL_DATA_BITS, "8 bits"},
        {IDC_SERIAL_PARITY, "No Parity"},   {IDC_SERIAL_STOP_BITS, "1 Stop Bit"},
        {IDC_SERIAL_HANDSHAKING, "No Handshaking"}};
    for (const auto& [id, text] : serial) {
        EXPECT_EQ(Widget<QLineEdit>(id)->text(), QString::fromLatin1(text));
        EXPECT_TRUE(Widget<QLineEdit>(id)->isReadOnly());
    }

    for (int id : {IDC_START, IDC_STOP}) {
        EXPECT_EQ(Widget<QPushButton>(id)->text(), QStringLiteral("No Select"));
        EXPECT_FALSE(dlg->Control(id)->isEnabled());
    }
    EXPECT_FALSE(dlg->Control(IDC_CHANGE_SETTING)->isEnabled());
    EXPECT_TRUE(Widget<QLineEdit>(IDC_STATE)->text().isEmpty());
    EXPECT_EQ(Widget<QLineEdit>(IDC_RECEIVED_STATE)->text(), QStringLiteral("No Running"));
    EXPECT_EQ(Widget<QLineEdit>(IDC_SENDER_STATE)->text(), QStringLiteral("No Running"));
    EXPECT_FALSE(dlg->Control(IDC_PERIOD)->isEnabled());
    EXPECT_TRUE(Widget<QLineEdit>(IDC_PERIOD)->text().isEmpty());
    EXPECT_TRUE(dlg->Control(IDC_SEND)->isEnabled());
    EXPECT_FALSE(dlg->Control(IDC_SEND_STOP)->isEnabled());
    EXPECT_EQ(dlg->GetText(IDC_SEND_STOP), QStringLiteral("Stop "));
    for (int id : {IDC_CLEAR_RECEIVED, IDC_SAVE_RECEIVED, IDC_CLEAR_SENDING, IDC_SAVE_SENDING, IDC_LOAD})
        EXPECT_TRUE(dlg->Control(id)->isEnabled()) << id;
    EXPECT_EQ(dlg->Owners().received.Block().Size(), 0u);
    EXPECT_EQ(dlg->Owners().sending.Block().Size(), 0u);
    EXPECT_NE(dlg->Control(IDC_HEX_RECEIVED), nullptr);
    EXPECT_NE(dlg->Control(IDC_HEX_SENDING), nullptr);
}

TEST_F(MainWindowTest, TheWindowMenuOpensTheAboutBoxAndOkClosesIt)
{
    dlg->show();
    QMenu* menu = dlg->BuildWindowMenu();
    const auto actions = menu->actions();
    ASSERT_GE(actions.size(), 2);
    EXPECT_TRUE(actions[actions.size() - 2]->isSeparator());
    EXPECT_EQ(actions.last()->text(), QStringLiteral("Dovrenix Relvanto About(&A)..."));

    QString caption, version;
    bool modalOverMain = false;
    QTimer::singleShot(50, [&] {
        auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
        if (about == nullptr)
            return;
        caption = about->windowTitle();
        modalOverMain = about->parentWidget() == dlg.get();
        for (auto* label : about->findChildren<QLabel*>())
            if (label->text().startsWith(QStringLiteral("Dovrenix Relvanto Version")))
                version = label->text();
        QTest::mouseClick(about->ControlAs<QPushButton>(1), Qt::LeftButton);
    });
    actions.last()->trigger();     // returns when the box has closed
    delete menu;
    EXPECT_EQ(caption, QStringLiteral("Dovrenix Relvanto Information"));
    EXPECT_EQ(version, QStringLiteral("Dovrenix Relvanto Version 1.0.0"));
    EXPECT_TRUE(modalOverMain);
    EXPECT_TRUE(dlg->isVisible());
}

TEST_F(MainWindowTest, EnterAndEscapeInTheAboutBoxCloseItButNotTheMainWindow)
{
    dlg->show();
    for (auto key : {Qt::Key_Return, Qt::Key_Escape}) {
        bool closedByKey = false;
        QTimer::singleShot(50, [&] {
            if (auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget())) {
                QTest::keyClick(about, key);
                closedByKey = !about->isVisible();
            }
        });
        CAboutDlg about(dlg.get());
        about.exec();
        EXPECT_TRUE(closedByKey) << key;
    }
    // The same keys anywhere in the main window change nothing.
    for (int id : {IDC_MODE_TCP, IDC_TCP_SERVER_PORT, IDC_SEND, IDC_HEX_SENDING})
        for (auto key : {Qt::Key_Return, Qt::Key_Escape})
            QTest::keyClick(dlg->Control(id), key);
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->Owners().sending.Block().Size(), 0u);
    EXPECT_TRUE(Boxes().empty()) << "Enter did not press Send";
}

TEST_F(MainWindowTest, ClosingTheWindowEndsTheClearWorker)
{
    auto countThreads = [] { return QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(); };
    const auto before = countThreads();
    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    QTest::mouseClick(dlg->Control(IDC_CLEAR_RECEIVED), Qt::LeftButton);
    EXPECT_TRUE(dlg->Owners().received.ClearWorkerStarted());
    EXPECT_EQ(countThreads(), before + 1) << "several clicks start one worker";
    dlg->close();
    dlg.reset();
    EXPECT_EQ(countThreads(), before);
}

TEST_F(MainWindowTest, EveryControlOfTheTemplateIsThereWithItsKindCaptionAndTabPlace)
{
    struct Expected {
        int id;
        const char* kind;
        const char* caption;
    };
    const Expected controls[] = {
        {1000, "QCheckBox", "TCP Server/Client"}, {1001, "QCheckBox", "UDP Server/Client"},
        {1002, "QCheckBox", "RS-232"},            {1003, "QLineEdit", ""},
        {1005, "plat::Ipv4AddressEdit", ""},   {1004, "QLineEdit", ""},
        {1006, "QLineEdit", ""},                  {1008, "plat::Ipv4AddressEdit", ""},
        {1007, "QLineEdit", ""},                  {1009, "QLineEdit", "COM1"},
        {1010, "QLineEdit", "19200"},             {1011, "QLineEdit", "8 bits"},
        {1012, "QLineEdit", "No Parity"},         {1013, "QLineEdit", "1 Stop Bit"},
        {1014, "QLineEdit", "No Handshaking"},    {1015, "QPushButton", "Change \r\nSetting"},
        {1025, "QPushButton", "No Select"},       {1020, "QPushButton", "Save"},
        {1018, "plat::HexView", ""},              {1022, "QCheckBox", "Periodic"},
        {1023, "QLineEdit", ""},                  {1024, "QPushButton", "Send"},
        {1026, "QPushButton", "Stop "},           {1021, "QPushButton", "Load"},
        {1016, "plat::HexView", ""},              {1027, "QLineEdit", ""},
        {1028, "QPushButton", "No Select"},       {1029, "QPushButton", "Clear"},
        {1030, "QPushButton", "Clear"},           {1031, "QPushButton", "Save"},
        {1032, "QLineEdit", "No Running"},        {1033, "QLineEdit", "No Running"},
        {1034, "QCheckBox", "Auto Scroll"},
    };
    const std::set<int> disabled = {1015, 1025, 1023, 1026, 1028};
    std::vector<int> templateOrder;
    for (const auto& c : controls) {
        QWidget* w = dlg->Control(c.id);
        ASSERT_NE(w, nullptr) << c.id;
        EXPECT_STREQ(w->metaObject()->className(), c.kind) << c.id;
        EXPECT_EQ(dlg->GetText(c.id), QString::fromLatin1(c.caption)) << c.id;
        EXPECT_EQ(w->isEnabled(), !disabled.contains(c.id)) << c.id;
        templateOrder.push_back(c.id);
    }
    EXPECT_EQ(dlg->ControlsInOrder().size(), std::size(controls)) << "no control more or less";

    // The focus chain visits the controls in template order, whatever their enabled state.
    std::vector<int> chain;
    QWidget* start = dlg->Control(1000);
    QWidget* w = start;
    do {
        for (const auto& c : controls)
            if (dlg->Control(c.id) == w)
                chain.push_back(c.id);
        w = w->nextInFocusChain();
    } while (w != start && chain.size() < 100);
    EXPECT_EQ(chain, templateOrder);
}
