// The smallest Qt 6 dialog program, built like qubopost: the yardstick for what the
// toolkit alone costs to start and to keep in memory.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QVBoxLayout>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QDialog dialog;
    dialog.setWindowTitle("minimal-dialog");
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel("ブログ自動投稿"));
    dialog.show();
    return app.exec();
}
