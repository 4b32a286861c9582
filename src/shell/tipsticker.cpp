#include "shell/tipsticker.h"

#include "shell/accessible.h"

#include "shell/errorbox.h"
#include "shell/formlook.h"

#include <QLabel>
#include <QMouseEvent>

TipsTicker::TipsTicker(QLabel& label, std::unique_ptr<hy::ITimer> timer, Source source,
                       QWidget* window)
    : m_label(label)
    , m_window(window)
    , m_source(std::move(source))
    , tmr1(std::move(timer))
{
    tmr1->onTimeout = [this] { hy::guarded(m_window, [this] { tmr1Timer(); }); };
    tmr1->start(kIntervalMs);
    m_label.installEventFilter(this);
}

TipsTicker::~TipsTicker()
{
    m_label.removeEventFilter(this);
}

void TipsTicker::close()
{
    WebTips.reset();
}

void TipsTicker::tmr1Timer()
{
    if (!TipsLoaded) {
        // Only the first firing fetches the list; it arrives in the background.
        TipsLoaded = true;
        WebTips =
            std::make_unique<hy::hyWebTips>(m_source.tipsUrl, m_source.cachePath, m_source.limits);
        connect(WebTips.get(), &hy::hyWebTips::cacheWriteFailed, this,
                [this](const QString& message) {
                    QMetaObject::invokeMethod(
                        this, [this, message] { hy::showErrorBox(m_window, message); },
                        Qt::QueuedConnection);
                });
        // The first tip as soon as the list is there, not a firing later.
        connect(WebTips.get(), &hy::hyWebTips::finished, this, &TipsTicker::showTip);
    }
    showTip();
}

void TipsTicker::showTip()
{
    if (!WebTips || !WebTips->isFinished())
        return;
    const std::optional<hy::Tip> tip = WebTips->randomTip();
    if (!tip)
        return;
    hy::showText(m_label, tip->text + QStringLiteral(" >>"));
    m_label.adjustSize();
    m_label.setToolTip(hy::plainToolTip(tip->text));
    TipLink = tip->link;
}

void TipsTicker::lblTipsClick()
{
    // Only web pages: a tip from the network must never open a local file or
    // run anything.
    if (hy::hyWebTips::isSafeLink(TipLink))
        m_source.openUrl(QUrl(TipLink));
}

bool TipsTicker::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &m_label && event->type() == QEvent::MouseButtonRelease &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        hy::guarded(m_window, [this] { lblTipsClick(); });
    return QObject::eventFilter(watched, event);
}
