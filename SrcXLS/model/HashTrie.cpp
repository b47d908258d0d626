#include "SrcXLS/model/HashTrie.h"

#include <algorithm>

namespace xls {

THashTrie::THashTrie() : root(std::make_unique<TNode>(0)) {}

THashTrie::~THashTrie() = default;

// ---- the index

size_t THashTrie::IndexFind(const THashItem& item, uint32_t hash) const {
    if (index.empty()) return SIZE_MAX;
    const size_t mask = index.size() - 1;
    for (size_t i = Home(hash);; i = (i + 1) & mask) {
        const TIndexSlot slot = index[i];
        if (!slot.item) return SIZE_MAX;
        if (slot.hash == hash && Equal(*slot.item, item)) return i;
    }
}

void THashTrie::IndexAdd(THashItem* item, uint32_t hash) {
    // At most three quarters full, so that probes stay short.
    if ((count + 1) * 4 > index.size() * 3) IndexGrow(count + 1);
    const size_t mask = index.size() - 1;
    size_t i = Home(hash);
    while (index[i].item) i = (i + 1) & mask;
    index[i] = {hash, item};
}

void THashTrie::Reserve(size_t n) {
    if ((count + n) * 4 > index.size() * 3) IndexGrow(count + n);
    unplaced.reserve(unplaced.size() + n);
}

void THashTrie::IndexGrow(size_t items) {
    std::vector<TIndexSlot> old;
    old.swap(index);
    indexBits = std::max(indexBits + 1, 4);
    while ((size_t(1) << indexBits) * 3 < items * 4) ++indexBits;
    index.assign(size_t(1) << indexBits, TIndexSlot{0, nullptr});
    const size_t mask = index.size() - 1;
    for (const TIndexSlot slot : old) {
        if (!slot.item) continue;
        size_t i = Home(slot.hash);
        while (index[i].item) i = (i + 1) & mask;
        index[i] = slot;
    }
}

// Linear probing without tombstones: the entries after the hole move back
// where their home allows.
void THashTrie::IndexErase(size_t hole) {
    const size_t mask = index.size() - 1;
    index[hole].item = nullptr;
    for (size_t j = (hole + 1) & mask; index[j].item; j = (j + 1) & mask) {
        const size_t home = Home(index[j].hash);
        // The entry at j may fill the hole unless its home lies in (hole, j].
        const bool homeBetween = hole <= j ? (home > hole && home <= j) : (home > hole || home <= j);
        if (homeBetween) continue;
        index[hole] = index[j];
        index[j].item = nullptr;
        hole = j;
    }
}

// ---- the trie

THashItem* THashTrie::Insert(THashItem* item, uint32_t hash) {
    const size_t at = IndexFind(*item, hash);
    if (at != SIZE_MAX) return index[at].item;
    InsertNew(item, hash);
    return item;
}

void THashTrie::InsertNew(THashItem* item, uint32_t hash) {
    item->trieHash = hash;
    item->next = nullptr;
    unplaced.push_back(item);
    IndexAdd(item, hash);
    ++count;
}

void THashTrie::InsertBatch(std::span<std::pair<THashItem*, uint32_t>> items) {
    const size_t n = items.size();
    if (n == 0) return;
    Reserve(n);
    // The items by home slot, in their own order within a slot (a radix
    // sort, least significant bits first, is stable).
    std::vector<uint32_t> homes(n), order(n), sorted(n);
    for (size_t k = 0; k < n; ++k) {
        homes[k] = uint32_t(Home(items[k].second));
        order[k] = uint32_t(k);
    }
    constexpr int Bits = 11;
    for (int shift = 0; shift < indexBits; shift += Bits) {
        std::array<uint32_t, (1 << Bits) + 1> starts{};
        for (uint32_t k : order) ++starts[((homes[k] >> shift) & ((1 << Bits) - 1)) + 1];
        for (size_t b = 1; b < starts.size(); ++b) starts[b] += starts[b - 1];
        for (uint32_t k : order) sorted[starts[(homes[k] >> shift) & ((1 << Bits) - 1)]++] = k;
        order.swap(sorted);
    }
    // Equal items share a hash and so a home: the first of them is met first.
    std::vector<bool> added(n);
    for (uint32_t k : order) {
        auto& [item, hash] = items[k];
        const size_t at = IndexFind(*item, hash);
        if (at != SIZE_MAX) {
            item = index[at].item;
            continue;
        }
        IndexAdd(item, hash);
        ++count;
        added[k] = true;
    }
    // The trie takes them in their order, as single inserts give it.
    for (size_t k = 0; k < n; ++k)
        if (added[k]) {
            THashItem* item = items[k].first;
            item->trieHash = items[k].second;
            item->next = nullptr;
            unplaced.push_back(item);
        }
}

void THashTrie::InsertAt(TNode& node, THashItem* item) {
    const unsigned s = SlotOf(item->trieHash, node.level);
    const size_t i = node.IndexOf(s);
    if (!node.Has(s)) {
        node.Mark(s, true);
        TSlot slot;
        slot.head = item;
        slot.length = 1;
        item->next = nullptr;
        node.slots.insert(node.slots.begin() + ptrdiff_t(i), std::move(slot));
        return;
    }
    TSlot& slot = node.slots[i];
    if (slot.child) {
        InsertAt(*slot.child, item);
        return;
    }
    if (slot.length < uint32_t(MaxChain) || node.level >= MaxLevel) {
        item->next = slot.head;
        slot.head = item;
        ++slot.length;
        return;
    }
    // The chain is full: its items move into a child node of the next level,
    // head first, and the new item after them.
    std::array<THashItem*, MaxChain> moving;
    size_t n = 0;
    for (THashItem* it = slot.head; it; it = it->next) moving[n++] = it;
    auto child = std::make_unique<TNode>(node.level + 1);
    for (size_t k = 0; k < n; ++k) InsertAt(*child, moving[k]);
    InsertAt(*child, item);
    slot.head = nullptr;
    slot.length = 0;
    slot.child = std::move(child);
}

THashItem* THashTrie::Find(const THashItem& item, uint32_t hash) const {
    const size_t at = IndexFind(item, hash);
    return at == SIZE_MAX ? nullptr : index[at].item;
}

void THashTrie::PlaceUnplaced() const {
    for (THashItem* item : unplaced) InsertAt(*root, item);
    unplaced = {};
}

bool THashTrie::Remove(const THashItem& item, uint32_t hash) {
    const size_t at = IndexFind(item, hash);
    if (at == SIZE_MAX) return false;
    Settle();
    THashItem* found = index[at].item;
    // The path of nodes from the root, to free emptied child nodes on the way back.
    std::array<std::pair<TNode*, unsigned>, 64> path;
    int depth = 0;
    TNode* node = root.get();
    for (;;) {
        const unsigned s = SlotOf(found->trieHash, node->level);
        TSlot& slot = node->slots[node->IndexOf(s)];
        path[size_t(depth++)] = {node, s};
        if (slot.child) {
            node = slot.child.get();
            continue;
        }
        THashItem** link = &slot.head;
        while (*link != found) link = &(*link)->next;
        *link = found->next;
        found->next = nullptr;
        --slot.length;
        break;
    }
    IndexErase(at);
    --count;
    // Empty slots are dropped, and so are child nodes left without slots.
    for (int d = depth - 1; d >= 0; --d) {
        auto [n, slotByte] = path[size_t(d)];
        const size_t i = n->IndexOf(slotByte);
        TSlot& sl = n->slots[i];
        const bool empty = sl.child ? sl.child->slots.empty() : sl.head == nullptr;
        if (!empty) break;
        n->slots.erase(n->slots.begin() + ptrdiff_t(i));
        n->Mark(slotByte, false);
    }
    ReleaseItem(found);
    return true;
}

// Slots from the last down, so that erasing one leaves the places of those
// still to visit; an emptied chain or child node loses its slot.
void THashTrie::UnlinkIf(TNode& node, bool (*going)(const THashItem&), std::vector<THashItem*>& gone) {
    for (int s = 255; s >= 0; --s) {
        if (!node.Has(unsigned(s))) continue;
        const size_t i = node.IndexOf(unsigned(s));
        TSlot& slot = node.slots[i];
        if (slot.child) {
            UnlinkIf(*slot.child, going, gone);
            if (!slot.child->slots.empty()) continue;
        } else {
            for (THashItem** link = &slot.head; *link;) {
                THashItem* item = *link;
                if (!going(*item)) {
                    link = &item->next;
                    continue;
                }
                *link = item->next;
                item->next = nullptr;
                --slot.length;
                gone.push_back(item);
            }
            if (slot.head) continue;
        }
        node.slots.erase(node.slots.begin() + ptrdiff_t(i));
        node.Mark(unsigned(s), false);
    }
}

size_t THashTrie::RemoveIf(bool (*going)(const THashItem&)) {
    Settle();
    // Everything is allocated before the first item is unlinked: a failure
    // leaves the trie as it was.
    std::vector<THashItem*> gone;
    gone.reserve(count);
    std::vector<TIndexSlot> old(index.size(), TIndexSlot{0, nullptr});
    UnlinkIf(*root, going, gone);
    if (gone.empty()) return 0;
    old.swap(index);
    const size_t mask = index.size() - 1;
    for (const TIndexSlot slot : old) {
        if (!slot.item || going(*slot.item)) continue;
        size_t i = Home(slot.hash);
        while (index[i].item) i = (i + 1) & mask;
        index[i] = slot;
    }
    count -= gone.size();
    std::sort(gone.begin(), gone.end());
    for (THashItem* item : gone) ReleaseItem(item);
    return gone.size();
}

void THashTrie::ReleaseNode(TNode& node) {
    for (TSlot& slot : node.slots) {
        if (slot.child) {
            ReleaseNode(*slot.child);
        } else {
            for (THashItem* it = slot.head; it;) {
                THashItem* next = it->next;
                ReleaseItem(it);
                it = next;
            }
            slot.head = nullptr;
        }
    }
}

void THashTrie::ReleaseAll() {
    ReleaseNode(*root);
    for (THashItem* item : unplaced) ReleaseItem(item);
    ForgetAll();
}

void THashTrie::ForgetAll() {
    root = std::make_unique<TNode>(0);
    unplaced = {};
    count = 0;
    index = {};
    indexBits = 0;
}

void THashTrie::Clear() {
    ReleaseAll();
}

size_t THashTrie::CountNodes(const TNode& node) {
    size_t n = 1;
    for (const TSlot& slot : node.slots)
        if (slot.child) n += CountNodes(*slot.child);
    return n;
}

size_t THashTrie::NodeCount() const {
    Settle();
    return CountNodes(*root);
}

size_t THashTrie::NodeBytes(const TNode& node) {
    size_t n = sizeof(TNode) + node.slots.capacity() * sizeof(TSlot);
    for (const TSlot& slot : node.slots)
        if (slot.child) n += NodeBytes(*slot.child);
    return n;
}

size_t THashTrie::TableBytes() const {
    Settle();
    return NodeBytes(*root) + index.capacity() * sizeof(TIndexSlot);
}

} // namespace xls
