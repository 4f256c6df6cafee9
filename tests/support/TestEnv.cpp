#include "support/TestEnv.h"


#include "platform/Codepage.h"
#include "platform/FieldBox.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QMenu>
#include <QMenuBar>
#include <QToolBar>

#include <functional>


namespace pb::test {

TestEnv::TestEnv() : oldCwd_(QDir::currentPath())
{
    QDir::setCurrent(dir_.path());
    QDir().mkpath(dir_.filePath(QStringLiteral("config")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.filePath(QStringLiteral("config")));
    makeContext();
    // Whatever the machine's language, a test starts on the Western code page.
    codepage::setCurrent(1252);
}

TestEnv::~TestEnv()
{
    ctx_.reset();
    QDir::setCurrent(oldCwd_);
}

QString TestEnv::path(const QString& name) const
{
    return dir_.filePath(name);
}

QString TestEnv::iniPath() const
{
    return dir_.filePath(QStringLiteral("config/RiveVozuDezi.ini"));
}

void TestEnv::writeBook(const QList<ContactRecord>& records)
{
    QFile f(phonebookPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test book");
    for (const ContactRecord& r : records)
        f.write(r.bytes.data(), static_cast<qint64>(kRecordSize));
}

void TestEnv::writeBookNames(const QStringList& firstNames)
{
    QList<ContactRecord> records;
    for (const QString& n : firstNames)
        records.append(named(n));
    writeBook(records);
}

void TestEnv::writeClipboard(const ContactRecord& r)
{
    QFile f(clipboardPath());
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write the test clipboard");
    f.write(r.bytes.data(), static_cast<qint64>(kRecordSize));
}

QByteArray TestEnv::fileBytes(const QString& name) const
{
    QFile f(path(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

QList<ContactRecord> TestEnv::bookOnDisk() const
{
    const QByteArray bytes = fileBytes(QStringLiteral("DravikBase.z8B"));
    QList<ContactRecord> out;
    for (qsizetype at = 0; at + static_cast<qsizetype>(kRecordSize) <= bytes.size();
         at += static_cast<qsizetype>(kRecordSize)) {
        ContactRecord r;
        std::copy_n(bytes.constData() + at, kRecordSize, r.bytes.begin());
        out.append(r);
    }
    return out;
}

QStringList TestEnv::firstNamesOnDisk() const
{
    QStringList out;
    for (const ContactRecord& r : bookOnDisk())
        out.append(FieldText(r, Field::FirstName));
    return out;
}

ContactRecord TestEnv::clipboardOnDisk() const
{
    const QByteArray bytes = fileBytes(QStringLiteral("PhoneClip.z8B"));
    ContactRecord r;
    std::copy_n(bytes.constData(), std::min<qsizetype>(bytes.size(), kRecordSize), r.bytes.begin());
    return r;
}

void TestEnv::setSetting(const QString& key, const QString& value)
{
    settings_.save(QStringLiteral("RiveVozuDezi"), QStringLiteral("Phonebook"), key, value);
}

QString TestEnv::setting(const QString& key) const
{
    return settings_.get(QStringLiteral("RiveVozuDezi"), QStringLiteral("Phonebook"), key, QString());
}

bool TestEnv::hasSetting(const QString& key) const
{
    const QSettings s(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("RiveVozuDezi"));
    return s.contains(QStringLiteral("Phonebook/") + key);
}

Data* TestEnv::openData()
{
    Data* d = ctx_->windows.get<Data>();
    d->show();
    if (!QTest::qWaitForWindowExposed(d))
        qWarning("main window not exposed");
    return d;
}

void TestEnv::closeData()
{
    if (Data* d = ctx_->windows.existing<Data>())
        d->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

void TestEnv::restart()
{
    closeData();
    ctx_.reset();
    makeContext();
}

// A context of the test's services; never the machine's keyring.
void TestEnv::makeContext()
{
    ctx_ = std::make_unique<AppContext>(boxes_, settings_, dialogs_, programs_);
    ctx_->setMainWindowClass<Data>();
    ctx_->keyring = [this] { return std::make_unique<KeyringView>(keyring_); };
}

QStringList TestEnv::messages() const
{
    QStringList out;
    for (const auto& s : boxes_.shown)
        out.append(s.text);
    return out;
}

QLineEdit* lineEdit(QWidget* w, const char* name)
{
    auto* e = w->findChild<QLineEdit*>(QString::fromLatin1(name));
    if (!e)
        qFatal("no line edit %s", name);
    return e;
}

QPushButton* button(QWidget* w, const char* name)
{
    auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name));
    if (!b)
        qFatal("no button %s", name);
    return b;
}

QAction* action(QWidget* w, const char* name)
{
    auto* a = w->findChild<QAction*>(QString::fromLatin1(name));
    if (!a)
        qFatal("no action %s", name);
    return a;
}

QString title(Data* d)
{
    return d->windowTitle();
}

QString recordBox(Data* d)
{
    return lineEdit(d, "txtRecord")->text();
}

QString countLabel(Data* d)
{
    return d->findChild<QLabel*>(QStringLiteral("lblRecord"))->text();
}

QStringList shownBoxes(Data* d)
{
    QStringList out;
    for (Field f : kAllFields)
        out.append(d->boxText(f));
    return out;
}

void click(QWidget* w, const char* buttonName)
{
    QPushButton* b = button(w, buttonName);
    QTest::mouseClick(b, Qt::LeftButton);
}

void typeInto(QWidget* w, const char* boxName, const QString& text, bool clearFirst)
{
    QWidget* box = w->findChild<QWidget*>(QString::fromLatin1(boxName));
    if (!box)
        qFatal("no box %s", boxName);
    box->setFocus();
    if (clearFirst) {
        if (auto* line = qobject_cast<QLineEdit*>(box))
            line->clear();
        else if (auto* multi = qobject_cast<MultiLineBox*>(box))
            multi->clear();
    }
    QTest::keyClicks(box, text);
}

void goTo(Data* d, int n)
{
    click(d, "cmdBegining");
    for (int i = 1; i < n; ++i)
        click(d, "cmdNext");
}

void clickToolbar(Data* d, const char* key)
{
    auto* bar = d->findChild<QToolBar*>(QStringLiteral("Toolbar1"));
    auto* a = bar ? bar->findChild<QAction*>(QString::fromLatin1(key)) : nullptr;
    QWidget* button = a ? bar->widgetForAction(a) : nullptr;
    if (!button)
        qFatal("no toolbar button %s", key);
    QTest::mouseClick(button, Qt::LeftButton);
}

QString dumpCommands(QWidget* window)
{
    QStringList lines;
    const auto state = [](QAction* a) {
        QString s;
        QStringList keys;
        for (const QKeySequence& k : a->shortcuts())
            keys << k.toString(QKeySequence::PortableText);
        if (!keys.isEmpty())
            s += QStringLiteral(" [%1]").arg(keys.join(QStringLiteral(", ")));
        if (!a->isVisible())
            s += QStringLiteral(" hidden");
        if (!a->isEnabled())
            s += QStringLiteral(" disabled");
        if (a->isCheckable())
            s += a->isChecked() ? QStringLiteral(" checked") : QStringLiteral(" unchecked");
        return s;
    };
    std::function<void(QMenu*, int)> walk = [&](QMenu* menu, int depth) {
        for (QAction* a : menu->actions()) {
            const QString indent(depth * 2, u' ');
            if (a->isSeparator()) {
                lines << indent + QStringLiteral("---") + state(a);
                continue;
            }
            const QString name = a->menu() ? a->menu()->objectName() : a->objectName();
            lines << indent + name + QStringLiteral(" \"") + a->text() + u'"' + state(a);
            if (a->menu())
                walk(a->menu(), depth + 1);
        }
    };
    for (QMenuBar* bar : window->findChildren<QMenuBar*>())
        for (QAction* a : bar->actions()) {
            lines << (a->menu() ? a->menu()->objectName() : a->objectName()) + QStringLiteral(" \"") + a->text() + u'"' + state(a);
            if (a->menu())
                walk(a->menu(), 1);
        }
    for (QToolBar* bar : window->findChildren<QToolBar*>()) {
        lines << QStringLiteral("toolbar ") + bar->objectName();
        for (QAction* a : bar->actions()) {
            if (a->isSeparator())
                continue;
            QWidget* button = bar->widgetForAction(a);
            lines << QStringLiteral("  ") + a->data().toString() + QStringLiteral(" \"") + a->toolTip() + u'"' +
                         (a->icon().isNull() ? QStringLiteral(" no picture") : QString()) +
                         (button && button->isVisible() ? QString() : QStringLiteral(" hidden"));
        }
    }
    return lines.join(u'\n') + u'\n';
}

ScriptedMessageBoxes::Shown lastBox(TestEnv& env)
{
    return env.boxes().shown.isEmpty() ? ScriptedMessageBoxes::Shown{} : env.boxes().shown.last();
}

} // namespace pb::test
