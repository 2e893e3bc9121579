// Build-time tool: renders the application icon and writes quillane.ico (the twelve images of
// the icon table) and quillane-<size>.png for each of its sizes into the folder it is given.

#include <QImage>
#include <QSaveFile>
#include <QString>
#include <cstdio>
#include <vector>

#include "platform/qtview/IconArt.h"
#include "resources/IconFile.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);

    std::vector<quillane::IconEntry> entries;
    for (const quillane::IconImageSpec& image : quillane::quillaneIconTable()) {
        entries.push_back({quillane::renderQuillaneIcon(image.size), image.bitCount});
    }
    const QByteArray ico = quillane::encodeIconFile(entries);
    QSaveFile file(folder + QStringLiteral("/quillane.ico"));
    if (ico.isEmpty() || !file.open(QIODevice::WriteOnly) || file.write(ico) != ico.size() ||
        !file.commit()) {
        std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(file.fileName()));
        return 1;
    }

    for (int size : quillane::quillaneIconSizes()) {
        const QString name = folder + QStringLiteral("/quillane-%1.png").arg(size);
        if (!quillane::renderQuillaneIcon(size).save(name, "PNG")) {
            std::fprintf(stderr, "make_icons: cannot write %s\n", qPrintable(name));
            return 1;
        }
    }
    return 0;
}
