#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
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
        // When set, items are kept in this order of their names (name order for TableDefs and
        // QueryDefs), and names are looked up in it: it must keep names that are the same to the
        // engine next to one another. Otherwise items are kept in the order they were appended.
        std::function<bool(std::string_view, std::string_view)> less;
    };

    // Items the owner loaded without making them yet: how many there are, where a name stands
    // (the first position whose name is the same to the engine, -1 when none) and the item at a
    // position. Each is made when first asked for and then kept, so a database opened again and
    // again for one table does not build every other table each time.
    struct Pending {
        int count = 0;
        std::function<int(std::string_view)> find;
        std::function<Item(int)> make;
    };

    int Count() const { return static_cast<int>(items_.size()); }

    Item operator[](int position) const {
        if (position < 0 || position >= Count()) detail::ThrowPositionOutOfRange(position);
        return At(static_cast<std::size_t>(position));
    }
    Item operator[](std::string_view name) const {
        int i = Find(name);
        if (i < 0) detail::ThrowItemNotFound(name);
        return At(static_cast<std::size_t>(i));
    }
    bool Contains(std::string_view name) const { return Find(name) >= 0; }

    void Append(Item item) {
        if (hooks_.beforeAppend) hooks_.beforeAppend(item);
        Insert(std::move(item));
    }
    void Delete(std::string_view name) {
        int i = Find(name);
        if (i < 0) detail::ThrowItemNotFound(name);
        Item item = At(static_cast<std::size_t>(i));
        if (hooks_.beforeDelete) hooks_.beforeDelete(item);
        // The hook may have reloaded the collection; remove by identity.
        Remove(item);
    }

    const_iterator begin() const {
        MakeAll();
        return items_.begin();
    }
    const_iterator end() const {
        MakeAll();
        return items_.end();
    }

    // Position of the item with this name, -1 when there is none.
    int Find(std::string_view name) const {
        if (pending_.find) return pending_.find(name);
        if (hooks_.less) {
            // Only the names the order puts before this one are passed over; those the engine
            // takes for the same name may stand just before where this one would go.
            auto it = std::lower_bound(items_.begin(), items_.end(), name,
                                       [this](const Item& item, std::string_view n) {
                                           return hooks_.less(item->Name(), n);
                                       });
            while (it != items_.begin() && SameName((*std::prev(it))->Name(), name)) --it;
            if (it != items_.end() && SameName((*it)->Name(), name))
                return static_cast<int>(it - items_.begin());
            return -1;
        }
        for (std::size_t i = 0; i < items_.size(); ++i)
            if (SameName(items_[i]->Name(), name)) return static_cast<int>(i);
        return -1;
    }

    // --- For the owning object only: wiring and changes that bypass the hooks. ---
    void SetHooks(Hooks hooks) { hooks_ = std::move(hooks); }
    // Replaces the items with pending ones, in the collection's order.
    void SetPending(Pending pending) {
        items_.assign(static_cast<std::size_t>(pending.count), nullptr);
        pending_ = std::move(pending);
    }
    void Insert(Item item) {
        // Positions change from here on: the pending items are made first.
        MakeAll();
        if (hooks_.less) {
            auto pos = std::upper_bound(
                items_.begin(), items_.end(), item,
                [this](const Item& a, const Item& b) { return hooks_.less(a->Name(), b->Name()); });
            items_.insert(pos, std::move(item));
        } else {
            items_.push_back(std::move(item));
        }
    }
    void Remove(const Item& item) {
        MakeAll();
        auto it = std::find(items_.begin(), items_.end(), item);
        if (it != items_.end()) items_.erase(it);
    }
    void Clear() {
        items_.clear();
        pending_ = {};
    }

  private:
    const Item& At(std::size_t position) const {
        Item& item = items_[position];
        if (!item && pending_.make) item = pending_.make(static_cast<int>(position));
        return item;
    }
    void MakeAll() const {
        if (!pending_.make) return;
        for (std::size_t i = 0; i < items_.size(); ++i) At(i);
        pending_ = {};
    }

    // Mutable for the pending items, made when a reader first reaches them.
    mutable std::vector<Item> items_;
    mutable Pending pending_;
    Hooks hooks_;
};

}  // namespace actualiz::engine
