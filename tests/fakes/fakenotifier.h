#pragma once

#include "core/notice.h"

#include <QList>

// Keeps what it was asked to show; the test plays the user choosing an action.
class FakeNotifier : public hy::INotifier
{
public:
    void notify(const hy::Notice& notice) override
    {
        shown.append(notice);
        showing = true;
    }
    void withdraw() override { showing = false; }
    void choose(hy::NoticeAction action) { emit actionInvoked(action); }

    QList<hy::Notice> shown; // every notice, in order
    bool showing = false;    // the last one is shown and not withdrawn
};
