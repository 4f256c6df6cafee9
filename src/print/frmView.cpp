#include "print/frmView.h"

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
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QSaveFile>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>

#include <algorithm>

namespace pb {

using colors::kLightOrange;

namespace {
constexpr int kDialogFlagsReturnDC = 256;
constexpr int kDialogFlagsOverwritePrompt = 2;
// The text box fills the window less these margins of its outer size.
constexpr int kWidthMargin = 100;
constexpr int kHeightMargin = 350;

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

bool printPlainText(const QString& text, const QFont& font, QPrinter& printer)
{
    QTextDocument doc;
    doc.setDefaultFont(font);
    doc.setPlainText(toViewerLines(text));
    doc.documentLayout()->setPaintDevice(&printer);
    // Laid out on pages of the printer's size, the document prints without
    // the page numbers QTextDocument::print() adds to unpaginated text.
    const QSizeF page = printer.pageLayout().paintRectPixels(printer.resolution()).size();
    if (page.isEmpty())
        return false;
    doc.setPageSize(page);

    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    const int pages = doc.pageCount();
    for (int i = 0; i < pages; ++i) {
        if (i > 0 && !printer.newPage()) {
            painter.end();
            return false;
        }
        const QRectF clip(0, i * page.height(), page.width(), page.height());
        painter.save();
        painter.translate(0, -clip.top());
        doc.drawContents(&painter, clip);
        painter.restore();
    }
    return painter.end();
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

// The outer size less the margins, but never past the window's inside, so
// that the scroll bars stay in view. A size that would come out negative
// leaves that side as it was.
void frmView::Form_Resize()
{
    const QRect outer = twips::outerGeometry(this);
    QSize size = Rtf->size();
    const int w = outer.width() - kWidthMargin;
    const int h = outer.height() - kHeightMargin;
    if (w >= 0)
        size.setWidth(std::min(twips::toPixels(w), width()));
    if (h >= 0)
        size.setHeight(std::min(twips::toPixels(h), height()));
    Rtf->resize(size);
}

bool frmView::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == Rtf->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        if (me->button() == Qt::RightButton) {
            Rtf_MouseDown(me->button(), me->globalPosition().toPoint());
            return true;   // the selection stays as it is
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

void frmView::Rtf_MouseDown(Qt::MouseButton button, const QPoint& globalPos)
{
    if (button == Qt::RightButton)
        mnuSave->popup(globalPos);
}

void frmView::setText(const QString& text)
{
    Rtf->setPlainText(toViewerLines(text));
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
    if (printPlainText(selectedOrAllText(), Rtf->font(), printer))
        return true;
    if (reportFailure)
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
