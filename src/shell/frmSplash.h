#pragma once

#include <QWidget>

class QTimer;

namespace pb {

class AppContext;

inline constexpr const char* kPublisherWeb = "www.rivevozudezi.example";

// The borderless window shown first; two seconds later it opens the main
// window and closes itself.
class frmSplash : public QWidget
{
    Q_OBJECT
public:
    explicit frmSplash(AppContext& ctx);

    QTimer* timer() const { return Timer; }

protected:
    void paintEvent(QPaintEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    void Timer_Timer();

    AppContext& ctx_;
    QTimer* Timer;
    QImage picture_;
};

} // namespace pb
