#include "gui/DirList.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QStyle>
#include <QTreeWidgetItemIterator>

namespace actualiz::gui {

namespace {

constexpr int kPathRole = Qt::UserRole;

QString Join(const QString& folder, const QString& name) {
    if (folder.endsWith(QLatin1Char('\\'))) return folder + name;
    return folder + QLatin1Char('\\') + name;
}

}  // namespace

DirList::DirList(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(1);
    header()->hide();
    // The chain of folders is drawn as nested items, always open; there is nothing to fold.
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(10);
    setSelectionMode(QAbstractItemView::SingleSelection);
    connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item, int) {
        if (item) emit folderOpened(PathOf(item));
    });
}

std::vector<DirList::Entry> DirList::Entries(const std::string& path,
                                             const std::vector<std::string>& subfolders) {
    std::vector<Entry> out;
    QString full = QString::fromStdString(path);
    if (full.size() < 2) return out;
    QString root = full.left(2) + QLatin1Char('\\');
    out.push_back({root, root, true});
    QString current = root;
    const QStringList parts = full.mid(2).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        current = Join(current, part);
        out.push_back({part, current, true});
    }
    for (const std::string& sub : subfolders) {
        QString name = QString::fromStdString(sub);
        out.push_back({name, Join(current, name), false});
    }
    return out;
}

void DirList::ShowFolder(const std::string& path, const std::vector<std::string>& subfolders) {
    QString key = QString::fromStdString(path);
    for (const std::string& sub : subfolders)
        key += QLatin1Char('\n') + QString::fromStdString(sub);
    if (key == shown_ && topLevelItemCount() > 0) return;
    shown_ = key;

    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parentItem = nullptr;
    QTreeWidgetItem* currentItem = nullptr;
    for (const Entry& entry : Entries(path, subfolders)) {
        auto* item = parentItem ? new QTreeWidgetItem(parentItem) : new QTreeWidgetItem(this);
        item->setText(0, entry.name);
        item->setIcon(0, entry.ancestor ? open : closed);
        item->setData(0, kPathRole, entry.path);
        item->setToolTip(0, entry.path);
        // Each folder of the path nests inside the one before; the subfolders all sit inside
        // the current folder.
        if (entry.ancestor) {
            parentItem = item;
            currentItem = item;
        }
    }
    expandAll();
    if (currentItem) {
        setCurrentItem(currentItem);
        scrollToItem(currentItem);
    }
}

QString DirList::PathOf(const QTreeWidgetItem* item) {
    return item ? item->data(0, kPathRole).toString() : QString();
}

QTreeWidgetItem* DirList::ItemFor(const QString& path) const {
    for (QTreeWidgetItemIterator it(const_cast<DirList*>(this)); *it; ++it)
        if (PathOf(*it) == path) return *it;
    return nullptr;
}

void DirList::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
        emit folderOpened(PathOf(currentItem()));
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

}  // namespace actualiz::gui
