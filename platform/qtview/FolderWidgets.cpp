#include "platform/qtview/FolderWidgets.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyledItemDelegate>
#include <string>

#include "platform/base/RuntimeError.h"
#include "platform/forms/Events.h"

namespace quillane {

namespace {

constexpr int kLevelRole = Qt::UserRole + 1;  // an entry's depth below the root
constexpr int kIndentPixels = 8;              // per level, as a folder tree steps in
constexpr int kIconPixels = 16;               // small folder icons keep the rows compact

// Steps each entry in by its depth, so the ancestors read as a path from the root down.
class IndentDelegate : public QStyledItemDelegate {
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem indented(option);
        indented.rect.setLeft(option.rect.left() + indentOf(index));
        QStyledItemDelegate::paint(painter, indented, index);
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return QStyledItemDelegate::sizeHint(option, index) + QSize(indentOf(index), 0);
    }

  private:
    static int indentOf(const QModelIndex& index) {
        return index.data(kLevelRole).toInt() * kIndentPixels;
    }
};

}  // namespace

DriveComboBox::DriveComboBox(DriveListBox& model, QWidget* parent)
    : QComboBox(parent), m_model(model) {
    connect(this, &QComboBox::activated, this, [this](int row) { chooseRow(row); });
}

void DriveComboBox::syncFromModel() {
    const QSignalBlocker blocker(this);
    const std::vector<std::string>& list = m_model.List();
    bool same = count() == static_cast<int>(list.size());
    for (int i = 0; same && i < count(); ++i) same = itemText(i) == QString::fromStdString(list[i]);
    if (!same) {
        clear();
        for (const std::string& entry : list) addItem(QString::fromStdString(entry));
    }
    setCurrentIndex(m_model.ListIndex());
}

void DriveComboBox::chooseRow(int row) {
    if (row >= 0 && row < static_cast<int>(m_model.List().size())) {
        const std::string drive = m_model.List()[row];  // copied: the change may re-read the list
        ReportRuntimeErrors([&] { m_model.SetDrive(drive); });
    }
    syncFromModel();
}

void DriveComboBox::showPopup() {
    ReportRuntimeErrors([this] { m_model.Refresh(); });
    syncFromModel();
    QComboBox::showPopup();
}

FolderListWidget::FolderListWidget(DirListBox& model, QWidget* parent)
    : QListWidget(parent), m_model(model) {
    setItemDelegate(new IndentDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setUniformItemSizes(true);
    setIconSize(QSize(kIconPixels, kIconPixels));
}

void FolderListWidget::syncFromModel() {
    const QSignalBlocker blocker(this);
    clear();
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirIcon);
    const int current = m_model.CurrentEntry();
    const auto& entries = m_model.Entries();
    for (int row = 0; row < static_cast<int>(entries.size()); ++row) {
        // Names are bytes on disk; only the screen turns them into text.
        auto* item = new QListWidgetItem(row <= current ? open : closed,
                                         QString::fromStdString(entries[row].Name), this);
        item->setData(kLevelRole, entries[row].Level);
        item->setToolTip(QString::fromStdString(entries[row].FullPath));
    }
    if (current >= 0 && current < count()) {
        setCurrentRow(current);
        scrollToItem(item(current));
    }
}

void FolderListWidget::openRow(int row) {
    if (row < 0 || row >= static_cast<int>(m_model.Entries().size())) return;
    // Copied: setting the path rebuilds the entries.
    const std::string path = m_model.Entries()[row].FullPath;
    if (!ReportRuntimeErrors([&] { m_model.SetPath(path); })) {
        // The entry may name a folder removed meanwhile: drop it from the list. The error
        // has been shown already, so a second failure here is not shown again.
        try {
            m_model.Refresh();
        } catch (const RuntimeError&) {
        }
    }
    syncFromModel();
}

void FolderListWidget::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidgetItem* hit = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && hit != nullptr) {
        openRow(row(hit));
        return;
    }
    QListWidget::mouseDoubleClickEvent(event);
}

void FolderListWidget::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openRow(currentRow());
        return;
    }
    QListWidget::keyPressEvent(event);
}

}  // namespace quillane
