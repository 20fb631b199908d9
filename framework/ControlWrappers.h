#pragma once
// The plain objects a dialog hands out (GetDlgItem) for controls that no object of their own
// subclasses: one per control id, made anew when the id names another native control, all
// freed with the dialog's window. Both window backends keep them so.

#include <map>
#include <memory>

#include "framework/Wnd.h"

namespace vel::fw {

class ControlWrappers {
  public:
    // The wrapper of control id while it wraps native; null when a new one is needed.
    CWnd* Find(int id, const void* native) const {
        const auto it = entries_.find(id);
        return it != entries_.end() && it->second.native == native ? it->second.wrapper.get()
                                                                   : nullptr;
    }
    // Keeps the new wrapper of control id, freeing the one it replaces.
    CWnd* Keep(int id, const void* native, std::unique_ptr<CWnd> wrapper) {
        Entry& entry = entries_[id];
        entry = {native, std::move(wrapper)};
        return entry.wrapper.get();
    }
    void Clear() { entries_.clear(); }

  private:
    struct Entry {
        const void* native = nullptr;
        std::unique_ptr<CWnd> wrapper;
    };
    std::map<int, Entry> entries_;
};

}  // namespace vel::fw
