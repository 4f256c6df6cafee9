#include "comm/MailPanel.h"

#include "platform/Busy.h"
#include "platform/Codepage.h"
#include "platform/FieldBox.h"
#include "platform/MailService.h"
#include "platform/MessageBoxes.h"
#include "platform/Twips.h"
#include "print/PrintLayout.h"
#include "records/FileIo.h"
#include "shell/AppContext.h"
#include "shell/RecordWindow.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QPushButton>

#include <limits>

#include <memory>

namespace pb {

using colors::kBrown;
using colors::kYellow;
using colors::kLightOrange;

namespace {


QLabel* panelLabel(QWidget* area, const char* name, const QString& caption, int left, int top)
{
    auto* l = new QLabel(caption, area);
    l->setObjectName(QString::fromLatin1(name));
    setBackColor(l, kBrown);
    setForeColor(l, kYellow);
    l->adjustSize();   // sized to its caption
    l->move(twips::toPixels(left), twips::toPixels(top));
    return l;
}

QLineEdit* panelBox(QWidget* area, const char* name, int left, int top, int width, int height)
{
    auto* box = new QLineEdit(area);
    box->setObjectName(QString::fromLatin1(name));
    setBackColor(box, kLightOrange);
    setForeColor(box, 0);
    twips::place(box, left, top, width, height);
    return box;
}

QPushButton* panelButton(QWidget* area, const char* name, const QString& caption, const QString& tip)
{
    auto* b = new QPushButton(caption, area);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(tip);
    return b;
}

} // namespace

MailPanel::MailPanel(AppContext& ctx, RecordWindow& window, QWidget* area, std::function<void()> pointerOverSendMail)
    : QObject(window.widget()), ctx_(ctx), window_(window), pointerOverSendMail_(std::move(pointerOverSendMail))
{
    setObjectName(QStringLiteral("MailPanel"));

    cmdSendMail = panelButton(area, "cmdSendMail", QStringLiteral("E-Mail >>>"), QStringLiteral("Write an e-mail"));
    twips::place(cmdSendMail, 3615, 3960, 1560, 375);
    cmdSendMail->setMouseTracking(true);
    cmdSendMail->installEventFilter(this);

    Label10 = panelLabel(area, "Label10", QStringLiteral("TO:"), 6120, 1800);
    txtMFirst = panelBox(area, "txtMFirst", 6480, 1680, 2655, 285);
    txtMEmail = panelBox(area, "txtMEmail", 6480, 1920, 2655, 300);
    Label11 = panelLabel(area, "Label11", QStringLiteral("SUBJECT:"), 5640, 2280);
    txtSubject = panelBox(area, "txtSubject", 6480, 2205, 2655, 285);
    // Names a screen reader can say: the captions name the first box of their row.
    Label10->setBuddy(txtMFirst);
    Label11->setBuddy(txtSubject);
    txtMFirst->setAccessibleName(QStringLiteral("To: name"));
    txtMEmail->setAccessibleName(QStringLiteral("To: e-mail address"));
    txtSubject->setAccessibleName(QStringLiteral("Subject"));

    txtMessage = new MultiLineBox(area);
    txtMessage->setObjectName(QStringLiteral("txtMessage"));
    txtMessage->setAccessibleName(QStringLiteral("Message"));
    txtMessage->setMaxChars(std::numeric_limits<int>::max());
    txtMessage->setLineWrapMode(MultiLineBox::NoWrap);
    txtMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    txtMessage->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setBackColor(txtMessage, kLightOrange);
    setForeColor(txtMessage, 0);
    twips::place(txtMessage, 5520, 2730, 4455, 3855);

    cmdSend = panelButton(area, "cmdSend", QStringLiteral("Send"), QStringLiteral("Send now"));
    twips::place(cmdSend, 9200, 1760, 735, 735);
    connect(cmdSend, &QPushButton::clicked, this, &MailPanel::SendMail);
}

bool MailPanel::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == cmdSendMail) {
        // Only a mouse button opens the panel; the keyboard does not.
        if (e->type() == QEvent::MouseButtonPress)
            MailToContact();
        else if (e->type() == QEvent::MouseMove && pointerOverSendMail_)
            pointerOverSendMail_();
    }
    return QObject::eventFilter(watched, e);
}

void MailPanel::setPanelVisible(bool visible)
{
    for (QWidget* w : std::initializer_list<QWidget*>{Label10, txtMFirst, txtMEmail, Label11, txtSubject, txtMessage, cmdSend})
        w->setVisible(visible);
}

void MailPanel::showPanel()
{
    twips::setOuterWidth(window_.widget(), kOpenWidth);
}

void MailPanel::MailToContact()
{
    showPanel();
    txtMFirst->setText(window_.boxText(Field::FirstName) + window_.boxText(Field::LastName));
    txtMEmail->setText(window_.boxText(Field::Email));
}

void MailPanel::InfoAboutContact()
{
    showPanel();
    txtMessage->setText(window_.CurrentRecordText());
}

void MailPanel::SendAllRecords()
{
    showPanel();
    AppContext& ctx = ctx_;
    QString error;
    std::optional<BusyCursor> busy(std::in_place);
    bool ok = WritePrintFile(ctx.book, window_.recordCount().value_or(0), &error);
    QByteArray bytes;
    if (ok) {
        QFile file(QDir::current().filePath(QString::fromLatin1(kPrintFileName)));
        ok = io::openRegular(file, QIODevice::ReadOnly, &error);
        if (ok)
            bytes = file.readAll();
        if (ok && file.error() != QFileDevice::NoError) {
            ok = false;
            error = file.errorString();
        }
    }
    if (!ok) {
        busy.reset();
        // The message keeps what it held rather than an older print file.
        ctx.boxes.show(window_.widget(),
                       QStringLiteral("Unable to write the print file ") + QString::fromLatin1(kPrintFileName) +
                           QStringLiteral("\r\nCause: ") + error,
                       QStringLiteral("ERROR"), MsgButtons::Ok, MsgIcon::Critical);
        return;
    }
    // Taking in a whole book's text is long work too: the busy cursor stays.
    const QString text = codepage::decode(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    bytes.clear();
    txtMessage->setText(text);
}

void MailPanel::SendMail()
{
    // A long message is read out and written aside before the hand-off.
    std::optional<BusyCursor> busy(std::in_place);
    MailMessage m;
    m.address = txtMEmail->text();
    m.displayName = txtMFirst->text();
    m.subject = txtSubject->text();
    m.body = txtMessage->text();
    // One hand-off at a time; the window stays usable meanwhile.
    cmdSend->setEnabled(false);
    const QPointer<MailPanel> self(this);
    // A refusal may come at once, while this function still runs: the busy
    // cursor goes before its message box. Later answers find it gone.
    const auto during = std::make_shared<bool>(true);
    std::optional<BusyCursor>* cursor = &busy;
    MailService::current().send(m, [self, during, cursor](bool ok, const QString& error) {
        if (*during)
            cursor->reset();
        if (!self)
            return;
        self->cmdSend->setEnabled(true);
        if (!ok)
            self->ctx_.boxes.show(self->window_.widget(), QStringLiteral("Unable to send mail\r\nCause: ") + error,
                                               QStringLiteral("ERROR"), MsgButtons::Ok, MsgIcon::Critical);
    });
    *during = false;
}

} // namespace pb
