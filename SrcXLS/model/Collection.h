// Owning collections whose items carry a running ID: the ID is given once,
// never reused and never reset, so items can be matched across lists.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <memory>
#include <string>
#include <vector>

namespace xls {

class TCollectionItem {
public:
    virtual ~TCollectionItem() = default;
    int ID() const { return id; }
    // The collection that holds the item (an opaque identity).
    const void* Collection() const { return collection; }

private:
    template <class> friend class TCollection;
    int id = -1;
    const void* collection = nullptr;
};

template <class Item> class TCollection {
public:
    TCollection() = default;
    virtual ~TCollection() = default;
    TCollection(const TCollection&) = delete;
    TCollection& operator=(const TCollection&) = delete;

    int Count() const { return int(items.size()); }
    Item& GetItem(int index) const {
        if (index < 0 || index >= Count())
            throw XLSError("List index out of bounds (" + std::to_string(index) + ")");
        return *items[size_t(index)];
    }
    Item& operator[](int index) const { return GetItem(index); }

    // Takes the item in at index (at the end when index is -1).
    Item& Insert(std::unique_ptr<Item> item, int index = -1) {
        item->id = nextId++;
        item->collection = this;
        ++generation;
        if (index < 0 || index > Count()) index = Count();
        return **items.insert(items.begin() + index, std::move(item));
    }
    void Delete(int index) {
        GetItem(index);
        items.erase(items.begin() + index);
        ++generation;
    }
    void Clear() {
        items.clear();
        ++generation;
    }

    int IndexOf(const TCollectionItem* item) const {
        for (size_t i = 0; i < items.size(); ++i)
            if (items[i].get() == item) return int(i);
        return -1;
    }
    Item* FindItemID(int itemId) const {
        for (auto& i : items)
            if (i->ID() == itemId) return i.get();
        return nullptr;
    }

protected:
    std::vector<std::unique_ptr<Item>> items;
    // Changes whenever an item comes or goes, for indexes kept beside the list.
    uint64_t Generation() const { return generation; }

private:
    int nextId = 0;
    uint64_t generation = 0;
};

} // namespace xls
