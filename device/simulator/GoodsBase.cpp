#include "device/simulator/GoodsBase.h"

#include <algorithm>

namespace sim {

namespace {

uint8_t FlagsByte(const Goods& g) {
    uint8_t flags = g.tax & 7;
    if (g.weighed) flags |= 0x08;
    if (g.presenceControl) flags |= 0x10;
    if (g.saleBlocking) flags |= 0x20;
    if (g.payoutOperation & 1) flags |= 0x40;
    if (g.payoutOperation & 2) flags |= 0x80;
    return flags;
}

void WriteHead(ByteWriter& w, const Goods& g) {
    w.U16(g.number);
    w.U32(g.price);
    w.U8(static_cast<uint8_t>(g.group - 1));
    w.U8(FlagsByte(g));
    w.U32(g.remainder);
}

int16_t Flag(bool set) {
    return set ? -1 : 0;
}

} // namespace

bool Goods::SoldToday() const {
    return std::any_of(day.begin(), day.end(), [](uint32_t v) { return v != 0; });
}

bool Goods::InPeriod() const {
    return std::any_of(period.begin(), period.end(), [](uint64_t v) { return v != 0; });
}

std::vector<uint8_t> RawGoodsRecord(const Goods& g) {
    ByteWriter w;
    WriteHead(w, g);
    for (uint32_t v : g.day) w.U32(v);
    w.U64(g.Code());
    w.Fixed(g.name, MaxNameBytes);
    return w.Bytes();
}

std::vector<uint8_t> RawPeriodicRecord(const Goods& g) {
    ByteWriter w;
    WriteHead(w, g);
    for (uint64_t v : g.period) w.U48(std::min(v, Max48));
    w.U64(g.Code());
    w.Fixed(g.name, MaxNameBytes);
    return w.Bytes();
}

// The fields both first-record types share, up to the remainder.
template <class Data> Data HeadOf(const Goods& g) {
    Data d{};
    d.number = g.number;
    d.price = g.price;
    d.group = g.group;
    d.tax = g.tax;
    d.weighed = Flag(g.weighed);
    d.presenceControl = Flag(g.presenceControl);
    d.saleBlocking = Flag(g.saleBlocking);
    d.payoutOperation = g.payoutOperation;
    d.remainder = g.remainder;
    d.plu = g.plu;
    d.barcode = g.barcode;
    return d;
}

Q710GoodsData GoodsDataOf(const Goods& g) {
    Q710GoodsData d = HeadOf<Q710GoodsData>(g);
    d.soldQuantity = g.day[0];
    d.payoutQuantity = g.day[1];
    d.salesSum = g.day[2];
    d.payoutsSum = g.day[3];
    d.discountsOnSales = g.day[4];
    d.discountsOnPayouts = g.day[5];
    d.marginsOnSales = g.day[6];
    d.marginsOnPayouts = g.day[7];
    return d;
}

Q710PeriodicGoodsData PeriodicDataOf(const Goods& g) {
    Q710PeriodicGoodsData d = HeadOf<Q710PeriodicGoodsData>(g);
    d.soldQuantity = static_cast<int64_t>(std::min(g.period[0], Max48));
    d.payoutQuantity = static_cast<int64_t>(std::min(g.period[1], Max48));
    d.salesSum = static_cast<int64_t>(std::min(g.period[2], Max48));
    d.payoutsSum = static_cast<int64_t>(std::min(g.period[3], Max48));
    return d;
}

bool ValidProgData(const Q710GoodsProgData& d) {
    // A goods item is sold by its PLU or its barcode: one of them must be set.
    return d.price >= 0 && d.group >= 1 && d.group <= 100 && d.tax <= 4 && d.payoutOperation <= 3 &&
           d.quantity >= 0 && d.plu >= 0 && d.plu <= MaxPlu && d.barcode >= 0 && d.barcode <= MaxBarcode &&
           (d.plu != 0 || d.barcode != 0);
}

Goods GoodsFromProg(const Q710GoodsProgData& d, int nameLength) {
    Goods g;
    g.price = static_cast<uint32_t>(d.price);
    g.group = d.group;
    g.tax = d.tax;
    g.weighed = d.weighed != 0;
    g.presenceControl = d.presenceControl != 0;
    g.saleBlocking = d.saleBlocking != 0;
    g.payoutOperation = d.payoutOperation;
    g.remainder = static_cast<uint32_t>(d.quantity);
    g.plu = d.plu;
    g.barcode = d.barcode;
    std::size_t length = 0;
    const std::size_t limit = static_cast<std::size_t>(std::clamp(nameLength, 0, MaxNameBytes));
    if (d.name != nullptr)
        while (length < limit && d.name[length] != '\0') ++length;
    if (d.name != nullptr) g.name.assign(d.name, length);
    return g;
}

GoodsBase::GoodsBase() : slots_(GoodsCapacity) {}

int GoodsBase::Programmed() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s.has_value(); }));
}

int GoodsBase::Failures() const {
    return static_cast<int>(
        std::count_if(slots_.begin(), slots_.end(), [](const auto& s) { return s && s->failure; }));
}

const Goods* GoodsBase::At(int number) const {
    if (number < 0 || number >= Capacity() || !slots_[number]) return nullptr;
    return &*slots_[number];
}

int GoodsBase::Find(int32_t plu, int64_t barcode) const {
    for (int n = 0; n < Capacity(); ++n)
        if (slots_[n] && slots_[n]->plu == plu && slots_[n]->barcode == barcode) return n;
    return -1;
}

int GoodsBase::FirstFree() const {
    for (int n = 0; n < Capacity(); ++n)
        if (!slots_[n]) return n;
    return -1;
}

void GoodsBase::Put(int number, Goods goods) {
    if (number < 0 || number >= Capacity()) return;
    goods.number = static_cast<uint16_t>(number);
    slots_[number] = std::move(goods);
}

void GoodsBase::Erase(int number) {
    if (number >= 0 && number < Capacity()) slots_[number].reset();
}

void GoodsBase::EraseAll() {
    for (auto& s : slots_) s.reset();
}

int GoodsBase::EraseFailures() {
    int erased = 0;
    for (auto& s : slots_)
        if (s && s->failure) {
            s.reset();
            ++erased;
        }
    return erased;
}

void GoodsBase::MarkFailure(int number) {
    if (number >= 0 && number < Capacity() && slots_[number]) slots_[number]->failure = true;
}

void GoodsBase::Write(ByteWriter& w) const {
    w.U8(static_cast<uint8_t>(nameLength_));
    w.U32(static_cast<uint32_t>(Programmed()));
    for (const auto& s : slots_) {
        if (!s) continue;
        const Goods& g = *s;
        w.U16(g.number);
        w.U32(g.price);
        w.U8(g.group);
        w.U8(g.tax);
        w.U8(static_cast<uint8_t>((g.weighed ? 1 : 0) | (g.presenceControl ? 2 : 0) |
                                  (g.saleBlocking ? 4 : 0) | (g.failure ? 8 : 0)));
        w.U8(g.payoutOperation);
        w.U32(g.remainder);
        for (uint32_t v : g.day) w.U32(v);
        for (uint64_t v : g.period) w.U64(v);
        w.U32(static_cast<uint32_t>(g.plu));
        w.U64(static_cast<uint64_t>(g.barcode));
        w.Text(g.name);
    }
    w.U32(static_cast<uint32_t>(additional_.size()));
    for (int64_t code : additional_) w.U64(static_cast<uint64_t>(code));
}

bool GoodsBase::Read(ByteReader& r) {
    GoodsBase fresh;
    fresh.nameLength_ = r.U8();
    if (fresh.nameLength_ < 20 || fresh.nameLength_ > MaxNameBytes) return false;
    const uint32_t count = r.U32();
    if (!r.Ok() || count > static_cast<uint32_t>(GoodsCapacity)) return false;
    for (uint32_t i = 0; i < count; ++i) {
        Goods g;
        g.number = r.U16();
        g.price = r.U32();
        g.group = r.U8();
        g.tax = r.U8();
        const uint8_t flags = r.U8();
        g.weighed = flags & 1;
        g.presenceControl = flags & 2;
        g.saleBlocking = flags & 4;
        g.failure = flags & 8;
        g.payoutOperation = r.U8();
        g.remainder = r.U32();
        for (uint32_t& v : g.day) v = r.U32();
        for (uint64_t& v : g.period) v = std::min(r.U64(), Max48);
        g.plu = static_cast<int32_t>(r.U32());
        g.barcode = static_cast<int64_t>(r.U64());
        g.name = r.Text(MaxNameBytes);
        if (!r.Ok() || g.number >= GoodsCapacity || g.group < 1 || g.group > 100 || g.tax > 4 ||
            g.payoutOperation > 3 || g.plu < 0 || g.plu > MaxPlu || g.barcode < 0 || g.barcode > MaxBarcode ||
            fresh.slots_[g.number])
            return false;
        fresh.slots_[g.number] = std::move(g);
    }
    const uint32_t extra = r.U32();
    if (!r.Ok() || extra > 100000) return false;
    for (uint32_t i = 0; i < extra; ++i) fresh.additional_.insert(static_cast<int64_t>(r.U64()));
    if (!r.Ok()) return false;
    *this = std::move(fresh);
    return true;
}

} // namespace sim
