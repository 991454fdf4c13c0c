// The window as the worker jobs see it: calls from other threads, message boxes that
// block only their own job, and the end of the modal run while jobs still use the view.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <QtTest>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

#include "fake_handlers.h"
#include "gui/qt_dialog.h"
#include "gui/qt_window_system.h"
#include "platform/encoding.h"
#include "resources/control_table.h"

using namespace qubopost::view;
using namespace qubopost::gui;
using namespace qubopost::platform;
using namespace qubopost::resources;

namespace {

// Generous bound for waiting on another thread; only a safety net against hangs.
constexpr int kPatience = 30000;
// The result with which the test harness ends a dialog that the test left open.
constexpr int kEndedByHarness = 77;

QString U(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

QList<QMessageBox*> VisibleMessageBoxes() {
    QList<QMessageBox*> boxes;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible()) boxes << box;
    }
    return boxes;
}

QMessageBox* VisibleMessageBox(const QString& text) {
    for (QMessageBox* box : VisibleMessageBoxes()) {
        if (box->text() == text) return box;
    }
    return nullptr;
}

void Dismiss(QMessageBox* box) { QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton); }

// A worker job: counted as running from its start until fn has returned.
std::thread StartJob(FakeHandlers& handlers, std::function<void()> fn) {
    ++handlers.jobs;
    return std::thread([&handlers, fn = std::move(fn)] {
        fn();
        --handlers.jobs;
    });
}

}  // namespace

class QtThreadsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { handlers = std::make_unique<FakeHandlers>(); }
    void cleanup() {
        for (std::thread& job : jobs) {
            if (job.joinable()) job.join();
        }
        jobs.clear();
        handlers.reset();
    }

    void viewCallsFromAWorkerActAtOnceOnTheWindowThread() {
        Text readBack;
        bool checked = false, enabled = true;
        int pos = -1;
        QThread* editedOn = nullptr;
        std::atomic<bool> done{false};
        RunDialog([&](QtDialog& dialog) {
            auto* edit = qobject_cast<QLineEdit*>(dialog.Control(IDC_FROM_ADDRESS));
            connect(edit, &QLineEdit::textChanged, [&] { editedOn = QThread::currentThread(); });
            jobs.push_back(StartJob(*handlers, [&] {
                qubopost::view::ControlView* view = handlers->view;
                view->SetWindowText(IDC_FROM_ADDRESS, Sjis("送信者@example.jp"));
                readBack = view->GetWindowText(IDC_FROM_ADDRESS);
                view->SetCheck(IDC_RANK_DAILY, true);
                checked = view->IsChecked(IDC_RANK_DAILY);
                view->EnableWindow(IDC_START_POST, false);
                enabled = view->IsWindowEnabled(IDC_START_POST);
                view->SetProgressRange(IDC_PROGRESS, 0, 3);
                view->SetProgressPos(IDC_PROGRESS, 2);
                pos = view->GetProgressPos(IDC_PROGRESS);
                done = true;
            }));
            QTRY_VERIFY_WITH_TIMEOUT(done, kPatience);
            QCOMPARE(edit->text(), U("送信者@example.jp"));
            QCOMPARE(editedOn, QThread::currentThread());
        });
        QCOMPARE(readBack, Sjis("送信者@example.jp"));
        QVERIFY(checked);
        QVERIFY(!enabled);
        QCOMPARE(pos, 2);
    }

    void workersMessageBoxBlocksThatWorkerOnlyUntilDismissed() {
        std::atomic<bool> returned{false}, served{false};
        RunDialog([&](QtDialog& dialog) {
            jobs.push_back(StartJob(*handlers, [&] {
                handlers->view->MessageBox(Sjis("通信エラー\r\n再度お試し下さい"));
                returned = true;
            }));
            QMessageBox* box = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((box = VisibleMessageBox(U("通信エラー\n再度お試し下さい"))),
                                     kPatience);
            // The box carries the title of the window it belongs to.
            QCOMPARE(box->windowTitle(), dialog.windowTitle());
            QCOMPARE(box->standardButtons(), QMessageBox::StandardButtons(QMessageBox::Ok));
            QVERIFY(!box->windowIcon().isNull());
            QVERIFY(!returned);

            // While the box is up the window goes on serving: another job's call and the
            // window's own thread both get through.
            jobs.push_back(StartJob(*handlers, [&] {
                handlers->view->SetWindowText(IDC_LOG, Sjis("並行"));
                served = true;
            }));
            QTRY_VERIFY_WITH_TIMEOUT(served, kPatience);
            QCOMPARE(dialog.GetWindowText(IDC_LOG), Sjis("並行"));
            QVERIFY(!returned);

            Dismiss(box);
            QTRY_VERIFY_WITH_TIMEOUT(returned, kPatience);
            QVERIFY(VisibleMessageBoxes().isEmpty());
        });
    }

    void boxesOfTwoWorkersAreDismissedEachOnItsOwn() {
        std::atomic<bool> firstReturned{false}, secondReturned{false};
        RunDialog([&](QtDialog&) {
            jobs.push_back(StartJob(*handlers, [&] {
                handlers->view->MessageBox(Sjis("一つ目"));
                firstReturned = true;
            }));
            QMessageBox* first = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((first = VisibleMessageBox(U("一つ目"))), kPatience);
            jobs.push_back(StartJob(*handlers, [&] {
                handlers->view->MessageBox(Sjis("二つ目"));
                secondReturned = true;
            }));
            QMessageBox* second = nullptr;
            QTRY_VERIFY_WITH_TIMEOUT((second = VisibleMessageBox(U("二つ目"))), kPatience);

            // The earlier box goes first: its worker must not wait for the later one.
            Dismiss(first);
            QTRY_VERIFY_WITH_TIMEOUT(firstReturned, kPatience);
            QVERIFY(!secondReturned);
            Dismiss(second);
            QTRY_VERIFY_WITH_TIMEOUT(secondReturned, kPatience);
        });
    }

    void endingTheDialogReleasesWorkersWaitingOnBoxes() {
        std::atomic<bool> released{false}, lateBoxReturned{false};
        const int result = RunDialog([&](QtDialog& dialog) {
            jobs.push_back(StartJob(*handlers, [&] {
                handlers->view->MessageBox(Sjis("送信中"));
                released = true;
                // After the end, a box is not shown and does not wait.
                handlers->view->MessageBox(Sjis("終了後"));
                lateBoxReturned = true;
            }));
            QTRY_VERIFY_WITH_TIMEOUT(VisibleMessageBox(U("送信中")), kPatience);
            dialog.EndDialog(IDCANCEL);
        });
        QCOMPARE(result, IDCANCEL);
        QVERIFY(released);
        QVERIFY(lateBoxReturned);
        QVERIFY(!handlers->jobsRunningAtDetach);
        QVERIFY(VisibleMessageBoxes().isEmpty());
    }

    void closingServesJobsUntilTheyStop_data() {
        QTest::addColumn<QString>("closedBy");
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "close box";
        QTest::newRow("worker") << "worker";
    }

    void closingServesJobsUntilTheyStop() {
        QFETCH(QString, closedBy);
        handlers->endOnCancel = true;
        std::atomic<int> calls{0};
        std::atomic<bool> lateBoxReturned{false};
        Text lateText;
        bool hiddenDuringInit = false;
        handlers->onInitDialog = [&] {
            hiddenDuringInit = !dynamic_cast<QWidget*>(handlers->view)->isVisible();
            // The job hammers the view until it is told to stop, so that some of its
            // calls are in flight while the dialog ends.
            jobs.push_back(StartJob(*handlers, [&, closedBy] {
                qubopost::view::ControlView* view = handlers->view;
                while (!handlers->stopRequested) {
                    view->SetWindowText(IDC_LOG, Text::Format("%d", {calls.load()}));
                    view->GetWindowText(IDC_LOG);
                    if (++calls == 50 && closedBy == "worker") view->EndDialog(IDCANCEL);
                }
                // Told to stop, it still reaches the hidden window...
                view->SetWindowText(IDC_ARTICLE, Sjis("停止後"));
                lateText = view->GetWindowText(IDC_ARTICLE);
                // ...but boxes are no longer shown.
                view->MessageBox(Sjis("停止後の通知"));
                lateBoxReturned = true;
            }));
        };
        const int result = RunDialog([&](QtDialog& dialog) {
            QTRY_VERIFY_WITH_TIMEOUT(calls > 20, kPatience);
            if (closedBy == "Esc") QTest::keyClick(&dialog, Qt::Key_Escape);
            if (closedBy == "close box") dialog.close();
            QTRY_VERIFY_WITH_TIMEOUT(dialog.HasEnded(), kPatience);
        });
        QCOMPARE(result, IDCANCEL);
        QCOMPARE(handlers->cancels, closedBy == "worker" ? 0 : 1);
        QVERIFY(hiddenDuringInit);
        QCOMPARE(handlers->log,
                 (std::vector<std::string>{"Attach", "InitDialog", "StopJobs", "Detach"}));
        QVERIFY(!handlers->jobsRunningAtDetach);
        QCOMPARE(lateText, Sjis("停止後"));
        QVERIFY(lateBoxReturned);
        QVERIFY(VisibleMessageBoxes().isEmpty());
    }

    void endDialogDuringInitialisationSkipsTheModalRun() {
        handlers->onInitDialog = [&] {
            handlers->view->EndDialog(7);
            // Were the dialog still run, this would end it with another result.
            QTimer::singleShot(0, [] {
                for (QWidget* window : QApplication::topLevelWidgets()) {
                    if (auto* dialog = qobject_cast<qubopost::gui::QtDialog*>(window))
                        dialog->EndDialog(kEndedByHarness);
                }
            });
        };
        QCOMPARE(windowSystem().RunModal(*handlers), 7);
        QCOMPARE(handlers->log,
                 (std::vector<std::string>{"Attach", "InitDialog", "StopJobs", "Detach"}));
    }

    void messageBoxBeforeAnyDialog() {
        bool seen = false;
        QTimer probe;
        connect(&probe, &QTimer::timeout, [&] {
            const QList<QMessageBox*> boxes = VisibleMessageBoxes();
            if (boxes.isEmpty()) return;
            seen = boxes.first()->text() == U("Windows ｿｹｯﾄの初期化に失敗しました。") &&
                   boxes.first()->windowTitle() == QStringLiteral("qubopost");
            Dismiss(boxes.first());
        });
        probe.start(5);
        windowSystem().MessageBox(Sjis("Windows ｿｹｯﾄの初期化に失敗しました。"));
        QVERIFY(seen);
    }

private:
    QtWindowSystem& windowSystem() {
        static int argc = 1;
        static char name[] = "test_qt_threads";
        static char* argv[] = {name, nullptr};
        static QtWindowSystem system(argc, argv);
        return system;
    }

    // Runs the main dialog through the window system. The script runs inside the modal
    // run once the window is up; a dialog the script leaves open is ended afterwards, so
    // that a failed check never leaves the run hanging.
    int RunDialog(const std::function<void(qubopost::gui::QtDialog&)>& script) {
        auto init = std::move(handlers->onInitDialog);
        handlers->onInitDialog = [&, init] {
            if (init) init();
            auto* dialog = dynamic_cast<QtDialog*>(handlers->view);
            QTimer::singleShot(0, dialog, [dialog, &script] {
                script(*dialog);
                if (!dialog->HasEnded()) dialog->EndDialog(kEndedByHarness);
            });
        };
        return windowSystem().RunModal(*handlers);
    }

    std::unique_ptr<FakeHandlers> handlers;
    std::vector<std::thread> jobs;
};

QTEST_MAIN(QtThreadsTest)
#include "test_qt_threads.moc"
