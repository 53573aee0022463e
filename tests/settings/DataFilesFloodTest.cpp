// Saving the Received pane while bytes keep arriving: the file is the pane as it was when the save
// began, and the pane loses nothing of what arrived meanwhile.
#include "resources/ControlIds.h"
#include "tests/settings/SettingsWindow.h"

#include <atomic>
#include <thread>

namespace {

using DataFilesFlood = SettingsWindowTest;

TEST_F(DataFilesFlood, SaveDuringAFloodWritesAPrefixAndLosesNothing)
{
    OpenWindow();
    // Several mebibytes already there, so the save is still writing while the flood goes on.
    std::string chunk(16384, '\0');
    for (std::size_t i = 0; i < chunk.size(); ++i)
        chunk[i] = static_cast<char>(i * 7 + i / 256);
    auto deliver = [this](const std::string& bytes) {
        dlg->Owners().received.Deliver(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
        dlg->Owners().received.WaitForRoom();
    };
    for (int i = 0; i < 256; ++i)
        deliver(chunk);

    std::atomic<bool> stop{false};
    std::atomic<std::int64_t> sent{256 * 16384};
    std::thread flood([&] {
        for (unsigned round = 0; !stop; ++round) {
            std::string block = chunk.substr(0, 1000 + round % 5000);
            block[0] = static_cast<char>(round);
            deliver(block);
            sent += static_cast<std::int64_t>(block.size());
        }
    });
    while (sent < 256 * 16384 + 1'000'000)
        std::this_thread::yield();
    const std::size_t sizeAtClick = dlg->Owners().received.Block().Size();
    const std::string path = Scratch() + "/flood.bin";
    AnswerFileDialog(QString::fromStdString(path));
    Click(IDC_SAVE_RECEIVED);
    // Let the flood go on past the save before it ends.
    const std::int64_t afterSave = sent;
    while (sent < afterSave + 1'000'000)
        std::this_thread::yield();
    stop = true;
    flood.join();

    const std::string saved = ReadFile(path);
    std::string pane(dlg->Owners().received.Block().Size(), '\0');
    dlg->Owners().received.Block().Read(0, reinterpret_cast<unsigned char*>(pane.data()), pane.size());
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(static_cast<std::int64_t>(pane.size()), sent.load());
    EXPECT_EQ(dlg->Owners().received.Total(), sent.load());
    ASSERT_GE(saved.size(), sizeAtClick);
    ASSERT_LE(saved.size(), pane.size());
    EXPECT_TRUE(pane.compare(0, saved.size(), saved) == 0);
}

} // namespace
