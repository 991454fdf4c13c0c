#include "platform/qt/preview_window.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "platform/qt/qubopost_icon.h"

namespace {

QString Q(const std::string& utf8) { return QString::fromStdString(utf8); }

}  // namespace

bool RunPreviewWindow(QWidget* parent, const PostingPreview& preview) {
    QDialog window(parent);
    window.setObjectName(QStringLiteral("postingPreview"));
    window.setWindowTitle(QStringLiteral("投稿内容の確認 - Qubopost"));
    window.setWindowIcon(QubopostIcon());
    window.setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(&window);

    auto* summary = new QLabel(Q(preview.summary), &window);
    summary->setWordWrap(true);
    summary->setObjectName(QStringLiteral("summary"));
    layout->addWidget(summary);

    auto* splitter = new QSplitter(Qt::Vertical, &window);
    auto* list = new QTreeWidget(splitter);
    list->setObjectName(QStringLiteral("messages"));
    list->setColumnCount(3);
    list->setHeaderLabels({QStringLiteral("番号"), QStringLiteral("投稿先"), QStringLiteral("件名")});
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    for (const PreviewMessage& message : preview.messages) {
        auto* item = new QTreeWidgetItem(
            list, {QString::number(message.number), Q(message.destination), Q(message.subject)});
        item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
    }
    list->resizeColumnToContents(1);
    auto* body = new QPlainTextEdit(splitter);
    body->setObjectName(QStringLiteral("body"));
    body->setReadOnly(true);
    body->setPlaceholderText(QStringLiteral("一覧でメールを選ぶと本文を表示します。"));
    QObject::connect(list, &QTreeWidget::currentItemChanged, body, [&preview, list, body](QTreeWidgetItem* item) {
        const int row = item ? list->indexOfTopLevelItem(item) : -1;
        body->setPlainText(row >= 0 ? Q(preview.messages[static_cast<std::size_t>(row)].body) : QString());
    });
    splitter->setStretchFactor(0, 3);
    splitter->setStretchFactor(1, 2);
    layout->addWidget(splitter, 1);

    auto* note = new QLabel(QStringLiteral("「確認」で「ブログ投稿開始」が押せるようになります。まだ何も送りません。"),
                            &window);
    note->setWordWrap(true);
    layout->addWidget(note);

    auto* buttons = new QDialogButtonBox(&window);
    QPushButton* confirm = buttons->addButton(QStringLiteral("確認(&O)"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("戻る(&B)"), QDialogButtonBox::RejectRole);
    confirm->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &window, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &window, &QDialog::reject);
    layout->addWidget(buttons);

    if (!preview.messages.empty()) list->setCurrentItem(list->topLevelItem(0));
    window.setFont(parent ? parent->font() : window.font());
    // Within the screen, whatever its size and scale.
    const QSize available = window.screen()->availableGeometry().size() - QSize(16, 48);
    window.resize(QSize(720, 520).boundedTo(available));
    return window.exec() == QDialog::Accepted;
}
