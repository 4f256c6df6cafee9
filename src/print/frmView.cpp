#include "print/frmView.h"

#include "platform/Busy.h"
#include "platform/Codepage.h"
#include "platform/CommonDialog.h"
#include "platform/Twips.h"
#include "records/FileIo.h"
#include "shell/RecordWindow.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QAbstractTextDocumentLayout>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QGuiApplication>
#include <QShortcut>
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
#include <QTextLayout>

#include <limits>
#include <vector>

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

namespace {

// Plain text laid out line by line onto pages, as the pages are printed:
// the whole text is never laid out at once, and what a page needs is
// dropped once it is drawn. A page is known by the line it starts with and
// how many of that line's wrapped rows an earlier page took.
class PagedText
{
public:
    PagedText(const QString& text, const QFont& font, QPaintDevice* device, QSizeF page)
        : text_(text), font_(font, device), metrics_(font_, device), device_(device), page_(page)
    {
        margin_ = 4.0 * device->logicalDpiY() / 96.0;
        width_ = page.width() - 2 * margin_;
        height_ = page.height() - 2 * margin_;
        rowHeight_ = metrics_.lineSpacing();
        qsizetype from = 0;
        for (;;) {
            const qsizetype nl = text_.indexOf(u'\n', from);
            lines_.push_back({from, (nl < 0 ? text_.size() : nl) - from});
            if (nl < 0)
                break;
            from = nl + 1;
        }
        pages_.push_back({0, 0});
    }

    bool valid() const { return width_ > 0 && height_ >= rowHeight_; }

    // Lays out pages until page `n` (from 1) is known; false past the end.
    bool reach(int n)
    {
        while (static_cast<int>(pages_.size()) < n + 1 && !done_)
            layoutNext();
        return static_cast<int>(pages_.size()) >= n + 1;
    }
    int pagesSoFar() const { return static_cast<int>(pages_.size()) - 1; }
    bool finished() const { return done_; }
    // Lines laid out so far: for the progress.
    qsizetype linesDone() const { return pages_.back().line; }
    qsizetype lineCount() const { return static_cast<qsizetype>(lines_.size()); }

    void draw(QPainter& p, int n)
    {
        Pos at = pages_[static_cast<std::size_t>(n - 1)];
        const Pos end = pages_[static_cast<std::size_t>(n)];
        qreal y = margin_;
        p.setFont(font_);
        while (at.line < end.line || (at.line == end.line && at.row < end.row)) {
            const QString line = lineText(at.line);
            const int lastRow = at.line == end.line ? end.row : std::numeric_limits<int>::max();
            if (at.row == 0 && lastRow > 0 && fitsOneRow(line)) {
                p.drawText(QPointF(margin_, y + metrics_.ascent()), line);
                y += rowHeight_;
            } else {
                QTextLayout layout(line, font_, device_);
                layout.beginLayout();
                int row = 0;
                for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine(), ++row) {
                    l.setLineWidth(width_);
                    if (row < at.row || row >= lastRow)
                        continue;
                    l.setPosition(QPointF(0, 0));
                    l.draw(&p, QPointF(margin_, y));
                    y += rowHeight_;
                }
                layout.endLayout();
            }
            ++at.line;
            at.row = 0;
        }
    }

private:
    struct Pos {
        qsizetype line;
        int row;
    };

    QString lineText(qsizetype i) const
    {
        const auto [from, n] = lines_[static_cast<std::size_t>(i)];
        return text_.mid(from, n);
    }
    bool fitsOneRow(const QString& line) const
    {
        // Short lines need no measuring: no character is wider than the widest.
        if (static_cast<qreal>(line.size()) * metrics_.maxWidth() <= width_)
            return true;
        return metrics_.horizontalAdvance(line) <= width_;
    }
    int rowsOf(const QString& line) const
    {
        if (fitsOneRow(line))
            return 1;
        QTextLayout layout(line, font_, device_);
        layout.beginLayout();
        int rows = 0;
        for (QTextLine l = layout.createLine(); l.isValid(); l = layout.createLine(), ++rows)
            l.setLineWidth(width_);
        layout.endLayout();
        return std::max(rows, 1);
    }

    void layoutNext()
    {
        Pos at = pages_.back();
        if (at.line >= lineCount()) {
            done_ = true;
            return;
        }
        qreal room = height_;
        while (at.line < lineCount()) {
            const int rows = rowsOf(lineText(at.line)) - at.row;
            const int fit = static_cast<int>(room / rowHeight_);
            if (rows <= fit) {
                room -= rows * rowHeight_;
                ++at.line;
                at.row = 0;
                continue;
            }
            if (fit > 0 && rows > static_cast<int>(height_ / rowHeight_))
                at.row += fit;   // a line taller than a page is split
            else if (fit > 0 && at.row > 0)
                at.row += fit;
            break;
        }
        pages_.push_back(at);
        if (at.line >= lineCount())
            done_ = true;
    }

    const QString& text_;
    QFont font_;
    QFontMetricsF metrics_;
    QPaintDevice* device_;
    QSizeF page_;
    qreal margin_ = 0, width_ = 0, height_ = 0, rowHeight_ = 1;
    std::vector<std::pair<qsizetype, qsizetype>> lines_;   // start and length in the text
    std::vector<Pos> pages_;                                // where each page starts, then where the last ends
    bool done_ = false;
};

} // namespace

namespace {
PrintResult printPages(const QString& text, const QFont& font, QPrinter& printer, QWidget* progressParent);
}

PrintResult printPlainText(const QString& text, const QFont& font, QPrinter& printer, QWidget* progressParent)
{
    const PrintResult result = printPages(text, font, printer, progressParent);
    releaseFreedMemory();   // the pages' text and layouts are gone by now
    return result;
}

namespace {

PrintResult printPages(const QString& text, const QFont& font, QPrinter& printer, QWidget* progressParent)
{
    const QString lines = toViewerLines(text);
    const QSizeF page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    if (page.isEmpty())
        return PrintResult::Failed;
    QPainter painter;
    if (!painter.begin(&printer))
        return PrintResult::Failed;
    PagedText paged(lines, font, &printer, page);
    if (!paged.valid()) {
        painter.end();
        return PrintResult::Failed;
    }

    // The copies the printer cannot make itself are printed here, collated
    // (1 2 3, 1 2 3) or not (1 1, 2 2, 3 3) as the dialog said; a page range
    // takes the pages asked for. Pages are laid out as they are reached, so
    // the progress shows at once and Cancel works from the start.
    const int copies = printer.supportsMultipleCopies() ? 1 : std::max(1, printer.copyCount());
    const QPageRanges ranges = printer.pageRanges();
    const bool ranged = printer.printRange() == QPrinter::PageRange && !ranges.isEmpty();
    const auto wanted = [&](int p) { return !ranged || ranges.contains(p); };
    const int lastWanted = ranged ? ranges.lastPage() : std::numeric_limits<int>::max();

    // Progress counts the lines laid out, then the pages printed.
    const int steps = 1000;
    Progress progress(progressParent, QStringLiteral("Printing..."), steps);
    const auto report = [&](int page, int ofPages, int copy) {
        const double laid = paged.lineCount() > 0 ? double(paged.linesDone()) / double(paged.lineCount()) : 1.0;
        const double printed = ofPages > 0 ? double((copy * ofPages) + page) / double(copies * ofPages) : 0.0;
        return progress.advance(static_cast<int>(steps * (paged.finished() ? std::max(printed, 0.0) : laid * 0.99)));
    };
    bool any = false;
    const auto cancel = [&] {
        printer.abort();
        painter.end();
        // What a cancelled print left in a file is no print at all.
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return PrintResult::Cancelled;
    };
    const auto printPage = [&](int p) {
        if (any && !printer.newPage())
            return false;
        any = true;
        paged.draw(painter, p);
        return true;
    };
    const int passes = printer.collateCopies() ? copies : 1;
    const int each = printer.collateCopies() ? 1 : copies;
    for (int pass = 0; pass < passes; ++pass) {
        for (int p = 1; p <= lastWanted && paged.reach(p); ++p) {
            if (!report(p, paged.finished() ? paged.pagesSoFar() : 0, pass))
                return cancel();
            if (!wanted(p))
                continue;
            for (int c = 0; c < each; ++c) {
                if (!printPage(p)) {
                    painter.end();
                    return PrintResult::Failed;
                }
            }
        }
    }
    if (!any) {   // a range past the end of the text: nothing printed
        printer.abort();
        painter.end();
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return PrintResult::Failed;
    }
    progress.advance(steps);
    return painter.end() ? PrintResult::Printed : PrintResult::Failed;
}

} // namespace

frmView::frmView(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmView"));
    setWindowTitle(QStringLiteral("Info..."));
    // Esc closes the viewer, as the desktop's dialogs close.
    connect(new QShortcut(QKeySequence::Cancel, this), &QShortcut::activated, this, &QWidget::close);
    setWindowIcon(artwork::toolbarIcon(QStringLiteral("PrintRecord")));
    resize(twips::toPixels(7200), twips::toPixels(5400));

    Rtf = new QTextEdit(this);
    Rtf->setObjectName(QStringLiteral("Rtf"));
    Rtf->setAcceptRichText(false);
    Rtf->setAccessibleName(QStringLiteral("Contact text"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(twips::points(12));
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
    QString why;
    if (!io::openRegular(f, QIODevice::ReadOnly, &why)) {
        if (error)
            *error = why;
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
    RecordWindow* data = ctx_.recordWindow();
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
    RecordWindow* data = ctx_.recordWindow();
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
    // A whole book's text (and its layout) goes with the window, and the
    // memory it took goes back to the system now, not at the next command.
    Rtf->document()->clear();
    releaseFreedMemory();
}

} // namespace pb
