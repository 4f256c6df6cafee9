#pragma once

#include <QElapsedTimer>
#include <QPoint>
#include <QWidget>

class QAction;
class QMenu;
class QPrinter;
class QTextEdit;

namespace pb {

class AppContext;

// Line ends as the viewer keeps them (LF) and as files and other windows
// get them (CR LF). Any CR, LF or CR LF counts as one line end.
QString toViewerLines(const QString& text);
QString toCrLfLines(const QString& text);

// Prints plain text onto a printer that is already set up, in the given
// font, page after page: the pages, copies and collation chosen in the
// printer dialog, with a progress dialog (over `progressParent`) whose Cancel
// stops the job. Failed when the printer could not be opened, a page could
// not be started or finished, or the range holds no page of the text.
enum class PrintResult { Printed, Failed, Cancelled };
PrintResult printPlainText(const QString& text, const QFont& font, QPrinter& printer, QWidget* progressParent = nullptr);

// "Info...": shows contact text in one text box, and saves it as a text file
// or prints it from a pop-up menu on the right mouse button. Loading it does
// not show it: other windows fill it first and show it when they are done.
class frmView : public QWidget
{
    Q_OBJECT
public:
    explicit frmView(AppContext& ctx);

    // Replaces the whole text; nothing is selected afterwards.
    void setText(const QString& text);
    // Replaces the text with a file's content, read in the records' code
    // page. False (the text unchanged) when the file cannot be read.
    bool LoadFile(const QString& name, QString* error = nullptr);
    // The text as shown, with CR LF line ends.
    QString plainText() const;

    // Prints the selection, or the whole text when nothing is selected, on
    // the printer picked in the main window's printer dialog. With
    // `reportFailure` a failed print says "NOT PRINTED"; a cancel says
    // nothing. `dialogParent` defaults to this window.
    bool PrintViewerText(bool reportFailure, QWidget* dialogParent = nullptr);
    // Saves the text through the main window's save dialog as a text file.
    void SaveViewerText();

public slots:
    void mnuSaveAs_Click();
    void mnuPrint_Click();

protected:
    void closeEvent(QCloseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    void Form_Load();
    void Form_Resize();
    void Rtf_MouseDown(Qt::MouseButton button, const QPoint& globalPos);
    QString selectedOrAllText() const;
    void selectLineAt(const QPoint& viewportPos);

    AppContext& ctx_;
    QTextEdit* Rtf;
    QMenu* mnuSave;
    QAction* mnuSaveAs;
    QAction* mnuPrint;
    QElapsedTimer lastDoubleClick_;   // a press soon after it, in the same place, is a third click
    QPoint doubleClickAt_;
};

} // namespace pb
