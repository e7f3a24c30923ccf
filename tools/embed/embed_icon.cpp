// Build step: turns the application icon's PNG files into premultiplied
// 32-bit pixels compiled into the program, so a start shows the icon without
// looking for image plugins and inflating PNG data.
//
//   embed_icon OUTPUT.cpp ICON.png ICON.png ICON.png ICON.png

#include <QImage>
#include <QSaveFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 6) {
        std::fputs("usage: embed_icon OUTPUT.cpp ICON.png ICON.png ICON.png ICON.png\n", stderr);
        return 2;
    }
    QByteArray out = "// Made at build time from the icon's PNG files; see tools/embed/embed_icon.cpp.\n"
                     "#include \"layouts/IconPixels.h\"\n\n"
                     "namespace {\n\n";
    QByteArray table = "const std::array<IconPixels::Size, IconPixels::count> IconPixels::sizes{{\n";
    const int count = argc - 2;
    for (int n = 0; n < count; ++n) {
        const QImage image =
            QImage(QString::fromLocal8Bit(argv[n + 2])).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (image.isNull() || image.width() != image.height()) {
            std::fprintf(stderr, "embed_icon: %s is not a square picture\n", argv[n + 2]);
            return 1;
        }
        out += "const quint32 pixels" + QByteArray::number(n) + "[] = {";
        for (int y = 0; y < image.height(); ++y) {
            const auto *row = reinterpret_cast<const quint32 *>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                if ((y * image.width() + x) % 8 == 0)
                    out += "\n   ";
                out += " 0x" + QByteArray::number(row[x], 16).rightJustified(8, '0') + ",";
            }
        }
        out += "\n};\n\n";
        table += "    {" + QByteArray::number(image.width()) + ", pixels" + QByteArray::number(n) + "},\n";
    }
    out += "} // namespace\n\n" + table + "}};\n";
    QSaveFile file(QString::fromLocal8Bit(argv[1]));
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size() || !file.commit()) {
        std::fprintf(stderr, "embed_icon: %s cannot be written\n", argv[1]);
        return 1;
    }
    return 0;
}
