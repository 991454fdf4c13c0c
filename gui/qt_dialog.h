// The main dialog's window: the control table drawn with Qt widgets, operated by the
// dialog logic through ControlView and reporting to it through DialogHandlers.
#pragma once

#include <QDialog>
#include <QPointer>
#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

#include "gui/dialog_units.h"
#include "view/control_view.h"
#include "view/dialog_handlers.h"

class QAbstractButton;
class QAction;
class QMessageBox;
class QScrollArea;
class QLabel;

namespace qubopost::gui {

class QtDialog : public QDialog, public view::ControlView {
    Q_OBJECT

public:
    // Creates the window and all controls of the main dialog's table (not yet shown).
    explicit QtDialog(view::DialogHandlers& handlers, QWidget* parent = nullptr);
    ~QtDialog() override;

    // ControlView. Each call may come from any thread; off the window's thread it is
    // run on that thread and the caller waits for it.
    platform::Text GetWindowText(int id) override;
    void SetWindowText(int id, const platform::Text& text) override;
    bool IsChecked(int id) override;
    void SetCheck(int id, bool checked) override;
    void EnableWindow(int id, bool enable) override;
    bool IsWindowEnabled(int id) override;
    void SetProgressRange(int id, int lower, int upper) override;
    void SetProgressPos(int id, int pos) override;
    int GetProgressPos(int id) override;
    // Blocks the calling thread until the box is dismissed; a box for a worker thread
    // leaves the window's thread free. Once the dialog has ended, returns at once.
    void MessageBox(const platform::Text& text) override;
    void SetIcon(int iconId) override;
    void AppendAboutMenuItem(const platform::Text& text) override;
    void RunAboutBox() override;
    void EndDialog(int result) override;
    void MessageBoxUtf8(const std::string& utf8) override;
    std::string GetWindowTextUtf8(int id) override;
    void SetWindowTextUtf8(int id, std::string_view utf8) override;
    void SetStatusText(const platform::Text& text) override;
    bool AskYesNo(const platform::Text& text, bool defaultYes) override;
    int AskChoice(const std::string& utf8, const std::vector<std::string>& buttons,
                  int defaultIndex, int cancelIndex) override;
    void SetFocus(int id) override;
    bool ShowPostingPreview(view::PostingPreview& preview) override;

    // Adds an entry to the context menu of the window's background, with a shortcut.
    QAction* AddMenuEntry(const QString& text, const QKeySequence& shortcut);
    // The widget that holds the controls (scrolled when the window is smaller than the dialog).
    QWidget* Content() const { return m_content; }

    // The widget of a control ID, or nullptr.
    QWidget* Control(int id) const;
    // Every control's widget, statics included, in the order of the table.
    const std::vector<QWidget*>& TableWidgets() const { return m_widgets; }
    const DialogUnits& Units() const { return m_units; }
    // True once the dialog has ended: from then on nothing more is shown.
    bool HasEnded() const { return m_ended.load(); }

    // Ends the dialog with this result without asking the logic (the cancel paths ask).
    void done(int result) override;
    // Esc, the close box and the "閉じる" button: handed to the logic's OnCancel.
    void reject() override;
    // Marks the dialog as ended: closes its message boxes, releases the threads waiting
    // for them, and shows no further box. done() does this too. Window's thread only.
    void MarkEnded();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

public:
    // Places the growing controls for a content area of this size.
    void Relayout(const QSize& size);
    // Size and place, as stored in the settings ("" for none), and back.
    std::string WindowState() const;
    void RestoreWindowState(const std::string& state);

private:
    struct PendingBox;

    void CreateControls();
    // The key's entry of a button follows the button's caption and state.
    void SyncButtonAction(QAbstractButton* button);
    // The background's context menu: the buttons' entries, then the window's own.
    std::vector<QAction*> ContextMenuActions();
    void ShowMessageText(const QString& message);
    // Remembers an open box, to be closed when the dialog ends.
    void TrackBox(QMessageBox* box);
    void ShowWorkerMessageBox(const std::shared_ptr<PendingBox>& pending, const QString& text);

    view::DialogHandlers& m_handlers;
    DialogUnits m_units;
    QScrollArea* m_scroll = nullptr;
    QWidget* m_content = nullptr;
    QSize m_defaultSize;
    std::map<int, QRect> m_defaultGeometry;
    std::vector<QWidget*> m_widgets;
    std::map<int, QWidget*> m_controls;
    std::map<QAbstractButton*, QAction*> m_buttonActions;
    QAction* m_menuSeparator = nullptr;

    std::atomic<bool> m_ended{false};
    // The status text over a busy progress bar (one without a range draws no text of its own).
    QLabel* m_busyText = nullptr;
    void ShowBusyText();
    std::mutex m_boxMutex;  // guards m_pending
    std::vector<std::shared_ptr<PendingBox>> m_pending;
    std::vector<QPointer<QMessageBox>> m_openBoxes;  // window's thread only
};

}  // namespace qubopost::gui
