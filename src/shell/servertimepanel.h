#pragma once

#include <QGroupBox>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace hy {
class ServerTimeKeeper;
}

// The group "对时" of the page 声音与对时: the server's address, the button
// that checks the local clock against it, what the check found, and the box
// 按服务器时间 that makes the start-time gate and the chimes read the
// server's time. It places itself in the lower part of `page`; the address
// and the box show the settings Address and FollowServer, the result what the
// keeper found.
class ServerTimePanel final : public QGroupBox
{
    Q_OBJECT
public:
    ServerTimePanel(hy::ServerTimeKeeper& keeper, QWidget* page);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();

    hy::ServerTimeKeeper& m_keeper;
    QTimer* m_ageTimer;
    QLineEdit* m_address;
    QPushButton* m_check;
    QCheckBox* m_follow;
    QLabel* m_result;
};
