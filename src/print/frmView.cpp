#include "print/frmView.h"

#include "platform/Busy.h"
#include "platform/Codepage.h"
#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "records/Data.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QStyleHints>
#include <QTextBlock>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPageRanges>
#include <QPrinter>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>
#include <optional>

namespace pb {

using colors::kLightOrange;

namespace {
constexpr int kDialogFlagsReturnDC = 256;
constexpr int kDialogFlagsOverwritePrompt = 2;

// The paragraph and line separators a text document uses inside its text.
QString documentLinesToLf(QString text)
{
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}
} // namespace

QString toViewerLines(const QString& text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    out.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return out;
}

QString toCrLfLines(const QString& text)
{
    return toViewerLines(text).replace(QLatin1Char('\n'), QLatin1String("\r\n"));
}

PrintResult printPlainText(const QString& text, const QFont& font, QPrinter& printer, QWidget* progressParent)
{
    std::optional<BusyCursor> busy(std::in_place);
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setPlainText(toViewerLines(text));
    doc.documentLayout()->setPaintDevice(&printer);
    // Laid out on pages of the printer's size, the document prints without
    // the page numbers QTextDocument::print() adds to unpaginated text.
    const QSizeF page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    if (page.isEmpty())
        return PrintResult::Failed;
    doc.setPageSize(page);
    const int pages = doc.pageCount();

    // The pages asked for in the printer dialog, in order.
    QList<int> wanted;
    const QPageRanges ranges = printer.pageRanges();
    for (int p = 1; p <= pages; ++p)
        if (printer.printRange() != QPrinter::PageRange || ranges.isEmpty() || ranges.contains(p))
            wanted.append(p);
    if (wanted.isEmpty())
        return PrintResult::Failed;   // a range past the end of the text: nothing to print

    // Copies the printer cannot make itself are printed here, collated
    // (1 2 3, 1 2 3) or not (1 1, 2 2, 3 3) as the dialog said.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    QList<int> sequence;
    if (printer.collateCopies()) {
        for (int c = 0; c < copies; ++c)
            sequence += wanted;
    } else {
        for (int p : wanted)
            for (int c = 0; c < copies; ++c)
                sequence.append(p);
    }

    QPainter painter;
    if (!painter.begin(&printer))
        return PrintResult::Failed;
    busy.reset();
    Progress progress(progressParent, QStringLiteral("Printing..."), static_cast<int>(sequence.size()));
    for (qsizetype i = 0; i < sequence.size(); ++i) {
        if (!progress.advance(static_cast<int>(i))) {
            printer.abort();
            painter.end();
            // What a cancelled print left in a file is no print at all.
            if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
                QFile::remove(printer.outputFileName());
            return PrintResult::Cancelled;
        }
        if (i > 0 && !printer.newPage()) {
            painter.end();
            return PrintResult::Failed;
        }
        const QRectF clip(0, (sequence[i] - 1) * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -clip.top());
        doc.drawContents(&painter, clip);
        painter.restore();
    }
    progress.advance(static_cast<int>(sequence.size()));
    return painter.end() ? PrintResult::Printed : PrintResult::Failed;
}

frmView::frmView(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmView"));
    setWindowTitle(QStringLiteral("Info..."));
    setWindowIcon(artwork::toolbarIcon(QStringLiteral("PrintRecord")));
    resize(twips::toPixels(7200), twips::toPixels(5400));

    Rtf = new QTextEdit(this);
    Rtf->setObjectName(QStringLiteral("Rtf"));
    Rtf->setAcceptRichText(false);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(12);
    Rtf->setFont(font);
    QPalette p = Rtf->palette();
    p.setColor(QPalette::Base, colorFromInt(kLightOrange));
    p.setColor(QPalette::Text, Qt::black);
    Rtf->setPalette(p);
    Rtf->move(0, 0);
    // The right button opens this window's own menu, not the text box's.
    Rtf->setContextMenuPolicy(Qt::PreventContextMenu);
    Rtf->viewport()->installEventFilter(this);
    Rtf->installEventFilter(this);

    // A pop-up only: the window has no menu bar.
    mnuSave = new QMenu(QStringLiteral("Save "), this);
    mnuSave->setObjectName(QStringLiteral("mnuSave"));
    mnuSaveAs = mnuSave->addAction(QStringLiteral("Save As..."));
    mnuSaveAs->setObjectName(QStringLiteral("mnuSaveAs"));
    mnuPrint = mnuSave->addAction(QStringLiteral("Print"));
    mnuPrint->setObjectName(QStringLiteral("mnuPrint"));
    connect(mnuSaveAs, &QAction::triggered, this, &frmView::mnuSaveAs_Click);
    connect(mnuPrint, &QAction::triggered, this, &frmView::mnuPrint_Click);

    Form_Load();
}

void frmView::Form_Load()
{
    Form_Resize();
}

void frmView::resizeEvent(QResizeEvent* e)
{
    QWidget::resizeEvent(e);
    Form_Resize();
}

void frmView::showEvent(QShowEvent* e)
{
    QWidget::showEvent(e);
    // The frame is known once the window is on screen.
    Form_Resize();
}

// The text fills the window's inside (what the outer size less the frame
// and title leaves). A window shrunk to nothing leaves the box as it was.
void frmView::Form_Resize()
{
    QSize size = Rtf->size();
    if (width() > 0)
        size.setWidth(width());
    if (height() > 0)
        size.setHeight(height());
    Rtf->resize(size);
}

bool frmView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == Rtf->viewport() && e->type() == QEvent::MouseButtonDblClick) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::LeftButton) {
            lastDoubleClick_.start();
            doubleClickAt_ = me->position().toPoint();
        }
    }
    if (watched == Rtf->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton) {
            Rtf_MouseDown(me->button(), me->globalPosition().toPoint());
            return true;   // the selection stays as it is
        }
        // A third click selects the line under the pointer. The text box
        // would select its paragraph, which holds many lines here.
        if (me->button() == Qt::LeftButton && lastDoubleClick_.isValid() &&
            lastDoubleClick_.elapsed() < QGuiApplication::styleHints()->mouseDoubleClickInterval() &&
            (me->position().toPoint() - doubleClickAt_).manhattanLength() <=
                QGuiApplication::styleHints()->startDragDistance()) {
            lastDoubleClick_.invalidate();
            selectLineAt(me->position().toPoint());
            return true;
        }
    }
    // The keyboard's menu key opens the same menu, at the text cursor.
    if (watched == Rtf && e->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard) {
        mnuSave->popup(Rtf->viewport()->mapToGlobal(Rtf->cursorRect().bottomLeft()));
        return true;
    }
    return QWidget::eventFilter(watched, e);
}

void frmView::selectLineAt(const QPoint& viewportPos)
{
    QTextCursor c = Rtf->cursorForPosition(viewportPos);
    const QTextBlock block = c.block();
    const QString text = block.text();
    const int at = c.positionInBlock();
    qsizetype from = at;
    while (from > 0 && text.at(from - 1) != QChar::LineSeparator)
        --from;
    qsizetype to = at;
    while (to < text.size() && text.at(to) != QChar::LineSeparator)
        ++to;
    c.setPosition(block.position() + static_cast<int>(from));
    c.setPosition(block.position() + static_cast<int>(to), QTextCursor::KeepAnchor);
    Rtf->setTextCursor(c);
}

void frmView::Rtf_MouseDown(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton)
        mnuSave->popup(globalPos);
}

void frmView::setText(const QString& text)
{
    // Lines go into the text box in paragraphs of up to 32 lines joined by
    // line separators: the same lines on screen and in every copy of the
    // text, but a tenth of the paragraphs, which is what a whole book's text
    // costs to take in.
    QString lines = toViewerLines(text);
    int inParagraph = 0;
    for (QChar& c : lines) {
        if (c == u'\n' && ++inParagraph < 32)
            c = QChar::LineSeparator;
        else if (c == u'\n')
            inParagraph = 0;
    }
    Rtf->setPlainText(lines);
    QTextCursor c = Rtf->textCursor();
    c.clearSelection();
    Rtf->setTextCursor(c);
}

bool frmView::LoadFile(const QString& name, QString* error)
{
    QFile f(name);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error = f.errorString();
        return false;
    }
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = f.errorString();
        return false;
    }
    setText(codepage::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size()))));
    return true;
}

QString frmView::plainText() const
{
    // The raw text: toPlainText() would turn non-breaking spaces into spaces.
    return toCrLfLines(documentLinesToLf(Rtf->document()->toRawText()));
}

QString frmView::selectedOrAllText() const
{
    const QTextCursor c = Rtf->textCursor();
    if (c.hasSelection())
        return documentLinesToLf(c.selectedText());
    return plainText();
}

bool frmView::PrintViewerText(bool reportFailure, QWidget* dialogParent)
{
    Data* data = ctx_.windows.get<Data>();
    CommonDialog& dlg = data->dlgFileOpen();
    dlg.Flags = kDialogFlagsReturnDC;
    QPrinter printer;
    if (!dlg.ShowPrinter(dialogParent ? dialogParent : this, printer))
        return false;   // cancelled: nothing printed, nothing to report
    const PrintResult result = printPlainText(selectedOrAllText(), Rtf->font(), printer, dialogParent ? dialogParent : this);
    if (result == PrintResult::Printed)
        return true;
    if (reportFailure && result == PrintResult::Failed)
        ctx_.boxes.show(this, QStringLiteral("NOT PRINTED"), QStringLiteral("!"), MsgButtons::Ok, MsgIcon::Critical);
    return false;
}

void frmView::SaveViewerText()
{
    Data* data = ctx_.windows.get<Data>();
    CommonDialog& dlg = data->dlgFileOpen();
    dlg.DialogTitle = QStringLiteral("Save As");
    dlg.Flags = kDialogFlagsOverwritePrompt;
    dlg.Filter = QStringLiteral("Text |*.txt");
    if (!dlg.ShowSave(this) || dlg.FileName.isEmpty())
        return;
    // A save that fails leaves an existing file of that name as it was.
    QSaveFile out(dlg.FileName);
    if (!out.open(QIODevice::WriteOnly))
        return;
    const std::string bytes = codepage::encode(plainText());
    if (out.write(bytes.data(), static_cast<qint64>(bytes.size())) != static_cast<qint64>(bytes.size())) {
        out.cancelWriting();
        return;
    }
    out.commit();
}

void frmView::mnuSaveAs_Click()
{
    SaveViewerText();
}

void frmView::mnuPrint_Click()
{
    PrintViewerText(true);
}

void frmView::closeEvent(QCloseEvent* e)
{
    e->accept();
    ctx_.windows.forget(this);
}

} // namespace pb
