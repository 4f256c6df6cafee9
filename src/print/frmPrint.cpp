#include "print/frmPrint.h"

#include "platform/Busy.h"

#include "platform/Twips.h"
#include "print/PrintLayout.h"
#include "print/frmView.h"
#include "shell/RecordWindow.h"
#include "shell/AppContext.h"
#include "shell/Artwork.h"

#include <QCloseEvent>
#include <QDir>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>

#include <array>
#include <optional>

namespace pb {

namespace {
const std::array<const char*, 4> kOptionKeys = {"PrintOption1", "PrintOption2", "PrintOption3", "PrintOption4"};
}

bool optionFromSetting(const QString& value)
{
    const QString v = value.trimmed();
    if (v.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (v.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double n = v.toDouble(&ok);
    return ok && n != 0;
}

PrintJob printJobFor(bool thisRecord, bool allRecords, bool toFile, bool toPrinter)
{
    if (thisRecord && toFile)
        return PrintJob::RecordToViewer;
    if (thisRecord && toPrinter)
        return PrintJob::RecordToPrinter;
    if (allRecords && toFile)
        return PrintJob::AllToViewer;
    if (allRecords && toPrinter)
        return PrintJob::AllToPrinter;
    return PrintJob::None;
}

frmPrint::frmPrint(AppContext& ctx) : QWidget(nullptr), ctx_(ctx)
{
    setObjectName(QStringLiteral("frmPrint"));
    setWindowTitle(QStringLiteral("Print"));
    setWindowFlags(Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setWindowIcon(artwork::appIcon());
    setFixedSize(twips::toPixels(3705), twips::toPixels(1785));

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(artwork::toolbarIcon(QStringLiteral("PrintRecord")).pixmap(twips::toPixels(600)));
    Image1->setAlignment(Qt::AlignCenter);
    twips::place(Image1, 0, 0, 750, 645);

    cmdPrint = new QPushButton(QStringLiteral("Print"), this);
    cmdPrint->setObjectName(QStringLiteral("cmdPrint"));
    twips::place(cmdPrint, 840, 75, 1335, 495);
    cmdExit = new QPushButton(QStringLiteral("Exit"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    twips::place(cmdExit, 2280, 75, 1335, 495);

    auto frame = [this](const char* name, const QString& caption, int left) {
        auto* f = new QGroupBox(caption, this);
        f->setObjectName(QString::fromLatin1(name));
        twips::place(f, left, 720, 1755, 1005);
        return f;
    };
    // Each frame is a group of its own: the options inside exclude each other.
    auto option = [](QGroupBox* into, const char* name, const QString& caption, int top) {
        auto* o = new QRadioButton(caption, into);
        o->setObjectName(QString::fromLatin1(name));
        twips::place(o, 120, top, 1515, 285);
        return o;
    };
    Frame1 = frame("Frame1", QStringLiteral("What?"), 60);
    Option1 = option(Frame1, "Option1", QStringLiteral("This Record"), 270);
    Option2 = option(Frame1, "Option2", QStringLiteral("All Records"), 630);
    Frame2 = frame("Frame2", QStringLiteral("Where?"), 1890);
    Option3 = option(Frame2, "Option3", QStringLiteral("To a File"), 270);
    Option4 = option(Frame2, "Option4", QStringLiteral("To a Printer"), 630);

    connect(cmdPrint, &QPushButton::clicked, this, &frmPrint::cmdPrint_Click);
    connect(cmdExit, &QPushButton::clicked, this, &frmPrint::cmdExit_Click);
    // Esc does what Exit does, as in the desktop's dialogs.
    auto* escape = new QShortcut(QKeySequence::Cancel, this);
    connect(escape, &QShortcut::activated, this, &frmPrint::cmdExit_Click);
    setTabOrder(Option1, Option2);
    setTabOrder(Option2, Option3);
    setTabOrder(Option3, Option4);
    setTabOrder(Option4, cmdPrint);
    setTabOrder(cmdPrint, cmdExit);

    Form_Load();
}

void frmPrint::Form_Load()
{
    const std::array<QRadioButton*, 4> options = {Option1, Option2, Option3, Option4};
    for (std::size_t i = 0; i < options.size(); ++i)
        options[i]->setChecked(optionFromSetting(ctx_.setting(QString::fromLatin1(kOptionKeys[i]), QStringLiteral("0"))));
}

void frmPrint::Form_Unload()
{
    const std::array<QRadioButton*, 4> options = {Option1, Option2, Option3, Option4};
    for (std::size_t i = 0; i < options.size(); ++i)
        ctx_.saveSetting(QString::fromLatin1(kOptionKeys[i]),
                         options[i]->isChecked() ? QStringLiteral("True") : QStringLiteral("False"));
    ctx_.settings.flush();
}

bool frmPrint::exportAllRecords()
{
    RecordWindow* data = ctx_.recordWindow();
    const QString name = QString::fromLatin1(kPrintFileName);
    QString error;
    std::optional<BusyCursor> busy(std::in_place);
    if (!WritePrintFile(ctx_.book, data->recordCount().value_or(0), &error)) {
        busy.reset();
        ctx_.boxes.show(this, QStringLiteral("The records could not be written to %1.\n%2").arg(name, error),
                        QString(), MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    const bool loaded = ctx_.windows.get<frmView>()->LoadFile(QDir::current().filePath(name), &error);
    busy.reset();
    if (!loaded) {
        ctx_.boxes.show(this, QStringLiteral("%1 could not be read.\n%2").arg(name, error), QString(),
                        MsgButtons::Ok, MsgIcon::Critical);
        return false;
    }
    return true;
}

void frmPrint::cmdPrint_Click()
{
    RecordWindow* data = ctx_.recordWindow();
    switch (printJobFor(Option1->isChecked(), Option2->isChecked(), Option3->isChecked(), Option4->isChecked())) {
    case PrintJob::RecordToViewer:
        ctx_.windows.get<frmView>()->setText(data->CurrentRecordText());
        break;
    case PrintJob::RecordToPrinter: {
        frmView* viewer = ctx_.windows.get<frmView>();
        viewer->setText(data->CurrentRecordText());
        viewer->PrintViewerText(false, this);
        break;
    }
    case PrintJob::AllToViewer:
        if (!exportAllRecords())
            return;   // the window stays open for another try
        break;
    case PrintJob::AllToPrinter:
        if (!exportAllRecords())
            return;
        ctx_.windows.get<frmView>()->PrintViewerText(false, this);
        break;
    case PrintJob::None:
        break;
    }
    close();
    frmView* viewer = ctx_.windows.get<frmView>();
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

void frmPrint::cmdExit_Click()
{
    close();
}

// Enter presses the focused button, as in any dialog.
void frmPrint::keyPressEvent(QKeyEvent* e)
{
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && e->modifiers() == Qt::NoModifier) {
        if (auto* b = qobject_cast<QPushButton*>(focusWidget())) {
            b->click();
            return;
        }
    }
    QWidget::keyPressEvent(e);
}

void frmPrint::closeEvent(QCloseEvent* e)
{
    Form_Unload();
    e->accept();
    ctx_.windows.forget(this);
}

} // namespace pb
