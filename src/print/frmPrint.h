#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;

namespace pb {

class AppContext;

// A stored option as a choice: "True" or "False" in any letter case, or a
// number where 0 is unchosen and any other number chosen. Anything else
// counts as unchosen.
bool optionFromSetting(const QString& value);

// What "Print" does for the options as they stand. Each frame holds at most
// one chosen option; with none chosen in a frame there is no job.
enum class PrintJob { None, RecordToViewer, RecordToPrinter, AllToViewer, AllToPrinter };
PrintJob printJobFor(bool thisRecord, bool allRecords, bool toFile, bool toPrinter);

// "Print": what to print (this record or all records) and where (the viewer,
// from which the text can be saved, or a printer). The four choices are kept
// in the settings from one opening to the next.
class frmPrint : public QWidget
{
    Q_OBJECT
public:
    explicit frmPrint(AppContext& ctx);

public slots:
    void cmdPrint_Click();
    void cmdExit_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void Form_Load();
    void Form_Unload();
    // Writes the print file and loads it into the viewer; tells the user and
    // returns false when either fails.
    bool exportAllRecords();

    AppContext& ctx_;
    QLabel* Image1;
    QPushButton* cmdPrint;
    QPushButton* cmdExit;
    QGroupBox* Frame1;
    QRadioButton* Option1;
    QRadioButton* Option2;
    QGroupBox* Frame2;
    QRadioButton* Option3;
    QRadioButton* Option4;
};

} // namespace pb
