#include "tests/settings/SettingsWindow.h"

#include "platform/toolkit/FileDialogs.h"
#include "resources/ControlIds.h"

#include <QComboBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

SettingsWindowTest::SettingsWindowTest()
{
    m_machineEnv = std::make_unique<ScopedEnv>("RELVANTO_MACHINE_STORE", MachineFolder());
    m_userEnv = std::make_unique<ScopedEnv>("RELVANTO_USER_STORE", UserFolder());
    plat::SetMessageBoxHook([this](const plat::MessageBoxCall& call) {
        std::lock_guard guard(m_boxLock);
        m_boxes.push_back(call);
    });
}

SettingsWindowTest::~SettingsWindowTest()
{
    dlg.reset();
    plat::SetMessageBoxHook(nullptr);
    plat::SetFileDialogHook(nullptr);
}

void SettingsWindowTest::OpenWindow()
{
    dlg = std::make_unique<TestMainDlg>();
    dlg->show();
    Settle();
}

void SettingsWindowTest::MakeStoreUnwritable()
{
    WriteFile(m_root.Path() + "/plain-file", "not a folder");
    // The old setting goes first: its end restores the variable.
    m_machineEnv.reset();
    m_userEnv.reset();
    m_machineEnv = std::make_unique<ScopedEnv>("RELVANTO_MACHINE_STORE", m_root.Path() + "/plain-file/machine");
    m_userEnv = std::make_unique<ScopedEnv>("RELVANTO_USER_STORE", m_root.Path() + "/plain-file/user");
}

void SettingsWindowTest::MapComPort(int port, const std::string& device)
{
    const std::string folder = MachineFolder() + "/dosdevices";
    std::filesystem::create_directories(folder);
    std::filesystem::create_symlink(device, folder + "/com" + std::to_string(port));
}

void SettingsWindowTest::WriteMachineKey(const std::string& text)
{
    std::filesystem::create_directories(MachineFolder() + "/Software");
    WriteFile(MachineKeyFile(), text);
}

std::vector<plat::MessageBoxCall> SettingsWindowTest::Boxes()
{
    std::lock_guard guard(m_boxLock);
    return m_boxes;
}

std::vector<QString> SettingsWindowTest::BoxTexts()
{
    std::vector<QString> texts;
    for (const auto& box : Boxes())
        texts.push_back(box.text);
    return texts;
}

void SettingsWindowTest::ClearBoxes()
{
    std::lock_guard guard(m_boxLock);
    m_boxes.clear();
}

void SettingsWindowTest::Click(int id)
{
    auto* button = dlg->ControlAs<QAbstractButton>(id);
    ASSERT_NE(button, nullptr);
    ASSERT_TRUE(button->isEnabled());
    QTest::mouseClick(button, Qt::LeftButton);
    Settle();
}

bool SettingsWindowTest::ChangeSetting(const std::function<void(CSerialConfigDlg&)>& answer)
{
    bool shown = false;
    // The dialog runs its own event loop inside the click: answer it from there.
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, poll, [&shown, answer, poll] {
        auto* config = qobject_cast<CSerialConfigDlg*>(QApplication::activeModalWidget());
        if (config == nullptr || !config->isVisible())
            return;
        poll->stop();
        shown = true;
        answer(*config);
    });
    poll->start(5);
    // The RS-232 mode box enables the button; that is the link control's business, not tested here.
    dlg->Enable(IDC_CHANGE_SETTING, true);
    Settle();
    Click(IDC_CHANGE_SETTING);
    delete poll;
    return shown;
}

void SettingsWindowTest::AnswerFileDialog(std::optional<QString> path)
{
    plat::SetFileDialogHook([path](plat::FileDialogKind) { return path; });
}

void SettingsWindowTest::Settle()
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

std::string SettingsWindowTest::ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void SettingsWindowTest::WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

void SelectInDialog(CSerialConfigDlg& dlg, int listId, int index)
{
    auto* list = dlg.ControlAs<QComboBox>(listId);
    ASSERT_NE(list, nullptr);
    list->setCurrentIndex(index);
}

void PressDialogButton(CSerialConfigDlg& dlg, int buttonId)
{
    auto* button = dlg.ControlAs<QPushButton>(buttonId);
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
}
