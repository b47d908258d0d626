#include "SrcXLS/model/HashTrie.h"

#include <algorithm>

namespace xls {

THashTrie::THashTrie() : root(std::make_unique<TNode>(0)) {}

THashTrie::~THashTrie() = default;

THashItem* THashTrie::Insert(THashItem* item, uint32_t hash) {
    THashItem* stored = InsertAt(*root, item, hash);
    if (stored == item) ++count;
    return stored;
}

THashItem* THashTrie::InsertAt(TNode& node, THashItem* item, uint32_t hash) {
    unsigned s = SlotOf(hash, node.level);
    size_t i = node.IndexOf(s);
    if (!node.Has(s)) {
        node.Mark(s, true);
        TSlot slot;
        slot.chain.push_back({hash, item});
        node.slots.insert(node.slots.begin() + i, std::move(slot));
        return item;
    }
    TSlot& slot = node.slots[i];
    if (slot.child) return InsertAt(*slot.child, item, hash);
    for (const TLink& link : slot.chain)
        if (link.hash == hash && Equal(*link.item, *item)) return link.item;
    if (slot.chain.size() < size_t(MaxChain) || node.level >= MaxLevel) {
        slot.chain.push_back({hash, item});
        return item;
    }
    // The chain is full: its items move into a child node of the next level,
    // head first, and the new item after them.
    auto child = std::make_unique<TNode>(node.level + 1);
    for (auto it = slot.chain.rbegin(); it != slot.chain.rend(); ++it) InsertAt(*child, it->item, it->hash);
    InsertAt(*child, item, hash);
    slot.chain = {};
    slot.child = std::move(child);
    return item;
}

THashItem* THashTrie::Find(const THashItem& item, uint32_t hash) const {
    const TNode* node = root.get();
    for (;;) {
        unsigned s = SlotOf(hash, node->level);
        if (!node->Has(s)) return nullptr;
        const TSlot& slot = node->slots[node->IndexOf(s)];
        if (slot.child) {
            node = slot.child.get();
            continue;
        }
        for (const TLink& link : slot.chain)
            if (link.hash == hash && Equal(*link.item, item)) return link.item;
        return nullptr;
    }
}

bool THashTrie::Remove(const THashItem& item, uint32_t hash) {
    // The path of nodes from the root, to free emptied child nodes on the way back.
    std::array<std::pair<TNode*, unsigned>, 64> path;
    int depth = 0;
    TNode* node = root.get();
    for (;;) {
        unsigned s = SlotOf(hash, node->level);
        if (!node->Has(s)) return false;
        TSlot& slot = node->slots[node->IndexOf(s)];
        path[depth++] = {node, s};
        if (slot.child) {
            node = slot.child.get();
            continue;
        }
        auto at = std::find_if(slot.chain.begin(), slot.chain.end(), [&](const TLink& link) {
            return link.hash == hash && Equal(*link.item, item);
        });
        if (at == slot.chain.end()) return false;
        THashItem* found = at->item;
        slot.chain.erase(at);
        --count;
        // Empty slots are dropped, and so are child nodes left without slots.
        for (int d = depth - 1; d >= 0; --d) {
            auto [n, slotByte] = path[d];
            size_t i = n->IndexOf(slotByte);
            TSlot& sl = n->slots[i];
            bool empty = sl.child ? sl.child->slots.empty() : sl.chain.empty();
            if (!empty) break;
            n->slots.erase(n->slots.begin() + i);
            n->Mark(slotByte, false);
        }
        ReleaseItem(found);
        return true;
    }
}

void THashTrie::ReleaseNode(TNode& node) {
    for (TSlot& slot : node.slots) {
        if (slot.child) {
            ReleaseNode(*slot.child);
        } else {
            for (auto it = slot.chain.rbegin(); it != slot.chain.rend(); ++it) ReleaseItem(it->item);
            slot.chain.clear();
        }
    }
}

void THashTrie::ReleaseAll() {
    ReleaseNode(*root);
    root = std::make_unique<TNode>(0);
    count = 0;
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
    return CountNodes(*root);
}

} // namespace xls
