// Export as text: the file reads like the pane, row for row, and a failed or cancelled export
// leaves no half file behind.
#include "platform/hexview/HexExport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace {

class HexExportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/relvanto-export-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        folder = pattern;
        path = folder + "/pane.txt";
    }
    void TearDown() override { std::filesystem::remove_all(folder); }

    void Fill(const std::string& data)
    {
        block.Insert(0, reinterpret_cast<const unsigned char*>(data.data()), data.size());
    }

    int Export(plat::ExportLinesBeforeRow lines = {})
    {
        plat::TextExport how;
        how.end = block.Size();
        how.cancel = &cancel;
        how.bytesDone = &done;
        how.linesBeforeRow = std::move(lines);
        return plat::ExportBlockAsText(block, path, how);
    }

    std::string FileText() const
    {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

    std::string folder;
    std::string path;
    plat::ByteBlock block;
    std::atomic<bool> cancel{false};
    std::atomic<std::uint64_t> done{0};
};

TEST_F(HexExportTest, WritesOneLinePerRowWithOffsetHexAndCharacters)
{
    Fill(std::string("Hello, world!\r\n\x00\x7F\xFF" "AB", 20));
    ASSERT_EQ(Export(), 0);
    EXPECT_EQ(FileText(),
              "00000000  48 65 6C 6C 6F 2C 20 77 6F 72 6C 64 21 0D 0A 00  Hello, world!...\n"
              "00000010  7F FF 41 42                                      ..AB            \n");
    EXPECT_EQ(done.load(), 20u);
}

TEST_F(HexExportTest, AnEmptyPaneGivesAnEmptyFile)
{
    ASSERT_EQ(Export(), 0);
    EXPECT_TRUE(std::filesystem::exists(path));
    EXPECT_EQ(FileText(), "");
}

TEST_F(HexExportTest, LinesBeforeRowsGoWhereTheOwnerPutsThem)
{
    Fill(std::string(40, 'x'));
    ASSERT_EQ(Export([](std::uint64_t start, std::uint64_t end, std::string& out) {
                  if (start <= 20 && 20 < end)
                      out += "-- 20 --\n";
              }),
              0);
    const std::string text = FileText();
    EXPECT_EQ(text.substr(0, text.find('\n')), "00000000  78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78  xxxxxxxxxxxxxxxx");
    EXPECT_NE(text.find("xxxxxxxxxxxxxxxx\n-- 20 --\n00000010"), std::string::npos);
}

TEST_F(HexExportTest, ACancelledExportRemovesItsFile)
{
    Fill(std::string(100, 'x'));
    cancel = true;
    EXPECT_EQ(Export(), ECANCELED);
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(HexExportTest, AFailedOrCancelledExportLeavesTheFileItReplacesAsItWasAndNothingBeside)
{
    { std::ofstream(path) << "earlier contents"; }
    Fill(std::string(100000, 'x'));
    cancel = true;
    EXPECT_EQ(Export(), ECANCELED);
    cancel = false;
    // A file size limit stands in for a disk that fills up part way.
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit was{};
    ::getrlimit(RLIMIT_FSIZE, &was);
    const rlimit small{50000, was.rlim_max};
    ::setrlimit(RLIMIT_FSIZE, &small);
    const int failed = Export();
    ::setrlimit(RLIMIT_FSIZE, &was);
    EXPECT_EQ(failed, EFBIG);
    EXPECT_EQ(FileText(), "earlier contents");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 1) << "no temporary file is left";
    // A whole export replaces it, with the permissions it had.
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_EQ(Export(), 0);
    EXPECT_EQ(FileText().size(), 100000u / 16 * 76);
    EXPECT_EQ(std::filesystem::status(path).permissions(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
}

TEST_F(HexExportTest, AFullDiskIsReportedAndADeviceIsNotRemoved)
{
    Fill(std::string(100, 'x'));
    path = "/dev/full";
    EXPECT_EQ(Export(), ENOSPC);
    EXPECT_TRUE(std::filesystem::exists("/dev/full"));
}

TEST_F(HexExportTest, AFolderThatIsNotThereIsReported)
{
    path = folder + "/missing/pane.txt";
    EXPECT_EQ(Export(), ENOENT);
}

} // namespace

TEST_F(HexExportTest, APaneThatDroppedItsFrontCountsOffsetsFromTheStartOfTheCapture)
{
    const std::size_t unit = plat::ByteBlock::DropUnit();
    Fill(std::string(unit, 'a') + "Kept bytes here!" + "xy");
    ASSERT_EQ(block.DropFront(unit), plat::BlockStatus::Ok);
    std::vector<std::uint64_t> rowStarts;
    ASSERT_EQ(Export([&](std::uint64_t start, std::uint64_t, std::string&) { rowStarts.push_back(start); }), 0);
    char first[16];
    std::snprintf(first, sizeof first, "%08zX", unit);
    char second[16];
    std::snprintf(second, sizeof second, "%08zX", unit + 16);
    EXPECT_EQ(FileText(), std::string(first) + "  4B 65 70 74 20 62 79 74 65 73 20 68 65 72 65 21  Kept bytes here!\n" + second +
                              "  78 79                                            xy              \n");
    EXPECT_EQ(rowStarts, (std::vector<std::uint64_t>{unit, unit + 16})) << "the owner's lines are asked for by capture offset";
    EXPECT_EQ(done.load(), 18u);
}
