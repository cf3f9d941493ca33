// OVSkin: the skin manager. It loads one skin at a time from "<base directory><name>/":
// config.ini (plain key file in code page 936) and the pictures and icons its keys name, keeps
// each picture once, and tells every registered window when a skin comes and goes.
//
//   OVSkin skin;
//   skin.SetBaseDirectory(programDir + "Skins/");
//   if (!skin.Load("orvane")) ...           // fatal at start-up
//   form.SetSkin(&skin);                     // the form applies the skin at once
//   skin.Load("slate");                      // every registered window re-reads its keys
//
// Everything runs on the GUI thread.
#pragma once

#include <QIcon>
#include <QImage>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/config/config_file.h"
#include "shell/skin/skin_bitmap.h"

class OVSkinItem;

class OVSkin {
public:
    OVSkin() = default;
    ~OVSkin();
    OVSkin(const OVSkin&) = delete;
    OVSkin& operator=(const OVSkin&) = delete;

    // The folder that holds the skins, with or without a trailing '/'.
    void SetBaseDirectory(const std::string& directory);
    const std::string& BaseDirectory() const { return baseDirectory_; }

    // Unloads the current skin, then loads config.ini of the named one; every registered item
    // is told to apply the skin even when the file is missing (its getters then fail and
    // the items keep their defaults). False at once without a base directory.
    bool Load(const std::string& name);
    // Tells every item that the skin is gone, then drops the configuration and all pictures.
    void Unload();

    bool IsLoaded() const { return loaded_; }
    const std::string& Name() const { return name_; }
    const std::string& SkinDirectory() const { return skinDirectory_; }
    const OVConfigFile& Config() const { return config_; }

    // The picture of a file relative to the skin's folder, loaded at its first use and kept
    // until the skin is unloaded; null when no skin is loaded or the file does not load (a
    // failure is not kept, so a later call tries again).
    const COVBitmap* GetBitmap(const std::string& file);
    const COVBitmap* GetBitmap(const char* section, const char* key);
    size_t CachedBitmapCount() const { return bitmaps_.size(); }

    // The icon file named by the key, as an icon holding every size the file has. cx and cy
    // ask for one size: when neither is positive the default (32), when one is not positive
    // a square of the other. LoadIconImage gives that one size: the image of the file whose
    // size fits best, scaled only when the file has no such size.
    QIcon LoadIcon(const char* section, const char* key, int cx = 0, int cy = 0) const;
    QImage LoadIconImage(const char* section, const char* key, int cx, int cy) const;
    // The same for a file relative to the skin's folder (animation frames "%s%d.ico").
    QIcon LoadIconFile(const std::string& file) const;
    QImage LoadIconFileImage(const std::string& file, int cx, int cy) const;

    // The file a value names, as a path in the file system (code page 936 to UTF-8, '\' to '/').
    QString PathOf(const std::string& file) const;

    // Root items (windows). Register adds an item once and applies the skin to it at once
    // when one is loaded.
    void Register(OVSkinItem* item);
    void Unregister(OVSkinItem* item);

    // Reading an icon file outside a skin: every image of the file with its size.
    static std::vector<QImage> ReadIconImages(const QString& path);
    static QImage PickIconImage(const std::vector<QImage>& images, int cx, int cy);

private:
    std::string baseDirectory_;
    std::string name_;
    std::string skinDirectory_;
    OVConfigFile config_;
    bool loaded_ = false;
    std::map<std::string, std::unique_ptr<COVBitmap>> bitmaps_;
    std::vector<OVSkinItem*> items_;
};
