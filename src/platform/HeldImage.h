#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QSize>
#include <QString>

#include <memory>

class QImage;

// A decoded picture held by the core without linking Qt Gui: items, camera files and the camera
// service carry pictures this way, and the command-line tool, which never shows one, starts
// without loading the graphics libraries. Only code linked with brindlewick_gui makes or
// opens one (the QImage conversions are defined there, HeldImagePictures.cpp); the core asks
// for pictures through the makers that library installs, and without them every picture is
// null. Copies share the image; it is never changed in place.
class HeldImage
{
public:
    HeldImage() = default;
    HeldImage(const QImage &image); // NOLINT: stands for a QImage wherever one is given
    operator QImage() const;        // NOLINT: and gives one back wherever one is wanted

    bool isNull() const { return !m_image; }
    QSize size() const { return m_size; }
    qint64 cacheKey() const { return m_cacheKey; }
    const QImage *image() const { return m_image.get(); }

    // Where the core's pictures come from; each answers a null picture when it has none.
    struct Makers
    {
        // The preview of a file that fits `box` (the thumbnailer's).
        HeldImage (*preview)(const QString &path, const QSize &box) = nullptr;
        // Encoded bytes (a camera's thumbnail) decoded to fit `box`, turned upright.
        HeldImage (*decode)(const QByteArray &bytes, const QSize &box) = nullptr;
        // The generic file-type icon.
        HeldImage (*fileIcon)(const QSize &size) = nullptr;
    };
    // Set once at start, before any picture is asked for.
    static void installMakers(const Makers &makers);
    static HeldImage preview(const QString &path, const QSize &box);
    static HeldImage decode(const QByteArray &bytes, const QSize &box);
    static HeldImage fileIcon(const QSize &size);

private:
    std::shared_ptr<const QImage> m_image;
    QSize m_size{0, 0}; // as a null QImage has
    qint64 m_cacheKey = 0;
};

Q_DECLARE_METATYPE(HeldImage)
