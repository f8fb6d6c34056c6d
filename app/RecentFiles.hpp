#pragma once
// The files opened lately, images and LUT files alike, newest first, kept in the settings so the
// next start offers them under File › Open Recent.
#include <QObject>
#include <QSettings>
#include <QString>

#include <vector>

namespace lumivert {

class RecentFiles : public QObject {
    Q_OBJECT

public:
    static constexpr std::size_t maxFiles = 10;

    struct Entry {
        QString path;
        bool lut = false;  // opened as a LUT file (a HALD .png is an image otherwise)

        friend bool operator==(const Entry&, const Entry&) = default;
    };

    explicit RecentFiles(QSettings& settings, QObject* parent = nullptr);

    // Newest first, at most maxFiles; files that no longer exist are left out.
    std::vector<Entry> entries() const;
    // Moves the file to the front (absolute path, once) and drops the oldest beyond maxFiles.
    void add(const QString& path, bool lut);
    void clear();

Q_SIGNALS:
    void changed();

private:
    std::vector<Entry> stored() const;
    void store(const std::vector<Entry>& entries);

    QSettings& settings_;
};

}  // namespace lumivert
