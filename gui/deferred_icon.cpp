#include "gui/deferred_icon.h"

#include <QIconEngine>
#include <memory>

namespace gui {
namespace {

// Sizes are known from the list; everything else is the icon read from the files, made once and
// shared by the engine's copies (Qt clones an engine when an icon is detached).
class TDeferredIconEngine : public QIconEngine
{
public:
    explicit TDeferredIconEngine(std::shared_ptr<const std::vector<TIconFile>> files)
        : Files(std::move(files))
        , Read(std::make_shared<QIcon>())
    {
    }

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State state) override
    {
        Loaded().paint(painter, rect, Qt::AlignCenter, mode, state);
    }
    QSize actualSize(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Loaded().actualSize(size, mode, state);
    }
    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override
    {
        return Loaded().pixmap(size, mode, state);
    }
    QPixmap scaledPixmap(const QSize& size, QIcon::Mode mode, QIcon::State state, qreal scale) override
    {
        return Loaded().pixmap(size, scale, mode, state);
    }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override
    {
        QList<QSize> sizes;
        for (const TIconFile& file : *Files)
            sizes.append(file.Size);
        return sizes;
    }
    bool isNull() override { return Files->empty(); }
    QString key() const override { return QStringLiteral("meteo-deferred"); }
    QIconEngine* clone() const override { return new TDeferredIconEngine(*this); }

private:
    const QIcon& Loaded()
    {
        if (Read->isNull())
            for (const TIconFile& file : *Files)
                Read->addFile(file.Path, file.Size);
        return *Read;
    }

    std::shared_ptr<const std::vector<TIconFile>> Files;
    std::shared_ptr<QIcon> Read;
};

} // namespace

QIcon DeferredIcon(std::vector<TIconFile> files)
{
    return QIcon(new TDeferredIconEngine(std::make_shared<const std::vector<TIconFile>>(std::move(files))));
}

} // namespace gui
