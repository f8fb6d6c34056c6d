#include "CheckedFiles.hpp"

#include "io/FileIO.hpp"

#include <QBuffer>
#include <QFile>
#include <QImage>

#include <string_view>

namespace lumivert::CheckedFiles {

bool write(const QString& path, const QByteArray& bytes, QString* reason)
{
    try {
        FileIO::writeAtomically(QFile::encodeName(path).toStdString(),
                                std::string_view(bytes.constData(), bytes.size()));
        return true;
    } catch (const FileError& error) {
        if (reason)
            *reason = QString::fromStdString(error.what());
        return false;
    }
}

bool savePng(const QImage& image, const QString& path, QString* reason)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        if (reason)
            *reason = QStringLiteral("The image could not be encoded as PNG.");
        return false;
    }
    return write(path, bytes, reason);
}

}  // namespace lumivert::CheckedFiles
