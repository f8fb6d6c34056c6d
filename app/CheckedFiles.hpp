#pragma once

// Files the window writes for whoever drives it (screenshots, automation markers) go through the
// core's writer like every LUT and image: complete or absent, and never through a link another
// user planted in a shared folder.

#include <QByteArray>
#include <QString>

class QImage;

namespace lumivert::CheckedFiles {

// Whether the bytes were written; on failure `reason` (when given) gets the writer's sentence.
bool write(const QString& path, const QByteArray& bytes, QString* reason = nullptr);
// The image as PNG, written the same way.
bool savePng(const QImage& image, const QString& path, QString* reason = nullptr);

}  // namespace lumivert::CheckedFiles
