#include "gui/qt_dialog.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QComboBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <condition_variable>
#include <string>

#include "gui/about_box.h"
#include "gui/dialog_template.h"
#include "gui/gui_thread.h"
#include "gui/message_box.h"
#include "gui/preview_window.h"
#include "gui/qt_text.h"
#include "gui/qubopost_icon.h"
#include "gui/side_windows.h"
#include "platform/encoding.h"
#include "platform/field_text.h"
#include "resources/control_table.h"
#include "view/dialog_handlers.h"

using namespace qubopost::platform;
using namespace qubopost::resources;
using namespace qubopost::view;

namespace qubopost::gui {

// A message box asked for by a worker thread: the worker waits on it until the box is
// dismissed or the dialog ends.
struct QtDialog::PendingBox {
    std::mutex mutex;
    std::condition_variable released;
    bool done = false;

    void Release() {
        {
            std::lock_guard lock(mutex);
            done = true;
        }
        released.notify_all();
    }
    void Wait() {
        std::unique_lock lock(mutex);
        released.wait(lock, [this] { return done; });
    }
};

namespace {

// The category items in the order of the sorted list: by their Shift-JIS bytes, which
// puts kana before kanji and the common kanji in the order of their readings.
std::vector<QString> SortedCategoryItems() {
    std::vector<std::pair<std::string, QString>> items;
    for (std::string_view item : CategoryItems()) {
        items.emplace_back(Sjis(item).Bytes(), FromUtf8View(item));
    }
    std::stable_sort(items.begin(), items.end(), [](const auto& a, const auto& b) {
        return std::lexicographical_compare(
            a.first.begin(), a.first.end(), b.first.begin(), b.first.end(), [](char x, char y) {
                return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
            });
    });
    std::vector<QString> sorted;
    sorted.reserve(items.size());
    for (auto& item : items) sorted.push_back(std::move(item.second));
    return sorted;
}

bool IsMultiLine(const QWidget* widget) { return qobject_cast<const QPlainTextEdit*>(widget); }

bool IsInputKind(ControlKind kind) {
    return kind == ControlKind::Edit || kind == ControlKind::MultiEdit ||
           kind == ControlKind::WrappingEdit || kind == ControlKind::ComboBox;
}

// Names of the controls that have no label of their own in the table.
constexpr std::pair<int, const messages::Message*> kOwnNames[] = {
    {IDC_ARTICLE, &messages::kGuiArticleName},
    {IDC_LOG, &messages::kGuiLogName},
    {IDC_PROGRESS, &messages::kGuiProgressName},
};

// What a screen reader says after a field's name: the form the field expects.
constexpr std::pair<int, const messages::Message*> kFieldDescriptions[] = {
    {IDC_FROM_ADDRESS, &messages::kGuiFromDescription},
    {IDC_SMTP_SERVER, &messages::kGuiServerDescription},
    {IDC_SMTP_PORT, &messages::kGuiPortDescription},
    {IDC_BLOG_ADDRESSES, &messages::kGuiDestinationsDescription},
    {IDC_ARTICLE, &messages::kGuiArticleDescription},
};

// Reading order: the left column top to bottom (基本設定, 投稿先ブログアドレス, 設定[1] to
// 設定[3], 表示内容, the article), then the right column (投稿文フォーマット, the buttons,
// the log). Tab and Shift+Tab follow it.
constexpr int kReadingOrder[] = {
    IDC_FROM_ADDRESS, IDC_SMTP_SERVER, IDC_SMTP_PORT, IDC_BLOG_ADDRESSES, IDC_KIND_DOWNLOAD,
    IDC_KIND_MAILMAG, IDC_KIND_GOODS,  IDC_CATEGORY,  IDC_AFFILIATE_ID,   IDC_RANK_MONTHLY,
    IDC_RANK_DAILY,   IDC_RANK_PICKUP, IDC_ARTICLE,   IDC_HEADER,         IDC_FOOTER,
    IDC_GENERATE,     IDC_CLEAR,       IDCANCEL,      IDC_START_POST,     IDC_CONFIRM_POST,
    IDC_LOG,
};

// The window's key for each of its buttons (the captions carry no mnemonic). Alt+A, Alt+S,
// Alt+R and Alt+H belong to the context menu's other entries.
constexpr std::pair<int, QKeyCombination> kButtonKeys[] = {
    {IDC_GENERATE, Qt::ALT | Qt::Key_G},         {IDC_CLEAR, Qt::ALT | Qt::Key_C},
    {IDC_CONFIRM_POST, Qt::ALT | Qt::Key_P},     {IDC_START_POST, Qt::ALT | Qt::Key_B},
    {IDCANCEL, QKeyCombination(Qt::Key_Escape)},  // the dialog's own Esc, shown only
};

QString ButtonToolTip(const QString& caption, const QKeySequence& key) {
    return caption + QStringLiteral(" (") + key.toString(QKeySequence::NativeText) +
           QLatin1Char(')');
}

// The controls' frame: it follows the scroll area's viewport and never gets smaller than
// the dialog's own size, so a small screen scrolls instead of cutting controls off.
class DialogContent : public QWidget {
public:
    DialogContent(QtDialog* dialog, QSize minimum) : QWidget(nullptr), m_dialog(dialog) {
        setMinimumSize(minimum);
    }

protected:
    void resizeEvent(QResizeEvent* event) override {
        QWidget::resizeEvent(event);
        m_dialog->Relayout(size());
    }

private:
    QtDialog* m_dialog;
};

// One-line fields take no line breaks: a pasted text keeps its words, without them.
void DropLineBreaks(QLineEdit* edit) {
    QObject::connect(edit, &QLineEdit::textEdited, edit, [edit](const QString& text) {
        if (!text.contains(QLatin1Char('\n')) && !text.contains(QLatin1Char('\r'))) return;
        const int cursor = edit->cursorPosition();
        QString cleaned = text;
        cleaned.remove(QLatin1Char('\r')).remove(QLatin1Char('\n'));
        edit->setText(cleaned);
        edit->setCursorPosition(std::min<int>(cursor, static_cast<int>(cleaned.size())));
    });
}

}  // namespace

QtDialog::QtDialog(view::DialogHandlers& handlers, QWidget* parent)
    : QDialog(parent), m_handlers(handlers), m_units(DialogUnits::FromFont(DialogFont())) {
    // A main window of its own: caption, system menu, minimise box, own taskbar entry;
    // fixed size, so no maximise box.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    SetUpDialogFrame(*this, MainDialog(), m_units);
    // The dialog's size is where it starts; the window may grow (the article and the log
    // grow with it) and, on a small screen, shrink (the controls then scroll).
    m_defaultSize = size();
    setMinimumSize(0, 0);
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    setSizeGripEnabled(true);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    // Tab goes round the controls only; the frame around them is no stop of its own.
    m_scroll->setFocusPolicy(Qt::NoFocus);
    m_scroll->setWidgetResizable(true);
    m_content = new DialogContent(this, m_defaultSize);
    m_scroll->setWidget(m_content);
    layout->addWidget(m_scroll);
    CreateControls();
    // The About item and the other entries live in the context menu of the background.
    setContextMenuPolicy(Qt::ActionsContextMenu);
    m_content->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_content, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        const std::vector<QAction*> entries = ContextMenuActions();
        if (!entries.empty())
            QMenu::exec(QList<QAction*>(entries.begin(), entries.end()), m_content->mapToGlobal(at),
                        nullptr, this);
    });
    resize(m_defaultSize);
    // Open within the screen: a screen smaller than the dialog gets a smaller window.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        const QSize fitted = m_defaultSize.boundedTo(available.size() - QSize(16, 48));
        resize(fitted);
        move(available.topLeft() + QPoint(std::max(0, (available.width() - fitted.width()) / 2),
                                          std::max(0, (available.height() - fitted.height()) / 2)));
    }
    RestoreWindowState(m_handlers.LoadWindowState());
}

QtDialog::~QtDialog() { MarkEnded(); }

void QtDialog::CreateControls() {
    QButtonGroup* group = nullptr;
    std::vector<QWidget*> groupBoxes;
    const ControlDef* previous = nullptr;
    for (const ControlDef& def : MainDialog().controls) {
        QWidget* widget = CreateControl(def, m_content, m_units);
        // A field is named by the label or the group box just before it in the table; the
        // label is linked to it as well, so that a screen reader finds one from the other.
        if (IsInputKind(def.kind) && previous && previous->kind == ControlKind::Label) {
            widget->setAccessibleName(FromUtf8View(previous->text));
            if (auto* label = qobject_cast<QLabel*>(m_widgets.back())) label->setBuddy(widget);
        } else if (IsInputKind(def.kind) && previous && previous->kind == ControlKind::GroupBox) {
            widget->setAccessibleName(FromUtf8View(previous->text));
        }
        for (const auto& [ownId, name] : kOwnNames)
            if (def.id == ownId) widget->setAccessibleName(Qs(*name));
        for (const auto& [describedId, description] : kFieldDescriptions)
            if (def.id == describedId) widget->setAccessibleDescription(Qs(*description));
        previous = &def;
        m_widgets.push_back(widget);
        if (def.id != IDC_STATIC) m_controls[def.id] = widget;
        m_defaultGeometry[static_cast<int>(m_widgets.size()) - 1] = widget->geometry();
        const int id = def.id;
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            DropLineBreaks(edit);
            connect(edit, &QLineEdit::textChanged, this,
                    [this, id] { m_handlers.OnFieldEdited(id); });
        } else if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            connect(edit, &QPlainTextEdit::textChanged, this,
                    [this, id] { m_handlers.OnFieldEdited(id); });
        }
        if (def.id == IDC_LOG) {
            // Log lines wrap in the field instead of needing a horizontal scroll bar.
            auto* log = qobject_cast<QPlainTextEdit*>(widget);
            log->setLineWrapMode(QPlainTextEdit::WidgetWidth);
            log->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        }
        if (auto* button = qobject_cast<QPushButton*>(widget)) button->installEventFilter(this);
        if (auto* progress = qobject_cast<QProgressBar*>(widget)) {
            progress->setFormat(QString());
            progress->setTextVisible(true);
            progress->setAlignment(Qt::AlignCenter);
        }
        if (def.kind == ControlKind::GroupBox) groupBoxes.push_back(widget);

        // A control that starts a group starts a new set of exclusive radio buttons.
        if (def.startsGroup) group = nullptr;
        if (auto* radio = qobject_cast<QRadioButton*>(widget)) {
            if (!group) {
                group = new QButtonGroup(this);
                group->setExclusive(true);
            }
            group->addButton(radio, def.id);
        }

        if (auto* button = qobject_cast<QPushButton*>(widget)) {
            if (id == IDCANCEL) {
                connect(button, &QPushButton::clicked, this, &QtDialog::reject);
            } else {
                connect(button, &QPushButton::clicked, this,
                        [this, id] { m_handlers.OnCommand(id); });
            }
        }
        if (auto* combo = qobject_cast<QComboBox*>(widget); combo && def.id == IDC_CATEGORY) {
            for (const QString& item : SortedCategoryItems()) combo->addItem(item);
            combo->setCurrentIndex(-1);
            combo->setEditText(QString());
        }
    }
    // Frames stay beneath the controls they enclose.
    for (QWidget* box : groupBoxes) box->lower();

    QWidget* before = nullptr;
    for (int id : kReadingOrder) {
        QWidget* next = Control(id);
        if (before && next) QWidget::setTabOrder(before, next);
        if (next) before = next;
    }

    // Every button has a key of its own, named in its tool tip and listed in the context
    // menu of the background. The key presses the button only when the button itself could
    // be pressed.
    for (const auto& [id, key] : kButtonKeys) {
        auto* button = qobject_cast<QPushButton*>(Control(id));
        if (!button) continue;
        auto* action = new QAction(button->text(), m_content);
        action->setShortcut(QKeySequence(key));
        // Esc stays the dialog's own key (it closes even when 閉じる cannot be pressed): its
        // entry names the key on a widget that never has the focus, so that it never fires.
        action->setShortcutContext(id == IDCANCEL ? Qt::WidgetShortcut : Qt::WindowShortcut);
        connect(action, &QAction::triggered, button, [button] {
            if (button->isEnabled() && button->isVisibleTo(button->window())) button->click();
        });
        m_content->addAction(action);
        m_buttonActions[button] = action;
        SyncButtonAction(button);
    }
}

void QtDialog::SyncButtonAction(QAbstractButton* button) {
    const auto it = m_buttonActions.find(button);
    if (it == m_buttonActions.end()) return;
    QAction* action = it->second;
    action->setText(button->text());
    action->setEnabled(button->isEnabled());
    button->setToolTip(ButtonToolTip(button->text(), action->shortcut()));
}

std::vector<QAction*> QtDialog::ContextMenuActions() {
    std::vector<QAction*> entries;
    for (QAction* action : m_content->actions()) entries.push_back(action);
    for (auto& [button, action] : m_buttonActions) SyncButtonAction(button);
    if (!actions().isEmpty()) {
        if (!m_menuSeparator) {
            m_menuSeparator = new QAction(this);
            m_menuSeparator->setSeparator(true);
        }
        entries.push_back(m_menuSeparator);
        for (QAction* action : actions()) entries.push_back(action);
    }
    return entries;
}

QWidget* QtDialog::Control(int id) const {
    const auto it = m_controls.find(id);
    return it == m_controls.end() ? nullptr : it->second;
}

Text QtDialog::GetWindowText(int id) {
    return CallOnThreadOf(this, [this, id]() -> Text {
        QWidget* widget = Control(id);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget))
            return FromQStringLines(edit->toPlainText());
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) return FromQString(edit->text());
        if (auto* combo = qobject_cast<QComboBox*>(widget))
            return FromQString(combo->currentText());
        if (auto* button = qobject_cast<QAbstractButton*>(widget))
            return FromQString(button->text());
        if (auto* label = qobject_cast<QLabel*>(widget)) return FromQString(label->text());
        return Text();
    });
}

void QtDialog::SetWindowText(int id, const Text& text) {
    CallOnThreadOf(this, [this, id, &text] {
        QWidget* widget = Control(id);
        if (!widget) return;
        const QString value = IsMultiLine(widget) ? ToQStringLines(text) : ToQString(text);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            edit->setPlainText(value);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setEditText(value);
        } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            button->setText(value);
            SyncButtonAction(button);  // 投稿停止 in place of ブログ投稿開始, same key
        } else if (auto* label = qobject_cast<QLabel*>(widget)) {
            label->setText(value);
        }
    });
}

bool QtDialog::IsChecked(int id) {
    return CallOnThreadOf(this, [this, id] {
        auto* button = qobject_cast<QAbstractButton*>(Control(id));
        return button && button->isCheckable() && button->isChecked();
    });
}

void QtDialog::SetCheck(int id, bool checked) {
    CallOnThreadOf(this, [this, id, checked] {
        auto* button = qobject_cast<QAbstractButton*>(Control(id));
        if (!button || !button->isCheckable()) return;
        // An exclusive group refuses to uncheck its checked button; the program may
        // leave a group with none checked, as the dialog manager allows.
        QButtonGroup* group = button->group();
        if (!checked && group) group->setExclusive(false);
        button->setChecked(checked);
        if (!checked && group) group->setExclusive(true);
    });
}

void QtDialog::EnableWindow(int id, bool enable) {
    CallOnThreadOf(this, [this, id, enable] {
        if (QWidget* widget = Control(id)) {
            widget->setEnabled(enable);
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) SyncButtonAction(button);
        }
    });
}

bool QtDialog::IsWindowEnabled(int id) {
    return CallOnThreadOf(this, [this, id] {
        QWidget* widget = Control(id);
        // The control's own state, whatever its parent's.
        return widget && !widget->testAttribute(Qt::WA_Disabled);
    });
}

void QtDialog::SetProgressRange(int id, int lower, int upper) {
    CallOnThreadOf(this, [this, id, lower, upper] {
        auto* progress = qobject_cast<QProgressBar*>(Control(id));
        if (!progress) return;
        // A new range keeps the position, moved into the range.
        const int pos = progress->value();
        progress->setRange(lower, upper);
        progress->setValue(std::clamp(pos, progress->minimum(), progress->maximum()));
        ShowBusyText();
    });
}

void QtDialog::ShowBusyText() {
    auto* progress = qobject_cast<QProgressBar*>(Control(IDC_PROGRESS));
    if (!progress) return;
    const bool busy = progress->minimum() == 0 && progress->maximum() == 0;
    QString text = progress->format();
    text.replace(QStringLiteral("%%"), QStringLiteral("%"));
    if (!m_busyText) {
        if (!busy) return;
        m_busyText = new QLabel(progress);
        m_busyText->setObjectName(QStringLiteral("busyText"));
        m_busyText->setAlignment(Qt::AlignCenter);
        m_busyText->setAttribute(Qt::WA_TransparentForMouseEvents);
        auto* layout = new QHBoxLayout(progress);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->addWidget(m_busyText);
    }
    m_busyText->setText(text);
    m_busyText->setVisible(busy && !text.isEmpty());
    // What the bar says, for a screen reader too.
    progress->setAccessibleDescription(busy ? text : QString());
}

void QtDialog::SetProgressPos(int id, int pos) {
    CallOnThreadOf(this, [this, id, pos] {
        auto* progress = qobject_cast<QProgressBar*>(Control(id));
        if (!progress) return;
        // A position out of range goes to the nearest end (the bar would ignore it).
        progress->setValue(std::clamp(pos, progress->minimum(), progress->maximum()));
    });
}

int QtDialog::GetProgressPos(int id) {
    return CallOnThreadOf(this, [this, id] {
        auto* progress = qobject_cast<QProgressBar*>(Control(id));
        return progress ? progress->value() : 0;
    });
}

void QtDialog::MessageBox(const Text& text) { ShowMessageText(ToQStringLines(text)); }

void QtDialog::MessageBoxUtf8(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ShowMessageText(text);
}

void QtDialog::ShowMessageText(const QString& message) {
    if (m_ended) return;
    if (QThread::currentThread() == thread()) {
        // The window's own thread runs the box's event loop, as a modal dialog does.
        QPointer<QMessageBox> box = NewMessageBox(message, this);
        TrackBox(box);
        box->exec();
        delete box;
        return;
    }
    // A worker waits for its box without holding the window's thread: the window keeps
    // serving other calls, and several workers may each have a box open.
    auto pending = std::make_shared<PendingBox>();
    {
        std::lock_guard lock(m_boxMutex);
        if (m_ended) return;
        m_pending.push_back(pending);
    }
    PostToThreadOf(this, [this, pending, message] { ShowWorkerMessageBox(pending, message); });
    pending->Wait();
}

void QtDialog::ShowWorkerMessageBox(const std::shared_ptr<PendingBox>& pending,
                                    const QString& text) {
    if (m_ended) return;  // released by MarkEnded
    QMessageBox* box = NewMessageBox(text, this);
    TrackBox(box);
    connect(box, &QDialog::finished, this, [this, box, pending] {
        {
            std::lock_guard lock(m_boxMutex);
            std::erase(m_pending, pending);
        }
        pending->Release();
        box->deleteLater();
    });
    box->open();
}

void QtDialog::TrackBox(QMessageBox* box) {
    std::erase_if(m_openBoxes, [](const QPointer<QMessageBox>& open) { return open.isNull(); });
    m_openBoxes.emplace_back(box);
}

void QtDialog::MarkEnded() {
    std::vector<std::shared_ptr<PendingBox>> pending;
    {
        std::lock_guard lock(m_boxMutex);
        m_ended = true;
        pending.swap(m_pending);
    }
    for (const auto& box : pending) box->Release();
    std::vector<QPointer<QMessageBox>> boxes;
    boxes.swap(m_openBoxes);
    for (const QPointer<QMessageBox>& box : boxes) {
        if (box && box->isVisible()) box->done(QMessageBox::Ok);
    }
}

void QtDialog::SetIcon(int iconId) {
    CallOnThreadOf(this, [this, iconId] {
        if (iconId == IDR_MAINFRAME) setWindowIcon(QubopostIcon());
    });
}

void QtDialog::AppendAboutMenuItem(const Text& text) {
    CallOnThreadOf(this, [this, &text] {
        // The window manager keeps the window menu to itself: the item goes into the
        // dialog's context menu, with Alt+A as its shortcut.
        auto* action = new QAction(ToQString(text), this);
        action->setShortcut(QKeySequence(Qt::ALT | Qt::Key_A));
        action->setShortcutContext(Qt::WindowShortcut);
        connect(action, &QAction::triggered, this,
                [this] { m_handlers.OnSysCommand(IDM_ABOUTBOX); });
        addAction(action);
        // The windows around the dialog, next to the version entry.
        connect(AddMenuEntry(Qs(messages::kGuiMenuSmtpLogin), QKeySequence(Qt::ALT | Qt::Key_S)),
                &QAction::triggered, this, [this] {
                    if (auto services = m_handlers.MakeSideServices())
                        RunCredentialsWindow(this, GetWindowTextUtf8(IDC_SMTP_SERVER),
                                             GetWindowTextUtf8(IDC_SMTP_PORT),
                                             services->SmtpLogin());
                });
        connect(AddMenuEntry(Qs(messages::kGuiMenuRankingHost), QKeySequence(Qt::ALT | Qt::Key_R)),
                &QAction::triggered, this, [this] {
                    if (auto services = m_handlers.MakeSideServices())
                        RunRankingWindow(this, *services);
                });
        connect(AddMenuEntry(Qs(messages::kGuiMenuHistory), QKeySequence(Qt::ALT | Qt::Key_H)),
                &QAction::triggered, this, [this] {
                    // The journal the logic posts with; 再開 hands the chosen run back to it.
                    if (auto services = m_handlers.MakeSideServices())
                        RunHistoryWindow(this, *services,
                                         [this](long long run) { m_handlers.OnResumeRun(run); });
                });
        // Blog destinations as drafts, to look at in the blog before publishing; mail is not
        // affected. Kept in the settings file ([Qubopost] Draft=).
        QAction* draft =
            AddMenuEntry(Qs(messages::kGuiMenuDraft), QKeySequence(Qt::ALT | Qt::Key_D));
        draft->setCheckable(true);
        draft->setChecked(m_handlers.DraftPosting());
        draft->setToolTip(Qs(messages::kGuiMenuDraftTip));
        connect(draft, &QAction::toggled, this, [this, draft](bool on) {
            if (!m_handlers.SetDraftPosting(on)) {
                const QSignalBlocker block(draft);
                draft->setChecked(!on);
            }
        });
    });
}

void QtDialog::RunAboutBox() {
    CallOnThreadOf(this, [this] { gui::RunAboutBox(this); });
}

void QtDialog::EndDialog(int result) {
    CallOnThreadOf(this, [this, result] { done(result); });
}

void QtDialog::done(int result) {
    MarkEnded();
    QDialog::done(result);
}

void QtDialog::reject() {
    if (m_ended) return;
    m_handlers.SaveWindowState(WindowState());
    m_handlers.OnCancel();
}

void QtDialog::keyPressEvent(QKeyEvent* event) {
    // Esc first ends what is going on (a fetch); only then does it close the window.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && !m_ended &&
        m_handlers.OnEscape()) {
        event->accept();
        return;
    }
    // No button is the default one, so Enter has nothing to press: it neither closes
    // the dialog nor does anything else. Multi-line fields take Enter before it gets here.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

bool QtDialog::eventFilter(QObject* watched, QEvent* event) {
    // Enter on a focused push button presses it; in the one-line fields it still does nothing.
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            (key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier)) {
            if (auto* button = qobject_cast<QPushButton*>(watched); button && button->isEnabled()) {
                button->animateClick();
                return true;
            }
        }
    }
    return QDialog::eventFilter(watched, event);
}

void QtDialog::Relayout(const QSize& size) {
    const int dx = std::max(0, size.width() - m_defaultSize.width());
    const int dy = std::max(0, size.height() - m_defaultSize.height());
    const int articleShare = dx * 3 / 5;
    for (std::size_t i = 0; i < m_widgets.size(); ++i) {
        const QRect base = m_defaultGeometry[static_cast<int>(i)];
        QWidget* widget = m_widgets[i];
        QRect rect = base;
        if (widget == Control(IDC_ARTICLE)) {
            rect.setSize(base.size() + QSize(articleShare, dy));
        } else if (widget == Control(IDC_LOG)) {
            rect = QRect(base.topLeft() + QPoint(articleShare, 0),
                         base.size() + QSize(dx - articleShare, dy));
        } else if (widget == Control(IDC_PROGRESS)) {
            rect = QRect(base.topLeft() + QPoint(0, dy), base.size() + QSize(dx, 0));
        }
        if (widget->geometry() != rect) widget->setGeometry(rect);
    }
}

std::string QtDialog::WindowState() const {
    const QRect frame = isMaximized() ? normalGeometry() : geometry();
    return std::to_string(frame.x()) + "," + std::to_string(frame.y()) + "," +
           std::to_string(frame.width()) + "," + std::to_string(frame.height()) +
           (isMaximized() ? ",max" : "");
}

void QtDialog::RestoreWindowState(const std::string& state) {
    int x = 0, y = 0, w = 0, h = 0;
    char rest[8] = {};
    const int fields = std::sscanf(state.c_str(), "%d,%d,%d,%d,%7s", &x, &y, &w, &h, rest);
    if (fields < 4 || w < 100 || h < 100) return;
    QRect rect(x, y, w, h);
    // Only a place that is still on a screen (screens change between runs).
    if (const QScreen* screen = QGuiApplication::screenAt(rect.center())) {
        rect = rect.intersected(screen->availableGeometry());
        if (rect.width() < 100 || rect.height() < 100) return;
        setGeometry(rect);
        if (fields == 5 && std::string(rest) == "max")
            setWindowState(windowState() | Qt::WindowMaximized);
    }
}

std::string QtDialog::GetWindowTextUtf8(int id) {
    return CallOnThreadOf(this, [this, id]() -> std::string {
        QWidget* widget = Control(id);
        QString text;
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            text = edit->toPlainText();
            text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
            text.replace(QChar::LineSeparator, QLatin1Char('\n'));
            text.replace(QStringLiteral("\n"), QStringLiteral("\r\n"));
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            text = edit->text();
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            text = combo->currentText();
        } else {
            return ToUtf8(GetWindowText(id));
        }
        return text.toStdString();
    });
}

void QtDialog::SetWindowTextUtf8(int id, std::string_view utf8) {
    CallOnThreadOf(this, [this, id, utf8] {
        QWidget* widget = Control(id);
        QString value = FromUtf8View(utf8);
        if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) {
            value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
            value.replace(QLatin1Char('\r'), QLatin1Char('\n'));
            edit->setPlainText(value);
        } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(value);
        } else if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            combo->setEditText(value);
        }
    });
}

void QtDialog::SetStatusText(const Text& text) {
    CallOnThreadOf(this, [this, &text] {
        if (auto* progress = qobject_cast<QProgressBar*>(Control(IDC_PROGRESS))) {
            // The bar's own text; "%" would be read as a placeholder.
            QString shown = ToQString(text);
            shown.replace(QLatin1Char('%'), QStringLiteral("%%"));
            progress->setFormat(shown);
            ShowBusyText();
        }
    });
}

bool QtDialog::AskYesNo(const Text& text, bool defaultYes) {
    if (m_ended) return defaultYes;
    return CallOnThreadOf(this, [this, &text, defaultYes] {
        QPointer<QMessageBox> box = NewMessageBox(ToQStringLines(text), this);
        box->setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box->button(QMessageBox::Yes)->setText(Qs(messages::kUiButtonYes));
        box->button(QMessageBox::No)->setText(Qs(messages::kUiButtonNo));
        box->setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
        box->setEscapeButton(QMessageBox::No);
        TrackBox(box);
        const int answer = box->exec();
        delete box;
        return answer == QMessageBox::Yes;
    });
}

int QtDialog::AskChoice(const std::string& utf8, const std::vector<std::string>& buttons,
                        int defaultIndex, int cancelIndex) {
    if (m_ended) return cancelIndex;
    return CallOnThreadOf(this, [&] {
        // A question the logic asks while it sets the window up (the unfinished runs at start)
        // appears over the window, not before it.
        if (!isVisible()) show();
        QPointer<QMessageBox> box = NewMessageBox(QString::fromStdString(utf8), this);
        box->setStandardButtons(QMessageBox::NoButton);
        std::vector<QAbstractButton*> added;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            const bool cancel = static_cast<int>(i) == cancelIndex;
            added.push_back(
                box->addButton(QString::fromStdString(buttons[i]),
                               cancel ? QMessageBox::RejectRole : QMessageBox::AcceptRole));
        }
        if (defaultIndex >= 0 && defaultIndex < static_cast<int>(added.size()))
            box->setDefaultButton(
                qobject_cast<QPushButton*>(added[static_cast<std::size_t>(defaultIndex)]));
        // Esc and the close box mean the cancelling answer: never one that sends.
        if (cancelIndex >= 0 && cancelIndex < static_cast<int>(added.size()))
            box->setEscapeButton(added[static_cast<std::size_t>(cancelIndex)]);
        TrackBox(box);
        box->exec();
        int chosen = cancelIndex;
        if (box) {
            for (std::size_t i = 0; i < added.size(); ++i)
                if (box->clickedButton() == added[i]) chosen = static_cast<int>(i);
            delete box;
        }
        return chosen;
    });
}

void QtDialog::SetFocus(int id) {
    CallOnThreadOf(this, [this, id] {
        if (QWidget* widget = Control(id)) {
            widget->setFocus(Qt::OtherFocusReason);
            // Before the window is shown its viewport has no size yet: scroll once it has.
            if (isVisible()) {
                m_scroll->ensureWidgetVisible(widget);
            } else {
                QTimer::singleShot(0, this,
                                   [this, widget] { m_scroll->ensureWidgetVisible(widget); });
            }
        }
    });
}

bool QtDialog::ShowPostingPreview(view::PostingPreview& preview) {
    if (m_ended) return false;
    return CallOnThreadOf(this, [this, &preview] { return RunPreviewWindow(this, preview); });
}

QAction* QtDialog::AddMenuEntry(const QString& text, const QKeySequence& shortcut) {
    auto* action = new QAction(text, this);
    action->setShortcut(shortcut);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    return action;
}

}  // namespace qubopost::gui
