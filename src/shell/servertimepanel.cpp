#include "shell/servertimepanel.h"

#include "core/servertime/servertimekeeper.h"
#include "shell/formlook.h"
#include "shell/settingsbinder.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace {

template <typename W>
W* child(QWidget* parent, const char* name, const char* accessible, QRect geometry)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setAccessibleName(QString::fromUtf8(accessible));
    w->setGeometry(geometry);
    return w;
}

} // namespace

ServerTimePanel::ServerTimePanel(hy::ServerTimeKeeper& keeper, QWidget* page)
    : QGroupBox(QStringLiteral("对时"), page)
    , m_keeper(keeper)
    , m_ageTimer(new QTimer(this))
{
    setObjectName(QStringLiteral("grpServerTime"));
    setGeometry(9, 190, 518, 114);
    auto* label = child<QLabel>(this, "lblServerAddr", "", {10, 27, 96, 16});
    label->setText(QStringLiteral("服务器地址："));
    m_address = child<QLineEdit>(this, "edtServerAddr", "对时服务器地址", {104, 23, 312, 24});
    m_address->setPlaceholderText(QStringLiteral("ntp://… 或 https://…"));
    m_address->setToolTip(QStringLiteral("NTP 服务器（ntp://主机名）或网店的网址（https://…）"));
    m_address->setProperty(SettingsBinder::kProperty, QStringLiteral("Address"));
    label->setBuddy(m_address);
    m_check = child<QPushButton>(this, "btnServerCheck", "对时", {424, 23, 84, 24});
    m_check->setText(QStringLiteral("对时"));
    m_follow = child<QCheckBox>(this, "chkServerTime", "按服务器时间", {10, 55, 140, 20});
    m_follow->setText(QStringLiteral("按服务器时间"));
    m_follow->setToolTip(QStringLiteral("开始时间和整点、半点、定时报时按服务器的时间；"
                                        "倒计时本身照常每秒一跳"));
    m_follow->setProperty(SettingsBinder::kProperty, QStringLiteral("FollowServer"));
    m_result = child<QLabel>(this, "lblServerResult", "对时结果", {10, 76, 498, 36});
    m_result->setTextFormat(Qt::PlainText);
    m_result->setWordWrap(true);
    m_result->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    const auto check = [this] { m_keeper.check(); };
    connect(m_check, &QPushButton::clicked, this, check);
    connect(m_address, &QLineEdit::returnPressed, this, check);
    connect(&m_keeper, &hy::ServerTimeKeeper::changed, this, &ServerTimePanel::refresh);
    // How long ago the last check was, kept up to date while the page shows it.
    connect(m_ageTimer, &QTimer::timeout, this, &ServerTimePanel::refresh);
    refresh();
}

void ServerTimePanel::showEvent(QShowEvent* event)
{
    refresh();
    m_ageTimer->start(60 * 1000);
    QGroupBox::showEvent(event);
}

void ServerTimePanel::hideEvent(QHideEvent* event)
{
    m_ageTimer->stop();
    QGroupBox::hideEvent(event);
}

void ServerTimePanel::refresh()
{
    m_check->setEnabled(!m_keeper.checking());
    m_result->setText(m_keeper.resultText());
    // A long message may not fit the two lines; the hint has all of it.
    m_result->setToolTip(hy::plainToolTip(m_result->text()));
}
