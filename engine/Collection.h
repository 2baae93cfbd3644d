#pragma once

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Names.h"

namespace actualiz::engine {

namespace detail {
[[noreturn]] void ThrowItemNotFound(std::string_view name);
[[noreturn]] void ThrowPositionOutOfRange(int position);
}  // namespace detail

// A collection of the engine's objects (TableDefs, Fields, Indexes, Relations, QueryDefs). Items
// are shared: a caller may keep one after the collection changed. Names are looked up with the
// engine's name equality (SameName).
template <class T>
class Collection {
  public:
    using Item = std::shared_ptr<T>;
    using const_iterator = typename std::vector<Item>::const_iterator;

    // What the owning object does when the collection changes. Append and Delete first run the
    // hook (which checks, and writes the change to the file when the owner is stored) and change
    // the collection only when the hook returned: a refused change leaves everything as it was.
    struct Hooks {
        std::function<void(const Item&)> beforeAppend;
        std::function<void(const Item&)> beforeDelete;
        // When set, items are kept in this order (name order for TableDefs and QueryDefs);
        // otherwise in the order they were appended.
        std::function<bool(const T&, const T&)> less;
    };

    int Count() const { return static_cast<int>(items_.size()); }

    Item operator[](int position) const {
        if (position < 0 || position >= Count()) detail::ThrowPositionOutOfRange(position);
        return items_[static_cast<std::size_t>(position)];
    }
    Item operator[](std::string_view name) const {
        int i = Find(name);
        if (i < 0) detail::ThrowItemNotFound(name);
        return items_[static_cast<std::size_t>(i)];
    }
    bool Contains(std::string_view name) const { return Find(name) >= 0; }

    void Append(Item item) {
        if (hooks_.beforeAppend) hooks_.beforeAppend(item);
        Insert(std::move(item));
    }
    void Delete(std::string_view name) {
        int i = Find(name);
        if (i < 0) detail::ThrowItemNotFound(name);
        Item item = items_[static_cast<std::size_t>(i)];
        if (hooks_.beforeDelete) hooks_.beforeDelete(item);
        // The hook may have reloaded the collection; remove by identity.
        Remove(item);
    }

    const_iterator begin() const { return items_.begin(); }
    const_iterator end() const { return items_.end(); }

    // Position of the item with this name, -1 when there is none.
    int Find(std::string_view name) const {
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (SameName(items_[i]->Name(), name)) return static_cast<int>(i);
        return -1;
    }

    // --- For the owning object only: wiring and changes that bypass the hooks. ---
    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    void Insert(Item item) {
        if (hooks_.less) {
            auto pos = std::upper_bound(
                items_.begin(), items_.end(), item,
                [this](const Item& a, const Item& b) { return hooks_.less(*a, *b); });
            items_.insert(pos, std::move(item));
        } else {
            items_.push_back(std::move(item));
        }
    }
    void Remove(const Item& item) {
        auto it = std::find(items_.begin(), items_.end(), item);
        if (it != items_.end()) items_.erase(it);
    }
    void Clear() { items_.clear(); }

  private:
    std::vector<Item> items_;
    Hooks hooks_;
};

}  // namespace actualiz::engine
