#include "mainwindow/ToolbarCustomizer.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QToolBar>
#include <QVBoxLayout>

namespace pb {

namespace {

const QString kSeparatorText = QStringLiteral("Separator");

QAction* findButton(const QList<QAction*>& buttons, const QString& key)
{
    for (QAction* a : buttons)
        if (a->data().toString() == key)
            return a;
    return nullptr;
}

QListWidgetItem* itemFor(const QList<QAction*>& buttons, const QString& key)
{
    if (key.isEmpty()) {
        auto* item = new QListWidgetItem(kSeparatorText);
        item->setData(Qt::UserRole, QString());
        return item;
    }
    QAction* a = findButton(buttons, key);
    auto* item = new QListWidgetItem(a->icon(), a->toolTip().trimmed());
    item->setData(Qt::UserRole, key);
    return item;
}

} // namespace

QStringList ToolbarCustomizer::defaultLayout(const QList<QAction*>& buttons)
{
    QStringList layout;
    for (QAction* a : buttons) {
        const QString key = a->data().toString();
        if (key == QLatin1String("OpenData") || key == QLatin1String("CopyRecord") ||
            key == QLatin1String("Customize"))
            layout << QString();
        layout << key;
    }
    return layout;
}

QStringList ToolbarCustomizer::currentLayout(const QToolBar* bar)
{
    QStringList layout;
    for (QAction* a : bar->actions())
        layout << (a->isSeparator() ? QString() : a->data().toString());
    return layout;
}

void ToolbarCustomizer::arrange(QToolBar* bar, const QList<QAction*>& buttons, const QStringList& layout)
{
    for (QAction* a : bar->actions()) {
        bar->removeAction(a);
        if (a->isSeparator())
            delete a;
    }
    for (const QString& key : layout) {
        if (key.isEmpty())
            bar->addSeparator();
        else if (QAction* a = findButton(buttons, key))
            bar->addAction(a);
    }
}

ToolbarCustomizer::ToolbarCustomizer(QToolBar* bar, const QList<QAction*>& buttons, QWidget* parent)
    : QDialog(parent), bar_(bar), buttons_(buttons)
{
    setObjectName(QStringLiteral("ToolbarCustomizer"));
    setWindowTitle(QStringLiteral("Customize Toolbar"));
    available_ = new QListWidget(this);
    available_->setObjectName(QStringLiteral("lstAvailable"));
    available_->setAccessibleName(QStringLiteral("Available toolbar buttons"));
    current_ = new QListWidget(this);
    current_->setObjectName(QStringLiteral("lstCurrent"));
    current_->setAccessibleName(QStringLiteral("Toolbar buttons"));

    auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* add = button("cmdAddButton", QStringLiteral("&Add ->"));
    QPushButton* remove = button("cmdRemoveButton", QStringLiteral("<- &Remove"));
    QPushButton* up = button("cmdMoveUp", QStringLiteral("Move &Up"));
    QPushButton* down = button("cmdMoveDown", QStringLiteral("Move &Down"));
    QPushButton* reset = button("cmdReset", QStringLiteral("R&eset"));
    QPushButton* closeButton = button("cmdClose", QStringLiteral("&Close"));
    closeButton->setDefault(true);

    auto* grid = new QGridLayout(this);
    // Each caption's access key takes the focus to its list.
    auto* availableCaption = new QLabel(QStringLiteral("A&vailable toolbar buttons:"), this);
    availableCaption->setBuddy(available_);
    auto* currentCaption = new QLabel(QStringLiteral("&Toolbar buttons:"), this);
    currentCaption->setBuddy(current_);
    grid->addWidget(availableCaption, 0, 0);
    grid->addWidget(currentCaption, 0, 2);
    grid->addWidget(available_, 1, 0);
    auto* middle = new QVBoxLayout;
    middle->addStretch();
    middle->addWidget(add);
    middle->addWidget(remove);
    middle->addStretch();
    grid->addLayout(middle, 1, 1);
    grid->addWidget(current_, 1, 2);
    auto* side = new QVBoxLayout;
    side->addWidget(closeButton);
    side->addWidget(reset);
    side->addSpacing(12);
    side->addWidget(up);
    side->addWidget(down);
    side->addStretch();
    grid->addLayout(side, 1, 3);

    connect(add, &QPushButton::clicked, this, &ToolbarCustomizer::addSelected);
    connect(available_, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizer::addSelected);
    connect(remove, &QPushButton::clicked, this, &ToolbarCustomizer::removeSelected);
    connect(current_, &QListWidget::itemDoubleClicked, this, &ToolbarCustomizer::removeSelected);
    connect(up, &QPushButton::clicked, this, [this] { moveSelected(-1); });
    connect(down, &QPushButton::clicked, this, [this] { moveSelected(1); });
    connect(reset, &QPushButton::clicked, this, [this] { apply(defaultLayout(buttons_), 0); });
    connect(closeButton, &QPushButton::clicked, this, &QDialog::accept);
    refill(0, 0);
}

void ToolbarCustomizer::refill(int selectCurrent, int selectAvailable)
{
    const QStringList layout = currentLayout(bar_);
    current_->clear();
    for (const QString& key : layout)
        current_->addItem(itemFor(buttons_, key));
    available_->clear();
    available_->addItem(itemFor(buttons_, QString()));
    for (QAction* a : buttons_)
        if (!layout.contains(a->data().toString()))
            available_->addItem(itemFor(buttons_, a->data().toString()));
    if (current_->count() > 0)
        current_->setCurrentRow(std::clamp(selectCurrent, 0, current_->count() - 1));
    available_->setCurrentRow(std::clamp(selectAvailable, 0, available_->count() - 1));
}

void ToolbarCustomizer::apply(const QStringList& layout, int selectCurrent)
{
    arrange(bar_, buttons_, layout);
    refill(selectCurrent, available_->currentRow());
}

void ToolbarCustomizer::addSelected()
{
    QListWidgetItem* item = available_->currentItem();
    if (!item)
        return;
    QStringList layout = currentLayout(bar_);
    const int at = current_->currentRow() < 0 ? static_cast<int>(layout.size()) : current_->currentRow() + 1;
    layout.insert(at, item->data(Qt::UserRole).toString());
    apply(layout, at);
}

void ToolbarCustomizer::removeSelected()
{
    const int row = current_->currentRow();
    QStringList layout = currentLayout(bar_);
    if (row < 0 || row >= layout.size())
        return;
    layout.removeAt(row);
    apply(layout, row);
}

void ToolbarCustomizer::moveSelected(int by)
{
    const int row = current_->currentRow();
    QStringList layout = currentLayout(bar_);
    const int to = row + by;
    if (row < 0 || to < 0 || to >= layout.size())
        return;
    layout.move(row, to);
    apply(layout, to);
}

} // namespace pb
