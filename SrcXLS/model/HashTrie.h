// A set of items indexed by a 32-bit hash: a 256-way trie over the hash
// bytes whose leaves are short chains, which fixes the order of a walk, and
// beside it a flat open-addressing index of the same items, so a lookup
// costs one probe into an array instead of a walk down the trie. Chains are
// linked through the items themselves; nodes keep only their occupied slots
// (a bitmap and a packed slot array), visited in the order of a full array.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace xls {

class THashTrie;

// Base of everything a trie holds: the cached hash and the chain link.
class THashItem {
public:
    virtual ~THashItem() = default;
    // The cached hash, computed on first use.
    uint32_t HashValue() const {
        if (hash == 0) hash = Hash();
        return hash;
    }
    virtual uint32_t Hash() const = 0;
    virtual bool Equal(const THashItem& other) const = 0;
    void ResetHash() { hash = 0; }

private:
    friend class THashTrie;
    mutable uint32_t hash = 0;
    uint32_t trieHash = 0;     // the hash the trie holds it by
    THashItem* next = nullptr; // the next item of its chain
};

class THashTrie {
public:
    // Chains never grow past this while hash bytes are left to split on.
    static constexpr int MaxChain = 8;
    // Levels 0..3 use the four hash bytes; deeper nodes could not tell
    // items with one full hash apart, so chains grow there instead.
    static constexpr int MaxLevel = 3;

    THashTrie();
    virtual ~THashTrie();
    THashTrie(const THashTrie&) = delete;
    THashTrie& operator=(const THashTrie&) = delete;

    // Inserts item unless an equal one is stored; returns the stored one.
    THashItem* Insert(THashItem* item, uint32_t hash);
    // Inserts an item the caller has just looked for and not found.
    void InsertNew(THashItem* item, uint32_t hash);
    // Inserts many items as Insert one after the other would: each pair's
    // item becomes the one the table holds for it (an equal one stored
    // before, or the first of equal ones in the batch). The index is filled
    // in slot order, so a big batch costs no cache miss an item.
    void InsertBatch(std::span<std::pair<THashItem*, uint32_t>> items);
    // Makes room in the index for n more items at once.
    void Reserve(size_t n);
    THashItem* Find(const THashItem& item, uint32_t hash) const;
    // Unlinks the stored item equal to item and releases it; false when none.
    bool Remove(const THashItem& item, uint32_t hash);
    // Removes every item for which going holds, in one walk of the trie and
    // one pass over the index, leaving the trie as removing them one by one
    // would; they are released in address order. Returns their number.
    size_t RemoveIf(bool (*going)(const THashItem&));
    void Clear();
    size_t Count() const { return count; }

    // Visits items in trie order: slots 0..255, a chain from its head, a
    // child node depth-first. The visitor returns false to stop the walk.
    template <class F> void ForEach(F&& visit) const {
        Settle();
        Walk(*root, visit);
    }

    size_t NodeCount() const;
    // Bytes of the trie's nodes and index (not of the items).
    size_t TableBytes() const;

protected:
    virtual bool Equal(const THashItem& a, const THashItem& b) const = 0;
    virtual void ReleaseItem(THashItem* item) = 0;
    // Derived destructors call this, while ReleaseItem is still theirs.
    void ReleaseAll();
    // Forgets every item without releasing any: for an owner that frees its
    // items all at once.
    void ForgetAll();

private:
    struct TNode;
    struct TSlot {
        THashItem* head = nullptr; // the chain, newest first
        uint32_t length = 0;
        std::unique_ptr<TNode> child;
    };
    struct TNode {
        explicit TNode(int level) : level(level) {}
        int level;
        std::array<uint64_t, 4> bits{};
        // Occupied slots in the bitmap words before each word.
        std::array<uint8_t, 4> before{};
        std::vector<TSlot> slots; // the occupied slots in slot order

        bool Has(unsigned s) const { return (bits[s >> 6] >> (s & 63)) & 1; }
        size_t IndexOf(unsigned s) const {
            return before[s >> 6] + size_t(std::popcount(bits[s >> 6] & ((uint64_t(1) << (s & 63)) - 1)));
        }
        void Mark(unsigned s, bool occupied) {
            const uint64_t bit = uint64_t(1) << (s & 63);
            bits[s >> 6] = occupied ? bits[s >> 6] | bit : bits[s >> 6] & ~bit;
            for (unsigned w = (s >> 6) + 1; w < 4; ++w) before[w] = uint8_t(before[w] + (occupied ? 1 : -1));
        }
    };

    static unsigned SlotOf(uint32_t hash, int level) { return (hash >> (8 * (level & 3))) & 0xFF; }
    static void InsertAt(TNode& node, THashItem* item);
    // Hangs the items inserted since the last walk or removal in the trie,
    // in the order they came, which gives the trie an insert each would have.
    void Settle() const {
        if (!unplaced.empty()) PlaceUnplaced();
    }
    void PlaceUnplaced() const;
    void ReleaseNode(TNode& node);
    static void UnlinkIf(TNode& node, bool (*going)(const THashItem&), std::vector<THashItem*>& gone);
    static size_t CountNodes(const TNode& node);
    static size_t NodeBytes(const TNode& node);

    // The flat index: items and their hashes by linear probing.
    size_t Home(uint32_t hash) const { return size_t((hash * 0x9E3779B1u) >> (32 - indexBits)); }
    size_t IndexFind(const THashItem& item, uint32_t hash) const;
    void IndexAdd(THashItem* item, uint32_t hash);
    void IndexErase(size_t at);
    // To the smallest size that holds `items` at most three quarters full.
    void IndexGrow(size_t items);

    template <class F> static bool Walk(const TNode& node, F& visit) {
        for (const TSlot& slot : node.slots) {
            if (slot.child) {
                if (!Walk(*slot.child, visit)) return false;
            } else {
                for (THashItem* it = slot.head; it; it = it->next)
                    if (!visit(it)) return false;
            }
        }
        return true;
    }

    std::unique_ptr<TNode> root;
    // Inserted items not yet in the trie: a file's strings are only looked up
    // (through the index) until the workbook is written or a string removed.
    mutable std::vector<THashItem*> unplaced;
    size_t count = 0;
    // A slot's hash and item side by side: a probe touches one cache line.
    struct [[gnu::packed]] TIndexSlot {
        uint32_t hash;
        THashItem* item;
    };
    std::vector<TIndexSlot> index;
    int indexBits = 0;
};

// Items are objects owned elsewhere (the font pool); equality is theirs.
class TObjectHashTrie : public THashTrie {
public:
    ~TObjectHashTrie() override { ReleaseAll(); }
    THashItem* AddObject(THashItem* item) { return Insert(item, item->HashValue()); }
    THashItem* FindObject(const THashItem& item) const { return Find(item, item.HashValue()); }
    bool RemoveObject(const THashItem& item) { return Remove(item, item.HashValue()); }

protected:
    bool Equal(const THashItem& a, const THashItem& b) const override { return a.Equal(b); }
    void ReleaseItem(THashItem*) override {}
};

} // namespace xls
