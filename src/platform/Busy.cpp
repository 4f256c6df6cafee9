#include "platform/Busy.h"

#include <QApplication>
#include <QProgressDialog>

namespace pb {

namespace {
int cancelAtForTests = -1;
}

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

Progress::Progress(QWidget* parent, const QString& label, int total)
    : dialog_(std::make_unique<QProgressDialog>(label, QStringLiteral("Cancel"), 0, std::max(total, 1), parent)),
      cancelAt_(std::exchange(cancelAtForTests, -1))
{
    dialog_->setWindowModality(Qt::WindowModal);
    dialog_->setMinimumDuration(400);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

Progress::~Progress() = default;

bool Progress::advance(int done)
{
    if (cancelAt_ >= 0 && done >= cancelAt_)
        dialog_->cancel();
    if (!dialog_->wasCanceled())
        dialog_->setValue(std::min(done, dialog_->maximum()));
    return !dialog_->wasCanceled();
}

void Progress::cancelAtForTesting(int step)
{
    cancelAtForTests = step;
}

} // namespace pb
