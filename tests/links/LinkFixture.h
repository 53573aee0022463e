#pragma once
// The real main window offscreen, driven as a user drives it: clicks on its boxes and buttons and
// text typed into its fields. Every State text the window shows is recorded in order.

#include "tests/app/AppFixture.h"
#include "tests/links/LinkPeers.h"

#include "platform/toolkit/Ipv4AddressEdit.h"
#include "resources/ControlIds.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <chrono>
#include <thread>

class LinkFixture : public MainWindowFixture {
protected:
    void SetUp() override
    {
        MainWindowFixture::SetUp();
        QObject::connect(Widget<QLineEdit>(IDC_STATE), &QLineEdit::textChanged,
                         [this](const QString& text) { m_states.push_back(text); });
    }

    void Click(int id)
    {
        Settle();
        QTest::mouseClick(dlg->Control(id), Qt::LeftButton);
        Settle();
    }
    void Type(int id, const QString& text)
    {
        auto* edit = Widget<QLineEdit>(id);
        edit->clear();
        QTest::keyClicks(edit, text);
    }
    // Types each part of "a.b.c.d" into its field; an empty part leaves its field blank.
    void TypeAddress(int id, const QString& dotted)
    {
        auto* address = Widget<plat::Ipv4AddressEdit>(id);
        address->Clear();
        const QStringList parts = dotted.split(QLatin1Char('.'));
        for (int i = 0; i < 4 && i < parts.size(); ++i) {
            if (!parts[i].isEmpty())
                QTest::keyClicks(address->Field(i), parts[i]);
        }
    }
    QString State()
    {
        Settle();
        return Widget<QLineEdit>(IDC_STATE)->text();
    }
    QString Caption(int id)
    {
        Settle();
        return Widget<QAbstractButton>(id)->text();
    }
    bool Enabled(int id)
    {
        Settle();
        return dlg->Control(id)->isEnabled();
    }
    bool Checked(int id)
    {
        Settle();
        return Widget<QAbstractButton>(id)->isChecked();
    }

    // Runs the window's event loop until `done`, for at most `limitMs`.
    template <class Pred> static bool WaitFor(Pred done, int limitMs = 20000)
    {
        if (!testwait::PumpUntil(done, std::chrono::milliseconds(limitMs)))
            return false;
        Settle();
        return true;
    }
    bool WaitState(const QString& text, int limitMs = 20000)
    {
        return WaitFor([&] { return Widget<QLineEdit>(IDC_STATE)->text() == text; }, limitMs);
    }
    bool WaitBoxes(std::size_t count, int limitMs = 20000)
    {
        return WaitFor([&] { return Boxes().size() >= count; }, limitMs);
    }

    std::vector<unsigned char> Received()
    {
        std::lock_guard guard(dlg->Owners().received.ReceivedLock());
        std::vector<unsigned char> out(dlg->Owners().received.Block().Size());
        dlg->Owners().received.Block().Read(0, out.data(), out.size());
        return out;
    }

    // TCP mode with the given fields typed in first.
    void ChooseTcp(const QString& serverPort, const QString& destIp, const QString& destPort)
    {
        Type(IDC_TCP_SERVER_PORT, serverPort);
        TypeAddress(IDC_TCP_DEST_IP, destIp);
        Type(IDC_TCP_DEST_PORT, destPort);
        Click(IDC_MODE_TCP);
    }
    static QString Num(int value) { return QString::number(value); }

    std::vector<QString> m_states;
};
