#include "platform/toolkit/MessageBox.h"

#include "platform/toolkit/WindowThread.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QPointer>
#include <future>
#include <memory>
#include <mutex>
#include <vector>

namespace plat {
namespace {

// One box asked for by a worker: the worker waits on `done` until the box is dismissed.
struct WorkerBox {
    std::promise<void> done;
    std::once_flag released;
    QPointer<QMessageBox> box;

    void Release() { std::call_once(released, [this] { done.set_value(); }); }
};

struct Registry {
    std::mutex lock;
    MessageBoxHook hook;
    bool shutDown = false;
    std::vector<std::shared_ptr<WorkerBox>> open;
};

Registry& TheRegistry()
{
    static Registry registry;
    return registry;
}

QMessageBox* MakeBox(QWidget* owner, const QString& text, MessageIcon icon)
{
    const auto shown = icon == MessageIcon::Stop ? QMessageBox::Critical : QMessageBox::Warning;
    auto* box = new QMessageBox(shown, ApplicationTitle(), text, QMessageBox::Ok, owner);
    return box;
}

void Forget(const std::shared_ptr<WorkerBox>& entry)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    std::erase(r.open, entry);
}

} // namespace

QString ApplicationTitle()
{
    const QString path = QCoreApplication::instance() ? QCoreApplication::applicationFilePath() : QString();
    const QString name = QFileInfo(path).completeBaseName();
    return name.isEmpty() ? QStringLiteral("relvanto") : name;
}

void SetMessageBoxHook(MessageBoxHook hook)
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    r.hook = std::move(hook);
}

void ShowMessageBox(QWidget* owner, const QString& text)
{
    ShowMessageBox(owner, text, MessageIcon::Exclamation);
}

void ShowMessageBox(QWidget* owner, const QString& text, MessageIcon icon)
{
    Registry& r = TheRegistry();
    const bool onWindowThread = IsWindowThread();
    MessageBoxHook hook;
    {
        std::lock_guard guard(r.lock);
        hook = r.hook;
    }
    if (hook) {
        hook(MessageBoxCall{text, ApplicationTitle(), std::this_thread::get_id(), onWindowThread,
                            onWindowThread ? owner : nullptr, icon});
        return;
    }

    if (onWindowThread) {
        std::unique_ptr<QMessageBox> box(MakeBox(owner, text, icon));
        // Modal to its owner only, so that boxes raised by workers still take input meanwhile.
        if (owner != nullptr)
            box->setWindowModality(Qt::WindowModal);
        box->exec();
        return;
    }

    auto entry = std::make_shared<WorkerBox>();
    {
        std::lock_guard guard(r.lock);
        if (r.shutDown)
            return;
        r.open.push_back(entry);
    }
    std::future<void> dismissed = entry->done.get_future();
    // The box is made and shown on the window's thread without an owner; its dismissal releases
    // this worker. No nested event loop runs on the window's thread.
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [entry, text, icon] {
            {
                std::lock_guard guard(TheRegistry().lock);
                if (TheRegistry().shutDown) {
                    entry->Release();
                    return;
                }
            }
            QMessageBox* box = MakeBox(nullptr, text, icon);
            box->setAttribute(Qt::WA_DeleteOnClose);
            // An ownerless box would be application-modal; this one must leave the window usable.
            box->setWindowModality(Qt::NonModal);
            entry->box = box;
            QObject::connect(box, &QMessageBox::finished, box, [entry] { entry->Release(); });
            QObject::connect(box, &QObject::destroyed, box, [entry] { entry->Release(); });
            box->show();
        },
        Qt::QueuedConnection);
    dismissed.wait();
    Forget(entry);
}

void ShutDownMessageBoxes()
{
    Registry& r = TheRegistry();
    std::vector<std::shared_ptr<WorkerBox>> open;
    {
        std::lock_guard guard(r.lock);
        r.shutDown = true;
        open = r.open;
    }
    for (auto& entry : open) {
        if (entry->box && IsWindowThread())
            entry->box->close();
        entry->Release();
    }
}

void ResumeMessageBoxes()
{
    Registry& r = TheRegistry();
    std::lock_guard guard(r.lock);
    r.shutDown = false;
}

} // namespace plat
