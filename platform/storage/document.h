// One open compound file: the in-memory image of its tree and the locked file it belongs to.
// Shared by the root storage and every element opened below it; the root's release closes it.
#pragma once

#include <memory>
#include <string>

#include "platform/storage/compound_image.h"
#include "platform/storage/locked_file.h"

namespace ov::cfb {

class Document {
public:
    Document(LockedFile file, ElementPtr root, bool writable, bool transacted);
    ~Document();
    Document(const Document&) = delete;
    Document& operator=(const Document&) = delete;

    bool IsOpen() const { return open_; }
    bool IsWritable() const { return writable_; }
    const ElementPtr& Root() const { return root_; }

    // Every change to the tree calls this, so that an unchanged image is not written again.
    void MarkChanged() { changed_ = true; }
    // Writes the image to the file (replacing it as a whole) when it has changed.
    HRESULT Commit();
    // Reloads the image from the file; every element handed out before becomes stale.
    HRESULT Revert();
    // Direct mode writes pending changes first. Afterwards every handle is stale.
    void Close();

private:
    LockedFile file_;
    ElementPtr root_;
    const bool writable_;
    const bool transacted_;
    bool open_ = true;
    bool changed_ = false;
};

// The current time as elements record it.
FILETIME ElementTimeNow();

}  // namespace ov::cfb
