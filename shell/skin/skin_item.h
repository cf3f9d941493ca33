// OVSkinItem: the base of every skinned window and control. An item reads its keys from its
// class section ("Form", "ListBox", ...), then "<class>.<instance>", then
// "<class>.<instance>.<second name>"; a later hit overrides an earlier one, so the most specific
// section wins and the others supply defaults. A form's instance name comes from its owner; a
// child added with AddChild(child, "SiteUserList") to the form "PageroomWnd" reads ListBox,
// ListBox.PageroomWnd and ListBox.PageroomWnd.SiteUserList.
//
// Root items register with the skin manager (SetSkin); children reach it through their
// parents. Apply() re-reads the keys of an item and then of its children; Release() drops
// skin resources, children first. Windows override OnApply and OnRelease.
#pragma once

#include <string>
#include <vector>

#include "common/config/config_types.h"

class COVBitmap;
class OVSkin;

class OVSkinItem {
public:
    explicit OVSkinItem(std::string classSection, std::string instanceName = {});
    virtual ~OVSkinItem();
    OVSkinItem(const OVSkinItem&) = delete;
    OVSkinItem& operator=(const OVSkinItem&) = delete;

    const std::string& ClassSection() const { return classSection_; }
    const std::string& InstanceName() const { return instanceName_; }
    const std::string& SecondName() const { return secondName_; }
    // A root item's instance name (a child takes its parent's in AddChild).
    void SetInstanceName(std::string name) { instanceName_ = std::move(name); }

    // Root items only: unregister from the old manager, register with the new one (which
    // applies its skin at once when one is loaded).
    void SetSkin(OVSkin* skin);
    // The manager of this item or of its nearest ancestor that has one.
    OVSkin* Skin() const;
    OVSkinItem* Parent() const { return parent_; }
    const std::vector<OVSkinItem*>& Children() const { return children_; }

    // Makes child a child of this item named name (its second name), with this item's
    // instance name; adds it once and applies the skin to it at once when one is loaded.
    void AddChild(OVSkinItem* child, const std::string& name);
    void RemoveChild(OVSkinItem* child);

    // The sections this item reads, most general first.
    std::vector<std::string> Sections() const;

    // Layered getters: true and the value of the most specific section that has the key and
    // parses; otherwise false with *value untouched (no skin, no key, or a malformed value).
    bool GetString(const char* key, std::string* value) const;
    bool GetInt(const char* key, int* value) const;
    bool GetBool(const char* key, bool* value) const;
    bool GetColor(const char* key, COLORREF* value) const;
    bool GetMargin(const char* key, RECT* value) const;  // MARGIN(l,t,r,b) or RECT(...)
    bool GetPoint(const char* key, POINT* value) const;
    bool GetSize(const char* key, SIZE* value) const;
    bool GetPosition(const char* key, OVPosition* value) const;
    bool GetFont(const char* key, LOGFONT* value) const;
    // The first picture that loads, from the most specific section downward.
    const COVBitmap* GetBitmap(const char* key) const;

    // Re-reads the skin: this item, then its children. Called by the manager on every load.
    void Apply();
    // Drops skin resources: the children, then this item.
    void Release();

    // The manager is going away before this item.
    void DetachFromSkin(OVSkin* skin);

protected:
    virtual void OnApply() {}
    virtual void OnRelease() {}

private:
    // Reads key from every section, most general first, each readable value overriding the
    // last; the skin's configuration is never changed (no sections are added).
    template <typename T, typename Parse>
    bool Layered(const char* key, T* value, Parse parse) const;

    std::string classSection_;
    std::string instanceName_;
    std::string secondName_;
    OVSkin* skin_ = nullptr;
    OVSkinItem* parent_ = nullptr;
    std::vector<OVSkinItem*> children_;
};
