// velt-icon-png FOLDER SIZE...: writes the icon as FOLDER/<size>x<size>/apps/velt.png, the
// layout of an icon theme, for the install.

#include <QDir>
#include <QImage>
#include <cstdio>
#include <cstdlib>

#include "icon.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velt-icon-png FOLDER SIZE...\n");
        return 2;
    }
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        const QString folder =
            QString::fromLocal8Bit(argv[1]) + QStringLiteral("/%1x%1/apps").arg(size);
        const QString file = folder + QStringLiteral("/velt.png");
        if (size <= 0 || !QDir().mkpath(folder) || !velt::iconImage(size).save(file, "PNG")) {
            std::fprintf(stderr, "velt-icon-png: cannot write %s\n", qPrintable(file));
            return 1;
        }
    }
    return 0;
}
