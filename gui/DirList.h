#pragma once

#include <string>
#include <utility>
#include <vector>

#include <QString>
#include <QTreeWidget>

namespace actualiz::gui {

// The classic directory list: the folders of the current path from the drive root down, each
// one step further in and shown open, then the subfolders of the current folder, shown closed.
// Opening an entry (double-click, or Enter on the highlighted one) asks for that folder; the
// list itself only shows what the form's Dir1 holds.
class DirList : public QTreeWidget {
    Q_OBJECT

  public:
    explicit DirList(QWidget* parent = nullptr);

    // One entry of the list: the name shown and the Windows path it opens.
    struct Entry {
        QString name;
        QString path;
        bool ancestor;  // part of the current path (shown open) rather than a subfolder
    };
    // The entries for a Windows path such as "c:\datos\bases" (no trailing backslash except at a
    // drive root) and its subfolders: "c:\", "datos", "bases", then each subfolder.
    static std::vector<Entry> Entries(const std::string& path,
                                      const std::vector<std::string>& subfolders);

    // Shows the folder; the current folder is the highlighted entry. Nothing is rebuilt when the
    // folder and its subfolders are what the list already shows, so a re-render does not move
    // the user's highlight.
    void ShowFolder(const std::string& path, const std::vector<std::string>& subfolders);

    // The Windows path an entry opens (the item's own data).
    static QString PathOf(const QTreeWidgetItem* item);
    // The entry naming that path, or nullptr.
    QTreeWidgetItem* ItemFor(const QString& path) const;

  signals:
    void folderOpened(const QString& windowsPath);

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The classic list has no fold markers: every folder of the path is always open.
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}

  private:
    QString shown_;  // path and subfolders last built, to skip identical rebuilds
};

}  // namespace actualiz::gui
