#include "shell/skin/skin_item.h"

#include <algorithm>

#include "common/config/config_values.h"
#include "shell/skin/skin_manager.h"

OVSkinItem::OVSkinItem(std::string classSection, std::string instanceName)
    : classSection_(std::move(classSection)), instanceName_(std::move(instanceName)) {}

OVSkinItem::~OVSkinItem() {
    if (skin_)
        skin_->Unregister(this);
    if (parent_)
        parent_->RemoveChild(this);
    // Children are often destroyed after their parent's item part (a widget deletes its
    // child widgets in its own base destructor): they must not reach back.
    for (OVSkinItem* child : children_)
        child->parent_ = nullptr;
}

void OVSkinItem::SetSkin(OVSkin* skin) {
    if (skin == skin_)
        return;
    if (skin_)
        skin_->Unregister(this);
    skin_ = skin;
    if (skin_)
        skin_->Register(this);
}

OVSkin* OVSkinItem::Skin() const {
    for (const OVSkinItem* item = this; item; item = item->parent_)
        if (item->skin_)
            return item->skin_;
    return nullptr;
}

void OVSkinItem::DetachFromSkin(OVSkin* skin) {
    if (skin_ == skin) {
        skin_->Unregister(this);
        skin_ = nullptr;
    }
}

void OVSkinItem::AddChild(OVSkinItem* child, const std::string& name) {
    if (!child || child == this)
        return;
    if (child->parent_ && child->parent_ != this)
        child->parent_->RemoveChild(child);
    child->secondName_ = name;
    child->instanceName_ = instanceName_;
    child->parent_ = this;
    if (std::find(children_.begin(), children_.end(), child) == children_.end())
        children_.push_back(child);
    if (OVSkin* skin = Skin(); skin && skin->IsLoaded())
        child->Apply();
}

void OVSkinItem::RemoveChild(OVSkinItem* child) {
    const auto it = std::find(children_.begin(), children_.end(), child);
    if (it == children_.end())
        return;
    children_.erase(it);
    child->parent_ = nullptr;
}

std::vector<std::string> OVSkinItem::Sections() const {
    std::vector<std::string> sections{classSection_};
    if (!instanceName_.empty()) {
        sections.push_back(classSection_ + "." + instanceName_);
        if (!secondName_.empty())
            sections.push_back(sections.back() + "." + secondName_);
    }
    return sections;
}

template <typename T, typename Parse>
bool OVSkinItem::Layered(const char* key, T* value, Parse parse) const {
    const OVSkin* skin = Skin();
    if (!skin || !skin->IsLoaded() || !key)
        return false;
    const OVConfigFile& config = skin->Config();
    bool found = false;
    // Most general first; every section that has the key in a readable form overrides.
    for (const std::string& section : Sections()) {
        std::string raw;
        const int header = config.FindSection(section.c_str());
        if (header < 0 || config.FindKey(header + 1, key, &raw) < 0)
            continue;
        T parsed = *value;
        if (parse(raw, &parsed)) {
            *value = parsed;
            found = true;
        }
    }
    return found;
}

bool OVSkinItem::GetString(const char* key, std::string* value) const {
    return Layered(key, value, [](const std::string& raw, std::string* out) {
        *out = ov::config::UnquoteString(raw);
        return true;
    });
}

bool OVSkinItem::GetInt(const char* key, int* value) const {
    return Layered(key, value, [](const std::string& raw, int* out) {
        *out = ov::config::ParseLeadingInt(raw);
        return true;
    });
}

bool OVSkinItem::GetBool(const char* key, bool* value) const {
    return Layered(key, value, [](const std::string& raw, bool* out) {
        *out = ov::config::ParseBool(raw);
        return true;
    });
}

bool OVSkinItem::GetColor(const char* key, COLORREF* value) const {
    return Layered(key, value, [](const std::string& raw, COLORREF* out) {
        return ov::config::ParseColor(raw, out);
    });
}

bool OVSkinItem::GetMargin(const char* key, RECT* value) const {
    return Layered(key, value, [](const std::string& raw, RECT* out) {
        return ov::config::ParseRect(raw, out);
    });
}

bool OVSkinItem::GetPoint(const char* key, POINT* value) const {
    return Layered(key, value, [](const std::string& raw, POINT* out) {
        return ov::config::ParsePoint(raw, out);
    });
}

bool OVSkinItem::GetSize(const char* key, SIZE* value) const {
    return Layered(key, value, [](const std::string& raw, SIZE* out) {
        return ov::config::ParseSize(raw, out);
    });
}

bool OVSkinItem::GetPosition(const char* key, OVPosition* value) const {
    return Layered(key, value, [](const std::string& raw, OVPosition* out) {
        return ov::config::ParsePosition(raw, out);
    });
}

bool OVSkinItem::GetFont(const char* key, LOGFONT* value) const {
    return Layered(key, value, [](const std::string& raw, LOGFONT* out) {
        return ov::config::ParseFont(raw, out);
    });
}

const COVBitmap* OVSkinItem::GetBitmap(const char* key) const {
    OVSkin* skin = Skin();
    if (!skin || !skin->IsLoaded() || !key)
        return nullptr;
    const OVConfigFile& config = skin->Config();
    const std::vector<std::string> sections = Sections();
    for (auto it = sections.rbegin(); it != sections.rend(); ++it) {
        std::string file;
        if (config.GetString(it->c_str(), key, &file))
            if (const COVBitmap* bitmap = skin->GetBitmap(file))
                return bitmap;
    }
    return nullptr;
}

void OVSkinItem::Apply() {
    OnApply();
    for (OVSkinItem* child : std::vector<OVSkinItem*>(children_))
        child->Apply();
}

void OVSkinItem::Release() {
    for (OVSkinItem* child : std::vector<OVSkinItem*>(children_))
        child->Release();
    OnRelease();
}
