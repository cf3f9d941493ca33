// File formats the asset generator writes itself, where Qt has no writer or writes too
// little: icons with several sizes, animated GIFs, and 16-bit PCM sounds.
#pragma once

#include <QImage>
#include <QString>
#include <vector>

namespace ov::assets {

// An .ico holding each image (32-bit colour with an AND mask), largest last.
bool WriteIco(const QString& path, const std::vector<QImage>& images);

// An endlessly looping GIF89a of equal-sized frames shown delay centiseconds each. Colours
// are mapped to the nearest of palette (at most 256 entries).
bool WriteGif(const QString& path, const std::vector<QImage>& frames, int delay,
              const std::vector<QRgb>& palette);

// Mono 16-bit PCM.
bool WriteWav(const QString& path, const std::vector<int16_t>& samples, int sampleRate);

// Writes bytes through a temporary file renamed over path.
bool WriteFileAtomically(const QString& path, const QByteArray& bytes);

}  // namespace ov::assets
