#include "support_journal.h"

#include "platform/CodePages.h"

namespace journal_test {

namespace {

std::string A(const char* utf8) {
    return platform::Utf8ToAnsi(utf8);
}

uint64_t Code(uint64_t barcode, uint32_t plu) {
    return barcode << 20 | plu;
}

Bytes Item(uint8_t cancel, uint64_t code, int32_t amount, int32_t price, int32_t cost, uint8_t flags,
           const std::string& operation, const std::string& name) {
    Out o;
    o.U8(cancel).U64(code).U32(static_cast<uint32_t>(amount)).U32(static_cast<uint32_t>(price));
    o.U32(static_cast<uint32_t>(cost)).U8(flags).Text(operation).Text(name);
    return Record(0, o.bytes);
}

Bytes Close(uint8_t id, const std::string& name) {
    return Record(5, Out().U8(id).Text(name).bytes);
}

Bytes Cash(uint16_t number, int32_t sum, int32_t total, uint8_t id, const std::string& name) {
    return Out()
        .U16(number)
        .U32(static_cast<uint32_t>(sum))
        .U32(static_cast<uint32_t>(total))
        .U8(id)
        .Text(name)
        .bytes;
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
    return all;
}

} // namespace

Bytes Record(uint8_t type, const Bytes& payload) {
    Bytes r = {static_cast<uint8_t>(payload.size() + 2), type};
    r.insert(r.end(), payload.begin(), payload.end());
    return r;
}

Bytes Document(uint8_t type, uint16_t number, uint32_t time, const Bytes& body) {
    return Out().U16(body.size()).U8(type).U16(number).U32(time).Raw(body).bytes;
}

Bytes Stream(std::initializer_list<Bytes> documents, bool endMark) {
    Bytes s = Join(documents);
    if (endMark) s.insert(s.end(), {0xFF, 0xFF});
    return s;
}

Bytes EveryKindStream() {
    const uint32_t noon = 726494400; // 09.01.2024 12:00:00
    const Bytes sale = Join({
        // Attributes 3, 6 with its parameters, 1; control bytes before and in the text.
        Record(1, Out().Raw({3, 6, 40, 2, 13, 1, 0x09, 0x0A}).Text(" Hello\x01World").bytes),
        Item(0, Code(4820000000012, 1234), 1500, 1250, 1875, 0x01 | 0x08 | 0x40, A("Повернення"), A("Хліб")),
        Item(1, Code(0, 7), 2000, 100, 200, 0x04 | 0x20 | 0x10 | 0xC0, "", A("Сіль")),
        Record(2, Out().U8(0).U8(0x03).U16(0).U32(1875).U32(100).bytes),
        Record(2, Out().U8(2).U8(0x1C).U16(550).U32(1775).U32(98).U64(UINT64_MAX).bytes),
        Record(3, Out()
                      .U32(1873)
                      .U8(1)
                      .U8(0x13)
                      .U16(2000)
                      .U32(312)
                      .U16(700)
                      .U32(5)
                      .U16(0)
                      .U32(0)
                      .U16(500)
                      .U32(78)
                      .U16(0)
                      .U32(0)
                      .Text(A("Акциз"))
                      .Text("")
                      .bytes),
        Record(4, Out().U8(0).U32(2000).U32(127).bytes),
        Record(4, Out().U8(3).U32(1).bytes),
        Record(4, Out().U8(1).U32(500).bytes),
        Record(9, Out().U8(1).U8(2).U8(3).bytes),
        Close(1, A("Касир 1")),
    });
    const Bytes refund = Join({
        Item(0, Code(4820000000012, 1234), 1000, 1250, 1250, 0x01, A("Повернення"), A("Хліб")),
        Record(3, Out()
                      .U32(static_cast<uint32_t>(-1250))
                      .U8(2)
                      .U8(0x1F)
                      .U16(2000)
                      .U32(static_cast<uint32_t>(-208))
                      .U16(700)
                      .U32(0)
                      .U16(0)
                      .U32(0)
                      .U16(0)
                      .U32(0)
                      .bytes),
        Record(4, Out().U8(0).U32(1250).bytes),
        Close(1, A("Касир 1")),
    });
    const Bytes cancelSale = Join({Item(0, Code(1, 2), 1, 1, 1, 0, "", "x"), Close(4, "")});
    const Bytes cancelRefund = Join({
        Item(0, Code(1, 2), 1, 1, 1, 0, "", "y"),
        Record(3, Out().U32(1).U8(3).U8(0x01).U16(2000).U32(1).U16(150).U32(0).Text(A("Збір")).bytes),
        Close(4, ""),
    });
    const Bytes transmit = Out().U32(1).U32(20).U32(86400).U32(21).U32(25).U32(90061).bytes;
    const Bytes delivery = Out().U32(1).U32(25).U32(noon).bytes;
    const Bytes accept = Out()
                             .U8(3)
                             .U8(2)
                             .U64(12345678901234567890ull)
                             .U64(Code(0, 5))
                             .U32(3000)
                             .U32(150)
                             .U64(0)
                             .U32(static_cast<uint32_t>(-1000))
                             .U32(0)
                             .bytes;
    return Stream({
        Document(0, 101, 0, sale),
        Document(1, 102, 3600, refund),
        Document(2, 103, noon, cancelSale),
        Document(3, 104, noon, cancelRefund),
        Document(4, 9999, noon, Cash(105, 50000, 150000, 2, A("Старший касир"))),
        Document(5, 9999, noon, Cash(106, -1, 0, 2, "")),
        Document(6, 107, noon, transmit),
        Document(7, 108, noon, delivery),
        Document(16, 109, noon, accept),
        Document(17, 110, noon, Out().U8(3).U8(0).U64(0).bytes),
        Document(9, 111, noon, Out().U32(7).bytes),
    });
}

Bytes ZBuffer(const std::string& fn, const std::string& pn, uint16_t bodyLength, uint8_t type) {
    Out o;
    o.U16(bodyLength).U8(type).U16(1998).U32(3600).Text(fn).Text(pn);
    o.U32(726393600);                                     // VAT_DT: 08.01.2024 8:00:00
    for (uint16_t rate : {2000, 700, 0, 1}) o.U16(rate);  // VAT 1..4
    for (uint16_t rate : {500, 0, 0, 65535}) o.U16(rate); // TAX 1..4
    o.U8(0);                                              // VAT type 0, written 1
    for (int side = 0; side < 2; ++side) {
        for (int i = 0; i < 5; ++i)
            o.U32(static_cast<uint32_t>(side == 0 ? 100000 * (i + 1) : -100 * (i + 1)));
        for (int i = 0; i < 4; ++i) o.U32(static_cast<uint32_t>(side == 0 ? 16667 + i : -17 - i));
        for (int i = 0; i < 4; ++i) o.U32(static_cast<uint32_t>(side == 0 ? 2381 + i : 0));
        o.U16(side == 0 ? 57 : 65535);
    }
    o.bytes.resize(178, 0);
    return o.bytes;
}

} // namespace journal_test
