#pragma once

#include "core/servertime/servertimekeeper.h"
#include "core/settings/servertimesection.h"

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The group "对时" of the page 声音与对时: the server's address, the button
// that checks the local clock against it, what the check found, and the box
// 按服务器时间 that makes the start-time gate and the chimes read the
// server's time. It places itself in the lower part of `page` and holds the
// keeper that does the checks.
class ServerTimePanel final : public QGroupBox
{
    Q_OBJECT
public:
    ServerTimePanel(hy::ServerClock& clock, const hy::TimerFactory& makeTimer, QWidget* page);

    hy::ServerTimeKeeper& keeper() { return *m_keeper; }
    // Section ServerTime of the settings file: the keeper's choices.
    hy::ISettingsSection& settings() { return m_settings; }

private:
    void refresh();

    hy::ServerTimeKeeper* m_keeper;
    hy::ServerTimeSettings m_settings;
    QLineEdit* m_address;
    QPushButton* m_check;
    QCheckBox* m_follow;
    QLabel* m_result;
};
