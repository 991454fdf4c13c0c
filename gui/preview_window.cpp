#include "gui/preview_window.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"

using namespace qubopost::platform;
using namespace qubopost::view;

namespace qubopost::gui {

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

enum Column { NumberColumn, DestinationColumn, SubjectColumn };

// Destinations lose their middle, not their domain, when they must be shortened.
class DestinationDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->textElideMode = Qt::ElideMiddle;
    }
};

// Sizes the columns to their content: the number and the destination whole, the subject
// in the rest. Only when the list is too narrow for that does the destination give way,
// keeping a room for the subject.
class ColumnFitter : public QObject {
public:
    explicit ColumnFitter(QTreeWidget* list)
        : QObject(list), m_list(list), m_viewport(list->viewport()) {
        m_viewport->installEventFilter(this);
    }
    void Fit() {
        QHeaderView* header = m_list->header();
        // Each column's content width, header included.
        m_list->resizeColumnToContents(NumberColumn);
        m_list->resizeColumnToContents(DestinationColumn);
        const int number = m_list->columnWidth(NumberColumn);
        const int destination = m_list->columnWidth(DestinationColumn);
        const int subjectRoom = std::max(header->sectionSizeHint(SubjectColumn),
                                         m_list->fontMetrics().averageCharWidth() * 12);
        const int available = m_list->viewport()->width();
        header->resizeSection(DestinationColumn,
                              std::max(header->sectionSizeHint(DestinationColumn),
                                       std::min(destination, available - number - subjectRoom)));
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        // Compared with the stored viewport: the list may be half destroyed when its
        // children's last events come.
        if (watched == m_viewport && event->type() == QEvent::Resize) Fit();
        return false;
    }

private:
    QTreeWidget* m_list;
    QWidget* m_viewport;
};

}  // namespace

bool RunPreviewWindow(QWidget* parent, view::PostingPreview& preview) {
    QDialog window(parent);
    window.setObjectName(QStringLiteral("postingPreview"));
    window.setWindowTitle(Qs(messages::kGuiPreviewTitle));
    window.setWindowIcon(QubopostIcon());
    window.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&window);

    auto* summary = new QLabel(Q(preview.summary), &window);
    summary->setWordWrap(true);
    summary->setObjectName(QStringLiteral("summary"));
    layout->addWidget(summary);
    if (!preview.warning.empty()) {
        // A warning, not a refusal: 確認 still works; the button beside it mends it.
        auto* row = new QHBoxLayout;
        auto* warning = new QLabel(QStringLiteral("⚠ ") + Q(preview.warning), &window);
        warning->setObjectName(QStringLiteral("warning"));
        warning->setWordWrap(true);
        warning->setStyleSheet(QStringLiteral("QLabel { color: #8a4b00; }"));
        warning->setAccessibleName(Qs(messages::kGuiWarningName));
        warning->setAccessibleDescription(Q(preview.warning));
        row->addWidget(warning, 1);
        if (!preview.fixCaption.empty()) {
            auto* fix = new QPushButton(Q(preview.fixCaption), &window);
            fix->setObjectName(QStringLiteral("fix"));
            fix->setAutoDefault(false);
            QObject::connect(fix, &QPushButton::clicked, &window, [&window, &preview] {
                preview.fixChosen = true;
                window.reject();
            });
            row->addWidget(fix, 0, Qt::AlignTop);
        }
        layout->addLayout(row);
    }

    auto* splitter = new QSplitter(Qt::Vertical, &window);
    auto* list = new QTreeWidget(splitter);
    list->setObjectName(QStringLiteral("messages"));
    list->setColumnCount(3);
    list->setHeaderLabels({Qs(messages::kGuiColumnNumber), Qs(messages::kGuiColumnDestination),
                           Qs(messages::kGuiColumnSubject)});
    list->setAccessibleName(Qs(messages::kGuiPreviewListName));
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setItemDelegateForColumn(DestinationColumn, new DestinationDelegate(list));
    list->header()->setStretchLastSection(true);
    list->header()->setSectionResizeMode(QHeaderView::Interactive);
    for (const view::PreviewMessage& message : preview.messages) {
        auto* item = new QTreeWidgetItem(
            list, {QString::number(message.number), Q(message.destination), Q(message.subject)});
        item->setTextAlignment(NumberColumn, Qt::AlignRight | Qt::AlignVCenter);
        // The whole text, whatever the column shows of it.
        item->setToolTip(DestinationColumn, Q(message.destination));
        item->setToolTip(SubjectColumn, Q(message.subject));
    }
    auto* fitter = new ColumnFitter(list);
    auto* body = new QPlainTextEdit(splitter);
    body->setObjectName(QStringLiteral("body"));
    body->setAccessibleName(Qs(messages::kGuiPreviewBodyName));
    body->setReadOnly(true);
    body->setPlaceholderText(Qs(messages::kGuiPreviewBodyPlaceholder));
    QObject::connect(
        list, &QTreeWidget::currentItemChanged, body,
        [&preview, list, body](QTreeWidgetItem* item) {
            const int row = item ? list->indexOfTopLevelItem(item) : -1;
            body->setPlainText(row >= 0 ? Q(preview.messages[static_cast<std::size_t>(row)].body)
                                        : QString());
        });
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);

    auto* note = new QLabel(Qs(messages::kGuiPreviewNote), &window);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QDialogButtonBox(&window);
    QPushButton* confirm =
        buttons->addButton(Qs(messages::kGuiButtonConfirm), QDialogButtonBox::AcceptRole);
    buttons->addButton(Qs(messages::kGuiButtonBack), QDialogButtonBox::RejectRole);
    confirm->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    layout->addWidget(buttons);

    if (!preview.messages.empty()) list->setCurrentItem(list->topLevelItem(0));
    window.setFont(parent ? parent->font() : window.font());
    // Within the screen, whatever its size and scale.
    const QSize available = window.screen()->availableGeometry().size() - QSize(16, 48);
    window.resize(QSize(720, 520).boundedTo(available));
    fitter->Fit();
    return window.exec() == QDialog::Accepted;
}

}  // namespace qubopost::gui
