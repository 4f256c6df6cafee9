#pragma once

#include <QString>

#include <memory>

class QProgressDialog;
class QWidget;

namespace pb {

// Gives memory freed by a long command back to the system.
void releaseFreedMemory();

// A busy cursor for as long as it lives: long work shows a sign of life.
// When it goes, so does the memory the work freed.
class BusyCursor
{
public:
    BusyCursor();
    ~BusyCursor();
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// A progress dialog with Cancel for work the user may stop part-way. It
// shows itself only when the work takes longer than a moment.
class Progress
{
public:
    Progress(QWidget* parent, const QString& label, int total);
    ~Progress();
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    // Reports `done` steps of the total; false once the user has cancelled.
    bool advance(int done);
    // What is being done now, and of how many steps (0: not known).
    void setStep(const QString& label, int total);

    // For the tests: the next progress reports a cancel once `step` steps are
    // done (-1: never).
    static void cancelAtForTesting(int step);

private:
    std::unique_ptr<QProgressDialog> dialog_;
    int cancelAt_;
};

} // namespace pb
