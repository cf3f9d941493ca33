#include "tools/assetgen/formats.h"

#include <QSaveFile>
#include <QtEndian>
#include <climits>
#include <map>

namespace ov::assets {

namespace {

void Put16(QByteArray& out, quint16 v) {
    out.append(char(v & 0xFF));
    out.append(char(v >> 8));
}

void Put32(QByteArray& out, quint32 v) {
    Put16(out, quint16(v & 0xFFFF));
    Put16(out, quint16(v >> 16));
}

QByteArray IcoEntryData(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_ARGB32);
    const int w = image.width(), h = image.height();
    QByteArray data;
    Put32(data, 40);
    Put32(data, quint32(w));
    Put32(data, quint32(h * 2));  // colour rows and mask rows
    Put16(data, 1);
    Put16(data, 32);
    Put32(data, 0);
    Put32(data, 0);
    Put32(data, 0);
    Put32(data, 0);
    Put32(data, 0);
    Put32(data, 0);
    for (int y = h - 1; y >= 0; --y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            data.append(char(qBlue(row[x])));
            data.append(char(qGreen(row[x])));
            data.append(char(qRed(row[x])));
            data.append(char(qAlpha(row[x])));
        }
    }
    const int maskStride = ((w + 31) / 32) * 4;
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, 0);
        const auto* px = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < w; ++x)
            if (qAlpha(px[x]) == 0)
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        data.append(row);
    }
    return data;
}

// GIF's variable-length LZW, codes packed little-endian into sub-blocks of 255 bytes.
QByteArray Lzw(const std::vector<uint8_t>& indices) {
    constexpr int kMinCodeSize = 8;
    const int clear = 1 << kMinCodeSize, end = clear + 1;
    QByteArray packed;
    quint32 bits = 0;
    int bitCount = 0;
    int codeSize = kMinCodeSize + 1;
    const auto emit = [&](int code) {
        bits |= quint32(code) << bitCount;
        bitCount += codeSize;
        while (bitCount >= 8) {
            packed.append(char(bits & 0xFF));
            bits >>= 8;
            bitCount -= 8;
        }
    };
    std::map<std::pair<int, int>, int> table;
    int next = end + 1;
    emit(clear);
    int prefix = -1;
    for (uint8_t index : indices) {
        if (prefix < 0) {
            prefix = index;
            continue;
        }
        const auto it = table.find({prefix, index});
        if (it != table.end()) {
            prefix = it->second;
            continue;
        }
        emit(prefix);
        if (next < 4096) {
            table[{prefix, index}] = next++;
            if (next > (1 << codeSize) && codeSize < 12)
                ++codeSize;
        } else {
            emit(clear);
            table.clear();
            next = end + 1;
            codeSize = kMinCodeSize + 1;
        }
        prefix = index;
    }
    if (prefix >= 0) {
        emit(prefix);
        // The reader adds its entry for this code before reading the end code.
        if (next == (1 << codeSize) && codeSize < 12)
            ++codeSize;
    }
    emit(end);
    if (bitCount > 0)
        packed.append(char(bits & 0xFF));
    QByteArray blocks;
    blocks.append(char(kMinCodeSize));
    for (int i = 0; i < packed.size(); i += 255) {
        const int n = std::min<int>(255, packed.size() - i);
        blocks.append(char(n));
        blocks.append(packed.mid(i, n));
    }
    blocks.append(char(0));
    return blocks;
}

int Nearest(QRgb c, const std::vector<QRgb>& palette) {
    int best = 0, bestDistance = INT_MAX;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]),
                  db = qBlue(c) - qBlue(palette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = int(i);
        }
    }
    return best;
}

}  // namespace

bool WriteFileAtomically(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    return file.commit();
}

bool WriteIco(const QString& path, const std::vector<QImage>& images) {
    QByteArray out;
    Put16(out, 0);
    Put16(out, 1);
    Put16(out, quint16(images.size()));
    std::vector<QByteArray> entries;
    for (const QImage& image : images)
        entries.push_back(IcoEntryData(image));
    quint32 offset = 6 + 16 * quint32(images.size());
    for (size_t i = 0; i < images.size(); ++i) {
        const int w = images[i].width(), h = images[i].height();
        out.append(char(w >= 256 ? 0 : w));
        out.append(char(h >= 256 ? 0 : h));
        out.append(char(0));
        out.append(char(0));
        Put16(out, 1);
        Put16(out, 32);
        Put32(out, quint32(entries[i].size()));
        Put32(out, offset);
        offset += quint32(entries[i].size());
    }
    for (const QByteArray& e : entries)
        out.append(e);
    return WriteFileAtomically(path, out);
}

bool WriteGif(const QString& path, const std::vector<QImage>& frames, int delay,
              const std::vector<QRgb>& palette) {
    if (frames.empty() || palette.empty() || palette.size() > 256)
        return false;
    const int w = frames.front().width(), h = frames.front().height();
    QByteArray out("GIF89a");
    Put16(out, quint16(w));
    Put16(out, quint16(h));
    out.append(char(0xF7));  // global table of 256 colours, 8 bits
    out.append(char(0));
    out.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < int(palette.size()) ? palette[i] : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    out.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19);  // loop for ever
    std::map<QRgb, uint8_t> cache;
    for (const QImage& source : frames) {
        const QImage frame = source.convertToFormat(QImage::Format_RGB32);
        out.append("\x21\xF9\x04\x04", 4);  // graphic control: leave each frame in place
        Put16(out, quint16(delay));
        out.append(char(0));
        out.append(char(0));
        out.append(char(0x2C));
        Put16(out, 0);
        Put16(out, 0);
        Put16(out, quint16(w));
        Put16(out, quint16(h));
        out.append(char(0));
        std::vector<uint8_t> indices;
        indices.reserve(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y) {
            const auto* row = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
            for (int x = 0; x < w; ++x) {
                auto it = cache.find(row[x]);
                if (it == cache.end())
                    it = cache.emplace(row[x], uint8_t(Nearest(row[x], palette))).first;
                indices.push_back(it->second);
            }
        }
        out.append(Lzw(indices));
    }
    out.append(char(0x3B));
    return WriteFileAtomically(path, out);
}

bool WriteWav(const QString& path, const std::vector<int16_t>& samples, int sampleRate) {
    QByteArray out("RIFF");
    const quint32 dataBytes = quint32(samples.size() * 2);
    Put32(out, 36 + dataBytes);
    out.append("WAVEfmt ");
    Put32(out, 16);
    Put16(out, 1);  // PCM
    Put16(out, 1);  // mono
    Put32(out, quint32(sampleRate));
    Put32(out, quint32(sampleRate * 2));
    Put16(out, 2);
    Put16(out, 16);
    out.append("data");
    Put32(out, dataBytes);
    for (int16_t s : samples)
        Put16(out, quint16(s));
    return WriteFileAtomically(path, out);
}

}  // namespace ov::assets
