#include "seed/demo_image.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <array>
#include <cmath>

namespace velocast::seed {
namespace {

quint32 crc32(const QByteArray& data) {
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> t{};
        for (quint32 n = 0; n < 256; ++n) {
            quint32 c = n;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[n] = c;
        }
        return t;
    }();
    quint32 c = 0xFFFFFFFFu;
    for (char byte : data) c = table[(c ^ static_cast<quint8>(byte)) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

void appendBigEndian(QByteArray& out, quint32 value) {
    char bytes[4];
    qToBigEndian(value, bytes);
    out.append(bytes, 4);
}

void appendChunk(QByteArray& png, const char* type, const QByteArray& data) {
    appendBigEndian(png, static_cast<quint32>(data.size()));
    QByteArray typed = QByteArray(type, 4) + data;
    png.append(typed);
    appendBigEndian(png, crc32(typed));
}

}  // namespace

QByteArray birthdayPng() {
    constexpr int size = 96;
    QByteArray raw;
    raw.reserve(size * (1 + 3 * size));
    for (int y = 0; y < size; ++y) {
        raw.append('\0');  // filter type: none
        for (int x = 0; x < size; ++x) {
            // Sky gradient, a red balloon and its string.
            int r = 200 - y / 2, g = 225 - y / 3, b = 255;
            const double dx = x - 48.0, dy = (y - 38.0) * 0.85;
            const double d = std::sqrt(dx * dx + dy * dy);
            if (d < 26.0) {
                const double shade = (d < 8.0 && dx < 0 && dy < 0) ? 60.0 : 0.0;
                r = 220 + static_cast<int>(shade / 2);
                g = 40 + static_cast<int>(shade);
                b = 60 + static_cast<int>(shade);
            } else if (y > 68 && std::abs(x - 48 - static_cast<int>(3 * std::sin(y / 4.0))) < 1) {
                r = g = b = 90;
            }
            raw.append(static_cast<char>(r));
            raw.append(static_cast<char>(g));
            raw.append(static_cast<char>(b));
        }
    }
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    QByteArray header;
    appendBigEndian(header, size);
    appendBigEndian(header, size);
    header.append(char(8));  // bit depth
    header.append(char(2));  // colour type: RGB
    header.append(char(0));  // compression
    header.append(char(0));  // filter
    header.append(char(0));  // interlace
    appendChunk(png, "IHDR", header);
    // qCompress gives a zlib stream behind a 4-byte length of its own, which PNG does not want.
    appendChunk(png, "IDAT", qCompress(raw, 9).mid(4));
    appendChunk(png, "IEND", QByteArray());
    return png;
}

bool writeBirthdayPng(const QString& path, QString* error) {
    // The demo's files are the club's data: the image folder and the files are the owner's only.
    const QString folder = QFileInfo(path).absolutePath();
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        if (error) *error = QStringLiteral("cannot create the folder of %1").arg(path);
        return false;
    }
    QFile file(path);
    const QByteArray png = birthdayPng();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFile::ReadOwner | QFile::WriteOwner) ||
        file.write(png) != png.size()) {
        if (error) *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
        return false;
    }
    return true;
}

}  // namespace velocast::seed
