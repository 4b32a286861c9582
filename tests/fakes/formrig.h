#pragma once

#include "fakes/corerig.h"
#include "fakes/fakehotkey.h"
#include "fakes/fakenotifier.h"

#include "shell/services.h"
#include "shell/tunemain.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

// A main window on the program's state, both built from fakes.
struct FormRig : CoreRig
{
    FakeHotkey* hotkey = nullptr;
    FakeNotifier* notifier = nullptr; // of the hotkey's offers, once one is made
    QList<QUrl> opened;
    QString nextSoundChoice; // what the file dialog "returns"
    QString nextVoiceFolder; // what the folder dialog "returns"
    std::unique_ptr<TForm1> form;

    hy::FormServices services()
    {
        hy::FormServices s;
        s.makeHotkey = [this] {
            journal << QStringLiteral("hotkey");
            auto h = std::make_unique<FakeHotkey>();
            hotkey = h.get();
            return h;
        };
        s.makeNotifier = [this] {
            auto n = std::make_unique<FakeNotifier>();
            notifier = n.get();
            return n;
        };
        s.makeTimer = timers();
        s.openUrl = [this](const QUrl& url) { opened << url; };
        s.chooseSoundFile = [this](QWidget*, const QString&) { return nextSoundChoice; };
        s.chooseVoiceFolder = [this](QWidget*, const QString&) { return nextVoiceFolder; };
        s.serverBase = QStringLiteral("http://tips.test");
        s.tipsCachePath = dir.filePath(QStringLiteral("tipsupd.dat"));
        return s;
    }

    // The program's state and its window, as main() builds them.
    TForm1& make(hy::FormServices with)
    {
        form.reset();
        core = std::make_unique<hy::AppCore>(coreServices());
        form = std::make_unique<TForm1>(*core, std::move(with));
        return *form;
    }
    TForm1& make() { return make(services()); }

    // A click on a button, as the user's (a disabled button takes none).
    void click(const char* name) { find<QAbstractButton>(name)->click(); }

    template <typename T>
    T* find(const char* name) const
    {
        return form->findChild<T*>(QLatin1String(name));
    }
};

// Any message box or other modal window up now.
inline bool anyBoxShown()
{
    if (QApplication::activeModalWidget())
        return true;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox*>(w) && w->isVisible())
            return true;
    }
    return false;
}

// Closes the next message box that opens, remembering its text.
struct BoxCatcher
{
    QString title;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QStringList buttons;
    int seen = 0;

    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }

private:
    void poll()
    {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (box && box->isVisible()) {
                title = box->windowTitle();
                text = box->text();
                icon = box->icon();
                buttons.clear();
                for (QAbstractButton* b : box->buttons())
                    buttons << b->text();
                ++seen;
                box->done(QMessageBox::Ok);
                return;
            }
        }
        QTimer::singleShot(10, [this] { poll(); });
    }
};
