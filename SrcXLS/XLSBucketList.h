// A hash list from a wide-string key to an integer id, used for the XML tag
// and attribute vocabularies.
#pragma once

#include "SrcXLS/XLSDefs.h"

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace xls {

class EListError : public XLSError {
public:
    using XLSError::XLSError;
};

class TXLSCustomStrBucketList {
public:
    using TItem = std::pair<std::u16string, int>;
    virtual ~TXLSCustomStrBucketList() = default;

    int Add(std::u16string_view key, int id);
    bool Find(std::u16string_view key, int& id) const;
    // Removes the pair at (bucket, position) and returns its id.
    int Delete(int bucket, int position);
    void Clear();
    int Count() const;

    bool Locked = false;

protected:
    virtual uint8_t Hash(std::u16string_view key) const = 0;
    bool FindPosition(std::u16string_view key, int& bucket, int& position) const;

private:
    std::array<std::vector<TItem>, 256> buckets;
    bool clearing = false;
};

class TXLSStringBucketList : public TXLSCustomStrBucketList {
public:
    TXLSStringBucketList() = default;
    // Text i gets id i.
    static TXLSStringBucketList CreateFromArray(std::span<const std::u16string_view> texts);

protected:
    uint8_t Hash(std::u16string_view key) const override;

private:
    uint8_t modulus = 255;
};

} // namespace xls
