// qubopost-render-icon FOLDER SIZE...: writes the program's icon as FOLDER/qubopost-SIZE.png
// for every size given, for the packaging of the hicolor icon theme entries.
#include <QDir>
#include <QImage>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gui/qubopost_icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s FOLDER SIZE...\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "%s: cannot create %s\n", argv[0], argv[1]);
        return 1;
    }
    int status = 0;
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long size = std::strtol(argv[i], &end, 10);
        if (end == argv[i] || *end != '\0' || size < 1 || size > 4096) {
            std::fprintf(stderr, "%s: not a size: %s\n", argv[0], argv[i]);
            status = 2;
            continue;
        }
        const QString path = QDir(folder).filePath(QStringLiteral("qubopost-%1.png").arg(size));
        if (!qubopost::gui::RenderQubopostIcon(static_cast<int>(size)).save(path, "PNG")) {
            std::fprintf(stderr, "%s: cannot write %s\n", argv[0], qPrintable(path));
            status = 1;
        }
    }
    return status;
}
