#include "SrcXLS/model/HashTrie.h"

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
        item->trieHash = hash;
        item->next = nullptr;
        node.bits[s >> 6] |= uint64_t(1) << (s & 63);
        TSlot slot;
        slot.chain = item;
        node.slots.insert(node.slots.begin() + i, std::move(slot));
        return item;
    }
    TSlot& slot = node.slots[i];
    if (slot.child) return InsertAt(*slot.child, item, hash);
    int length = 0;
    for (THashItem* it = slot.chain; it; it = it->next, ++length)
        if (it->trieHash == hash && Equal(*it, *item)) return it;
    item->trieHash = hash;
    if (length < MaxChain || node.level >= MaxLevel) {
        item->next = slot.chain;
        slot.chain = item;
        return item;
    }
    // The chain is full: its items move into a child node of the next level.
    auto child = std::make_unique<TNode>(node.level + 1);
    for (THashItem* it = slot.chain; it;) {
        THashItem* next = it->next;
        InsertAt(*child, it, it->trieHash);
        it = next;
    }
    InsertAt(*child, item, hash);
    slot.chain = nullptr;
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
        for (THashItem* it = slot.chain; it; it = it->next)
            if (it->trieHash == hash && Equal(*it, item)) return it;
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
        THashItem** link = &slot.chain;
        while (*link && !((*link)->trieHash == hash && Equal(**link, item))) link = &(*link)->next;
        if (!*link) return false;
        THashItem* found = *link;
        *link = found->next;
        found->next = nullptr;
        --count;
        // Empty slots are dropped, and so are child nodes left without slots.
        for (int d = depth - 1; d >= 0; --d) {
            auto [n, slotByte] = path[d];
            size_t i = n->IndexOf(slotByte);
            TSlot& sl = n->slots[i];
            bool empty = sl.child ? sl.child->slots.empty() : sl.chain == nullptr;
            if (!empty) break;
            n->slots.erase(n->slots.begin() + i);
            n->bits[slotByte >> 6] &= ~(uint64_t(1) << (slotByte & 63));
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
            for (THashItem* it = slot.chain; it;) {
                THashItem* next = it->next;
                it->next = nullptr;
                ReleaseItem(it);
                it = next;
            }
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
