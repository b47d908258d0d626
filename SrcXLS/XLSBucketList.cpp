#include "SrcXLS/XLSBucketList.h"

#include "SrcXLS/XLSChecksum.h"

namespace xls {

int TXLSCustomStrBucketList::Add(std::u16string_view key, int id) {
    if (Locked) throw EListError("Bucket List Locked");
    int existing;
    if (Find(key, existing)) throw EListError("Duplicate Item");
    buckets[Hash(key)].emplace_back(std::u16string(key), id);
    return id;
}

bool TXLSCustomStrBucketList::FindPosition(std::u16string_view key, int& bucket, int& position) const {
    bucket = Hash(key);
    const auto& b = buckets[bucket];
    for (size_t i = 0; i < b.size(); ++i)
        if (b[i].first == key) {
            position = int(i);
            return true;
        }
    return false;
}

bool TXLSCustomStrBucketList::Find(std::u16string_view key, int& id) const {
    int bucket, position;
    if (!FindPosition(key, bucket, position)) return false;
    id = buckets[bucket][position].second;
    return true;
}

int TXLSCustomStrBucketList::Delete(int bucket, int position) {
    if (bucket < 0 || bucket >= int(buckets.size()) || position < 0 ||
        position >= int(buckets[bucket].size()))
        throw EListError("List index out of bounds");
    auto& b = buckets[bucket];
    int id = b[position].second;
    if (!clearing) b.erase(b.begin() + position);
    return id;
}

void TXLSCustomStrBucketList::Clear() {
    if (Locked) throw EListError("Bucket List Locked");
    clearing = true;
    for (int i = 0; i < int(buckets.size()); ++i) {
        for (int k = int(buckets[i].size()) - 1; k >= 0; --k) Delete(i, k);
        buckets[i].clear();
    }
    clearing = false;
}

int TXLSCustomStrBucketList::Count() const {
    int n = 0;
    for (const auto& b : buckets) n += int(b.size());
    return n;
}

TXLSStringBucketList TXLSStringBucketList::CreateFromArray(std::span<const std::u16string_view> texts) {
    TXLSStringBucketList list;
    for (size_t i = 0; i < texts.size(); ++i) list.Add(texts[i], int(i));
    return list;
}

uint8_t TXLSStringBucketList::Hash(std::u16string_view key) const {
    return uint8_t(Crc32OfWideString(key) % modulus);
}

} // namespace xls
