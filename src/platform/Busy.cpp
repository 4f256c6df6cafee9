#include "platform/Busy.h"

#include <QApplication>
#include <QProgressDialog>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

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
    releaseFreedMemory();
}

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    // The C library keeps what a long command freed for its next request;
    // the system gets it back here.
    ::malloc_trim(0);
#endif
}

Progress::Progress(QWidget* parent, const QString& label, int total)
    : dialog_(std::make_unique<QProgressDialog>(label, QStringLiteral("Cancel"), 0, std::max(total, 1), parent)),
      cancelAt_(std::exchange(cancelAtForTests, -1))
{
    dialog_->setWindowModality(Qt::WindowModal);
    QString title = label;
    while (title.endsWith(u'.'))
        title.chop(1);
    dialog_->setWindowTitle(title);
    dialog_->setMinimumDuration(400);
    dialog_->setAutoClose(false);
    dialog_->setAutoReset(false);
    dialog_->setValue(0);
}

Progress::~Progress()
{
    dialog_.reset();
    releaseFreedMemory();
}

bool Progress::advance(int done)
{
    if (cancelAt_ >= 0 && done >= cancelAt_)
        dialog_->cancel();
    if (!dialog_->wasCanceled())
        dialog_->setValue(std::min(done, dialog_->maximum()));
    return !dialog_->wasCanceled();
}

void Progress::setStep(const QString& label, int total)
{
    dialog_->setLabelText(label);
    dialog_->setMaximum(std::max(total, 0));
}

void Progress::cancelAtForTesting(int step)
{
    cancelAtForTests = step;
}

} // namespace pb
