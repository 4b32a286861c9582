#pragma once

#include "core/hywebtips.h"
#include "core/timer.h"

#include <QObject>
#include <QUrl>
#include <functional>
#include <memory>

class QLabel;
class QWidget;

// The tips line at the bottom of the window: its timer, the list fetched at
// the first firing, and the tip on show (text, hint and the link its click
// opens).
class TipsTicker final : public QObject
{
    Q_OBJECT
public:
    static constexpr int kIntervalMs = 15000;

    struct Source
    {
        QUrl tipsUrl;
        QString cachePath;
        std::function<void(const QUrl&)> openUrl;
        hy::hyWebTips::Limits limits;
    };

    // Starts `timer` (tmr1) at once; `window` is the parent of error boxes.
    TipsTicker(QLabel& label, std::unique_ptr<hy::ITimer> timer, Source source, QWidget* window);
    ~TipsTicker() override;

    bool tipsLoaded() const { return TipsLoaded; }
    hy::hyWebTips* webTips() const { return WebTips.get(); }
    const QString& tipLink() const { return TipLink; }

    // The window closes: the list is released (a download under way is
    // dropped and leaves the cache as it was).
    void close();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void tmr1Timer();
    void showTip();
    void lblTipsClick();

    QLabel& m_label;
    QWidget* m_window;
    Source m_source;
    std::unique_ptr<hy::ITimer> tmr1;
    bool TipsLoaded = false;
    QString TipLink;
    std::unique_ptr<hy::hyWebTips> WebTips;
};
