#pragma once
// A real main window over a redirected settings store: both store folders are fresh temporary
// folders, so nothing touches the real ones. Every message box is recorded, file dialogs are
// answered by the test, and the serial configuration dialog can be answered while it runs.

#include "app/MainDlg.h"
#include "platform/toolkit/MessageBox.h"
#include "serial/dialog/SerialConfigDlg.h"
#include "tests/serial/SerialTestSupport.h"

#include <QApplication>
#include <QTest>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// The window with the operations that other commands call made reachable.
class TestMainDlg : public CMainDlg {
public:
    using CMainDlg::OpenSerialWithSettings;
};

class SettingsWindowTest : public ::testing::Test {
public:
    static std::string ReadFile(const std::string& path);
    static void WriteFile(const std::string& path, const std::string& bytes);

protected:
    SettingsWindowTest();
    ~SettingsWindowTest() override;

    // Builds the window: the store is read now, so prepare it first.
    void OpenWindow();
    void CloseWindow() { dlg.reset(); }

    std::string MachineFolder() const { return m_root.Path() + "/machine"; }
    std::string UserFolder() const { return m_root.Path() + "/user"; }
    std::string MachineKeyFile() const { return MachineFolder() + "/Software/Relvanto.reg"; }
    std::string UserKeyFile() const { return UserFolder() + "/Software/Relvanto.reg"; }
    std::string Scratch() const { return m_root.Path(); }
    // Points both store folders below a regular file, where nothing can be created, even by root.
    void MakeStoreUnwritable();
    // Maps COMn to a device path through the machine-wide dosdevices folder.
    void MapComPort(int port, const std::string& device);
    // Writes the machine-wide key file as given.
    void WriteMachineKey(const std::string& text);

    std::vector<plat::MessageBoxCall> Boxes();
    std::vector<QString> BoxTexts();
    void ClearBoxes();

    // Clicks a control of the main window.
    void Click(int id);
    // Clicks Change Setting; `answer` runs on the dialog while it is shown and then presses a button.
    // True when the dialog was shown.
    bool ChangeSetting(const std::function<void(CSerialConfigDlg&)>& answer);
    // Answers the next file dialogs with this path (nothing: cancel).
    void AnswerFileDialog(std::optional<QString> path);

    static void Settle();
    std::unique_ptr<TestMainDlg> dlg;

private:
    TempFolder m_root;
    std::unique_ptr<ScopedEnv> m_machineEnv;
    std::unique_ptr<ScopedEnv> m_userEnv;
    std::mutex m_boxLock;
    std::vector<plat::MessageBoxCall> m_boxes;
};

// Selects list items of the configuration dialog as the user would, then presses OK or Cancel.
void SelectInDialog(CSerialConfigDlg& dlg, int listId, int index);
void PressDialogButton(CSerialConfigDlg& dlg, int buttonId);
