#include "shell/skin/skin_manager.h"

#include <QImageReader>
#include <algorithm>

#include "platform/text/cp936.h"
#include "shell/skin/skin_item.h"

namespace {

constexpr int kDefaultIconSize = 32;

// A value names its file in code page 936, maybe with the other platform's separators.
std::string NormalisedFile(const std::string& file) {
    std::string name = file;
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

}  // namespace

OVSkin::~OVSkin() {
    // Items that outlive the manager must not reach back into it.
    for (OVSkinItem* item : std::vector<OVSkinItem*>(items_))
        item->DetachFromSkin(this);
}

void OVSkin::SetBaseDirectory(const std::string& directory) {
    baseDirectory_ = directory;
    if (!baseDirectory_.empty() && baseDirectory_.back() != '/')
        baseDirectory_.push_back('/');
}

bool OVSkin::Load(const std::string& name) {
    if (baseDirectory_.empty())
        return false;
    Unload();
    name_ = name;
    skinDirectory_ = baseDirectory_ + name + "/";
    loaded_ = config_.LoadText(skinDirectory_ + "config.ini");
    for (OVSkinItem* item : std::vector<OVSkinItem*>(items_))
        item->Apply();
    return loaded_;
}

void OVSkin::Unload() {
    if (name_.empty() && !loaded_)
        return;
    name_.clear();
    skinDirectory_.clear();
    // Items read their built-in defaults while they release: the skin counts as gone.
    loaded_ = false;
    for (OVSkinItem* item : std::vector<OVSkinItem*>(items_))
        item->Release();
    config_ = OVConfigFile();
    bitmaps_.clear();
}

QString OVSkin::PathOf(const std::string& file) const {
    return QString::fromStdString(skinDirectory_ + ov::Cp936ToUtf8(NormalisedFile(file)));
}

const COVBitmap* OVSkin::GetBitmap(const std::string& file) {
    if (!loaded_ || file.empty())
        return nullptr;
    const std::string name = NormalisedFile(file);
    if (auto it = bitmaps_.find(name); it != bitmaps_.end())
        return it->second.get();
    auto bitmap = std::make_unique<COVBitmap>(PathOf(name));
    if (bitmap->IsNull())
        return nullptr;
    return bitmaps_.emplace(name, std::move(bitmap)).first->second.get();
}

const COVBitmap* OVSkin::GetBitmap(const char* section, const char* key) {
    std::string file;
    if (!loaded_ || !config_.GetString(section, key, &file))
        return nullptr;
    return GetBitmap(file);
}

std::vector<QImage> OVSkin::ReadIconImages(const QString& path) {
    std::vector<QImage> images;
    QImageReader reader(path);
    do {
        QImage image = reader.read();
        if (image.isNull())
            break;
        images.push_back(std::move(image));
    } while (reader.jumpToNextImage());
    return images;
}

QImage OVSkin::PickIconImage(const std::vector<QImage>& images, int cx, int cy) {
    if (cx <= 0 && cy <= 0)
        cx = cy = kDefaultIconSize;
    else if (cx <= 0)
        cx = cy;
    else if (cy <= 0)
        cy = cx;
    const QImage* best = nullptr;
    for (const QImage& image : images) {
        if (image.width() == cx && image.height() == cy)
            return image;
        // Otherwise the smallest image at least as large, else the largest one.
        const bool covers = image.width() >= cx && image.height() >= cy;
        if (!best)
            best = &image;
        else if (covers && (best->width() < cx || image.width() < best->width()))
            best = &image;
        else if (!covers && best->width() < cx && image.width() > best->width())
            best = &image;
    }
    if (!best)
        return QImage();
    return best->scaled(cx, cy, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

QIcon OVSkin::LoadIconFile(const std::string& file) const {
    QIcon icon;
    if (!loaded_ || file.empty())
        return icon;
    for (const QImage& image : ReadIconImages(PathOf(file)))
        icon.addPixmap(QPixmap::fromImage(image));
    return icon;
}

QImage OVSkin::LoadIconFileImage(const std::string& file, int cx, int cy) const {
    if (!loaded_ || file.empty())
        return QImage();
    return PickIconImage(ReadIconImages(PathOf(file)), cx, cy);
}

QIcon OVSkin::LoadIcon(const char* section, const char* key, int cx, int cy) const {
    std::string file;
    if (!config_.GetString(section, key, &file))
        return QIcon();
    const std::vector<QImage> images =
        loaded_ ? ReadIconImages(PathOf(file)) : std::vector<QImage>();
    QIcon icon;
    for (const QImage& image : images)
        icon.addPixmap(QPixmap::fromImage(image));
    // A size the file does not hold is added, scaled from the nearest one.
    const QImage one = PickIconImage(images, cx, cy);
    if (!one.isNull() && std::none_of(images.begin(), images.end(),
                                      [&](const QImage& i) { return i.size() == one.size(); }))
        icon.addPixmap(QPixmap::fromImage(one));
    return icon;
}

QImage OVSkin::LoadIconImage(const char* section, const char* key, int cx, int cy) const {
    std::string file;
    if (!config_.GetString(section, key, &file))
        return QImage();
    return LoadIconFileImage(file, cx, cy);
}

void OVSkin::Register(OVSkinItem* item) {
    if (!item || std::find(items_.begin(), items_.end(), item) != items_.end())
        return;
    items_.push_back(item);
    if (loaded_)
        item->Apply();
}

void OVSkin::Unregister(OVSkinItem* item) {
    items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
}
