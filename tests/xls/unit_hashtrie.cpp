// The hash trie: splitting, order of visits, removal, and keys that share
// one full hash.
#include "SrcXLS/model/HashTrie.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace xls;

namespace {

struct Item : THashItem {
    Item(int key, uint32_t h) : key(key), h(h) {}
    uint32_t Hash() const override { return h; }
    bool Equal(const THashItem& o) const override { return static_cast<const Item&>(o).key == key; }
    int key;
    uint32_t h;
    bool going = false;
};

// Owns its items like the string table does.
class OwningTrie : public THashTrie {
public:
    ~OwningTrie() override { ReleaseAll(); }
    Item* Add(int key, uint32_t h) {
        auto item = std::make_unique<Item>(key, h);
        auto* stored = static_cast<Item*>(Insert(item.get(), h));
        if (stored == item.get()) item.release();
        return stored;
    }
    Item* Get(int key, uint32_t h) const { return static_cast<Item*>(Find(Item(key, h), h)); }
    bool Drop(int key, uint32_t h) { return Remove(Item(key, h), h); }
    // Inserts the keys as one batch; the items the table holds for them.
    std::vector<Item*> AddBatch(const std::vector<std::pair<int, uint32_t>>& keys) {
        std::vector<std::unique_ptr<Item>> made;
        std::vector<std::pair<THashItem*, uint32_t>> batch;
        for (auto [key, h] : keys) {
            made.push_back(std::make_unique<Item>(key, h));
            batch.emplace_back(made.back().get(), h);
        }
        InsertBatch(batch);
        std::vector<Item*> held;
        for (size_t k = 0; k < batch.size(); ++k) {
            held.push_back(static_cast<Item*>(batch[k].first));
            if (batch[k].first == made[k].get()) made[k].release();
        }
        return held;
    }
    int released = 0;

protected:
    bool Equal(const THashItem& a, const THashItem& b) const override { return a.Equal(b); }
    void ReleaseItem(THashItem* item) override {
        ++released;
        std::unique_ptr<THashItem> owned(item);
    }
};

std::vector<int> Keys(const THashTrie& trie) {
    std::vector<int> keys;
    trie.ForEach([&](THashItem* it) {
        keys.push_back(static_cast<Item*>(it)->key);
        return true;
    });
    return keys;
}

} // namespace

TEST(HashTrie, NinthItemOfAChainSplitsIntoTheNextLevel) {
    OwningTrie trie;
    for (int i = 0; i < 8; ++i) trie.Add(i, 0x07 | (i << 8));
    EXPECT_EQ(trie.NodeCount(), 1u);
    trie.Add(8, 0x07 | (8 << 8));
    EXPECT_EQ(trie.NodeCount(), 2u);
    EXPECT_EQ(trie.Count(), 9u);
    for (int i = 0; i < 9; ++i) ASSERT_NE(trie.Get(i, 0x07 | (i << 8)), nullptr) << i;
    // In the child the items are ordered by their second hash byte.
    EXPECT_EQ(Keys(trie), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
    // An equal item keeps the stored one.
    Item* first = trie.Get(3, 0x07 | (3 << 8));
    EXPECT_EQ(trie.Add(3, 0x07 | (3 << 8)), first);
    EXPECT_EQ(trie.Count(), 9u);
    EXPECT_EQ(trie.Get(100, 0x07 | (3 << 8)), nullptr);
}

TEST(HashTrie, RemovingTheLastItemOfAChildFreesIt) {
    OwningTrie trie;
    for (int i = 0; i < 9; ++i) trie.Add(i, 0x05 | (i << 8));
    trie.Add(100, 0x06);
    ASSERT_EQ(trie.NodeCount(), 2u);
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(trie.Drop(i, 0x05 | (i << 8)));
    EXPECT_EQ(trie.NodeCount(), 1u);
    EXPECT_EQ(trie.released, 9);
    EXPECT_FALSE(trie.Drop(0, 0x05));
    EXPECT_EQ(Keys(trie), std::vector<int>{100});
}

TEST(HashTrie, VisitOrderIsSlotOrderNewestFirstInAChain) {
    OwningTrie trie;
    trie.Add(1, 200);
    trie.Add(2, 3);
    trie.Add(3, 3 | 0x100);
    EXPECT_EQ(Keys(trie), (std::vector<int>{3, 2, 1}));
    int visited = 0;
    trie.ForEach([&](THashItem*) { return ++visited < 2; });
    EXPECT_EQ(visited, 2);
}

TEST(HashTrie, KeysSharingOneFullHashChainWithoutEndlessSplitting) {
    OwningTrie trie;
    for (int i = 0; i < 200; ++i) trie.Add(i, 0xDEADBEEF);
    EXPECT_EQ(trie.Count(), 200u);
    EXPECT_LE(trie.NodeCount(), 4u);
    for (int i = 0; i < 200; ++i) ASSERT_NE(trie.Get(i, 0xDEADBEEF), nullptr);
    for (int i = 0; i < 200; i += 2) ASSERT_TRUE(trie.Drop(i, 0xDEADBEEF));
    EXPECT_EQ(trie.Count(), 100u);
    EXPECT_EQ(trie.Get(4, 0xDEADBEEF), nullptr);
    EXPECT_NE(trie.Get(5, 0xDEADBEEF), nullptr);
}

TEST(HashTrie, RandomOperationsAgreeWithAMap) {
    OwningTrie trie;
    std::map<int, uint32_t> model;
    std::mt19937 gen(11);
    // Few distinct hashes force deep chains and splits.
    std::uniform_int_distribution<int> key(0, 3000), hashPick(0, 63);
    for (int step = 0; step < 40000; ++step) {
        int k = key(gen);
        uint32_t h = uint32_t(hashPick(gen)) * 0x01010101u;
        if (model.count(k)) h = model[k];
        if (gen() % 3) {
            trie.Add(k, h);
            model[k] = h;
        } else {
            EXPECT_EQ(trie.Drop(k, h), model.erase(k) == 1);
        }
    }
    EXPECT_EQ(trie.Count(), model.size());
    for (auto [k, h] : model) ASSERT_NE(trie.Get(k, h), nullptr);
    EXPECT_EQ(Keys(trie).size(), model.size());
    trie.Clear();
    EXPECT_EQ(trie.Count(), 0u);
    EXPECT_EQ(trie.NodeCount(), 1u);
}

TEST(HashTrie, ObjectTrieLeavesItemsToTheirOwner) {
    Item a(1, 77), b(1, 77), c(2, 77);
    {
        TObjectHashTrie trie;
        EXPECT_EQ(trie.AddObject(&a), &a);
        EXPECT_EQ(trie.AddObject(&b), &a);
        EXPECT_EQ(trie.FindObject(c), nullptr);
        trie.AddObject(&c);
        EXPECT_TRUE(trie.RemoveObject(b));
        EXPECT_EQ(trie.FindObject(a), nullptr);
    }
    EXPECT_EQ(c.key, 2); // still alive after the trie is gone
}

// A walk fixes nothing: the same inserts and removals give the same visit
// order whether the trie is walked after every step or only at the end, and
// items not yet walked are still released by Clear and by the destructor.
TEST(HashTrie, VisitOrderDoesNotDependOnWhenTheTrieIsWalked) {
    struct Step {
        int key;
        bool drop;
    };
    std::vector<Step> steps;
    std::mt19937 gen(7);
    for (int i = 0; i < 5000; ++i) steps.push_back({int(gen() % 700), gen() % 4 == 0});
    auto hashOf = [](int k) { return uint32_t(k % 37) * 0x01010101u; };
    OwningTrie walked, late;
    for (const Step& s : steps) {
        for (OwningTrie* t : {&walked, &late}) {
            if (s.drop)
                t->Drop(s.key, hashOf(s.key));
            else
                t->Add(s.key, hashOf(s.key));
        }
        Keys(walked);
    }
    EXPECT_EQ(Keys(late), Keys(walked));
    EXPECT_EQ(late.NodeCount(), walked.NodeCount());

    OwningTrie fresh;
    for (int k = 0; k < 50; ++k) fresh.Add(k, hashOf(k));
    fresh.Clear();
    EXPECT_EQ(fresh.released, 50);
    EXPECT_TRUE(Keys(fresh).empty());
    for (int k = 0; k < 20; ++k) fresh.Add(k, hashOf(k));
    EXPECT_EQ(fresh.Count(), 20u);
}

// Removing many items in one sweep leaves the trie, its walk order and its
// lookups exactly as removing them one by one does.
TEST(HashTrie, RemovingManyAtOnceLeavesWhatOneByOneLeaves) {
    struct Case {
        const char* name;
        uint32_t (*hash)(int);
        int every; // every n-th key goes
        bool walkedBefore;
    };
    const Case cases[] = {
        {"spread", [](int k) { return uint32_t(k) * 0x9E3779B1u; }, 3, false},
        {"deep chains", [](int k) { return uint32_t(k % 37) * 0x01010101u; }, 2, true},
        {"one full hash", [](int) { return 0x12345678u; }, 4, false},
        {"all go", [](int k) { return uint32_t(k) * 0x9E3779B1u; }, 1, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        OwningTrie sweep, single;
        for (int k = 0; k < 3000; ++k)
            for (OwningTrie* t : {&sweep, &single}) t->Add(k, c.hash(k));
        if (c.walkedBefore) Keys(sweep);
        int going = 0;
        for (int k = 0; k < 3000; k += c.every) {
            sweep.Get(k, c.hash(k))->going = true;
            single.Drop(k, c.hash(k));
            ++going;
        }
        EXPECT_EQ(sweep.RemoveIf([](const THashItem& it) { return static_cast<const Item&>(it).going; }),
                  size_t(going));
        EXPECT_EQ(sweep.released, going);
        EXPECT_EQ(sweep.Count(), single.Count());
        EXPECT_EQ(Keys(sweep), Keys(single));
        EXPECT_EQ(sweep.NodeCount(), single.NodeCount());
        for (int k = 0; k < 3000; ++k) EXPECT_EQ(sweep.Get(k, c.hash(k)) != nullptr, k % c.every != 0) << k;
    }
}

// A batch (repeats within it, keys stored before, chains of one full hash,
// an index that grows for it) leaves what inserting its keys one by one
// leaves, and gives each key the item the table holds for it.
TEST(HashTrie, ABatchInsertsAsOneByOne) {
    const std::pair<const char*, uint32_t (*)(int)> hashes[] = {
        {"spread", [](int k) { return uint32_t(k) * 0x9E3779B1u; }},
        {"deep chains", [](int k) { return uint32_t(k % 37) * 0x01010101u; }},
        {"one full hash", [](int) { return 0x12345678u; }},
    };
    for (const auto& [name, hash] : hashes) {
        SCOPED_TRACE(name);
        OwningTrie batched, single;
        for (int k = 0; k < 500; k += 3)
            for (OwningTrie* t : {&batched, &single}) t->Add(k, hash(k));
        std::vector<std::pair<int, uint32_t>> keys;
        std::mt19937 random(7);
        for (int i = 0; i < 5000; ++i) {
            const int k = int(random() % 4000);
            keys.emplace_back(k, hash(k));
        }
        const std::vector<Item*> held = batched.AddBatch(keys);
        for (size_t i = 0; i < keys.size(); ++i) {
            EXPECT_EQ(single.Add(keys[i].first, keys[i].second)->key, keys[i].first);
            EXPECT_EQ(held[i], batched.Get(keys[i].first, keys[i].second));
        }
        EXPECT_EQ(batched.Count(), single.Count());
        EXPECT_EQ(Keys(batched), Keys(single));
        EXPECT_EQ(batched.NodeCount(), single.NodeCount());
    }
}
