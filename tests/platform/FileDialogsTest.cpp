// The real file dialog, offscreen, browsing a folder while inotify watches who opens its files.
#include "platform/toolkit/FileDialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

template <class Pred> bool PumpUntil(Pred done)
{
    for (int i = 0; i < 500 && !done(); ++i)
        QTest::qWait(10);
    return done();
}

// The names of the files in the watched folder that were opened or read since the watch began.
std::set<std::string> FilesTouched(int watch)
{
    std::set<std::string> names;
    alignas(inotify_event) char buffer[4096];
    ssize_t n;
    while ((n = ::read(watch, buffer, sizeof buffer)) > 0) {
        for (char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->len > 0 && (event->mask & (IN_OPEN | IN_ACCESS)) != 0)
                names.insert(event->name);
            at += sizeof(inotify_event) + event->len;
        }
    }
    return names;
}

} // namespace

TEST(FileDialogsTest, BrowsingAFolderNeverOpensTheFilesInIt)
{
    char folderName[] = "/tmp/relvanto-dialog-XXXXXX";
    ASSERT_NE(::mkdtemp(folderName), nullptr);
    const std::string folder = folderName;
    // Only its contents tell what this file is; a type read from them means it was opened.
    std::ofstream(folder + "/no-extension") << "%PDF-1.4\n";
    std::ofstream(folder + "/notes.txt") << "text\n";

    const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(::inotify_add_watch(watch, folder.c_str(), IN_OPEN | IN_ACCESS), 0);

    QString sniffedType;
    bool listed = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (dialog == nullptr)
            return;
        dialog->setDirectory(QString::fromStdString(folder));
        auto* model = dialog->findChild<QFileSystemModel*>();
        const auto typeOf = [&](const char* name) {
            return model ? model->type(model->index(QString::fromStdString(folder + "/" + name))) : QString();
        };
        listed = PumpUntil([&] { return !typeOf("no-extension").isEmpty() && !typeOf("notes.txt").isEmpty(); });
        sniffedType = typeOf("no-extension");
        dialog->reject();
    });
    const std::optional<QString> chosen = plat::AskForFile(nullptr, plat::FileDialogKind::Open);

    EXPECT_FALSE(chosen.has_value());
    EXPECT_TRUE(listed) << "the dialog never described the folder's files";
    EXPECT_NE(sniffedType, QStringLiteral("PDF document"));
    EXPECT_EQ(FilesTouched(watch), std::set<std::string>{});
    ::close(watch);
    std::filesystem::remove_all(folder);
}
