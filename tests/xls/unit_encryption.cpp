#include "SrcXLS/Tabrix4.h"
#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/formats/BIFFEncryption.h"
#include "SrcXLS/formats/TabrixReader.h"

#include "support_biffbuild.h"
#include "support_messages.h"

#include <gtest/gtest.h>

#include <random>

using namespace xls;
using namespace biffbuild;

namespace {

// Fixes the salt and verifier of the files written while it lives.
struct FixedRandom {
    explicit FixedRandom(uint8_t seed) {
        SetFilePassRandomSource([seed](uint8_t* out, size_t n) {
            for (size_t i = 0; i < n; ++i) out[i] = uint8_t(seed + 7 * i);
        });
    }
    ~FixedRandom() { SetFilePassRandomSource({}); }
};

// A BIFF8 workbook of one sheet with a number in A1, its globals starting
// with the given FILEPASS body; an RC4 body encrypts the rest with key.
Bytes Workbook(const Bytes& filePass, const TRC4Key* key = nullptr) {
    Stream s;
    s.Bof8(0x0005).Rec(biff::FILEPASS, filePass);
    const size_t from = s.Data().size();
    s.Rec(biff::INTERFACEHDR, Body().U16(0x04B0)).BoundSheet8("Каса").Eof();
    s.Bof8(0x0010).Number(0, 0, 42.5).Eof();
    Bytes stream = s.Data();
    if (key) CryptRecords(stream, from, *key);
    return CompoundImage(stream);
}

Bytes RC4Workbook(std::u16string_view password) {
    TRC4Key key;
    const Bytes filePass = MakeFilePass(password, key);
    return Workbook(filePass, &key);
}

struct Outcome {
    std::string Message; // empty: read
    double A1 = 0;
};

Outcome ReadWith(const Bytes& image, const std::u16string& password,
                 std::function<void(TTabrix4&, std::u16string&)> onPassword = {}) {
    TTabrix4 book;
    book.Password = password;
    book.OnPassword = std::move(onPassword);
    Outcome o;
    o.Message = MessageOf([&] {
        ReadWorkbookFile(book, &image);
        book.AfterRead();
    });
    if (o.Message == "(no exception)") {
        o.Message.clear();
        o.A1 = book.GetSheet(0).GetAsFloat(0, 0);
    }
    return o;
}

} // namespace

TEST(Encryption, ReaderMessagesForEveryKindOfFilePass) {
    FixedRandom fixed(1);
    const Bytes secret = RC4Workbook(u"secret");
    const Bytes velvet = RC4Workbook(DefaultPassword);
    const Bytes cryptoApi = Body().U16(1).U16(4).U16(2).Raw(Bytes(200, 0)).b;
    auto give = [](std::u16string answer) {
        return [answer](TTabrix4&, std::u16string& pw) { pw = answer; };
    };
    struct Case {
        const char* what;
        Bytes image;
        std::u16string password;
        std::function<void(TTabrix4&, std::u16string&)> onPassword;
        std::string message; // empty: the sheet reads
    } cases[] = {
        {"XOR",
         Workbook(Body().U16(0).U16(0x1234).U16(0x5678).b),
         u"",
         {},
         "File encrypted with non-standard key. French?"},
        {"CryptoAPI", Workbook(cryptoApi), u"secret", {}, "Can not read file, unknown type of encryption."},
        {"other type",
         Workbook(Body().U16(7).Raw(Bytes(52, 0)).b),
         u"",
         {},
         "Can not read file, unknown type of encryption."},
        {"RC4 body cut",
         Workbook(Body().U16(1).U16(1).U16(1).Raw(Bytes(20, 0)).b),
         u"secret",
         {},
         "Bad record in file"},
        {"type only", Workbook(Body().U16(1).b), u"secret", {}, "Bad record in file"},
        {"no password", secret, u"", {}, "File is encrypted. Password required."},
        {"wrong password", secret, u"Secret", {}, "Invalid password"},
        {"handler gives none", secret, u"", give(u""), "Password is missing."},
        {"handler gives a wrong one", secret, u"", give(u"nope"), "Invalid password"},
        {"password", secret, u"secret", {}, ""},
        {"handler gives it", secret, u"", give(u"secret"), ""},
        {"handler overrides", secret, u"nope", give(u"secret"), ""},
        {"default password, none given", velvet, u"", {}, ""},
        {"default password, another given", velvet, u"secret", {}, "Invalid password"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Outcome o = ReadWith(c.image, c.password, c.onPassword);
        if (c.message.empty()) {
            EXPECT_EQ(o.Message, "");
            EXPECT_EQ(o.A1, 42.5);
        } else {
            // Wrapped with the record number, as every reading error.
            EXPECT_NE(o.Message.find("002F"), std::string::npos) << o.Message;
            EXPECT_EQ(o.Message.substr(o.Message.size() - std::min(o.Message.size(), c.message.size())),
                      c.message);
        }
    }
}

TEST(Encryption, TheHandlerIsAskedWithThePasswordGivenAndOnlyWhenTheDefaultFails) {
    FixedRandom fixed(2);
    int asked = 0;
    std::u16string seen;
    auto handler = [&](TTabrix4&, std::u16string& pw) {
        ++asked;
        seen = pw;
        pw = u"secret";
    };
    EXPECT_EQ(ReadWith(RC4Workbook(DefaultPassword), u"", handler).Message, "");
    EXPECT_EQ(asked, 0);
    EXPECT_EQ(ReadWith(RC4Workbook(u"secret"), u"first", handler).Message, "");
    EXPECT_EQ(asked, 1);
    EXPECT_EQ(seen, u"first");
}

TEST(Encryption, OnlyTheFirst31CharactersOfAPasswordCount) {
    const std::u16string longer = u"0123456789012345678901234567890-and-more";
    const std::u16string first31 = longer.substr(0, 31);
    const uint8_t salt[16] = {1, 2, 3};
    EXPECT_EQ(DeriveRC4Key(longer, salt), DeriveRC4Key(first31, salt));
    EXPECT_NE(DeriveRC4Key(first31, salt), DeriveRC4Key(first31.substr(0, 30), salt));
    TRC4Key key;
    const Bytes filePass = MakeFilePass(longer, key);
    EXPECT_TRUE(VerifyPassword(filePass, first31, key));
    EXPECT_FALSE(VerifyPassword(filePass, first31.substr(0, 30), key));
}

TEST(Encryption, EveryFileGetsItsOwnSaltAndVerifierUnlessTheTestHookFixesThem) {
    TRC4Key k1, k2;
    const Bytes a = MakeFilePass(u"pw", k1), b = MakeFilePass(u"pw", k2);
    EXPECT_NE(Bytes(a.begin() + 6, a.begin() + 22), Bytes(b.begin() + 6, b.begin() + 22));
    EXPECT_NE(Bytes(a.begin() + 22, a.end()), Bytes(b.begin() + 22, b.end()));
    EXPECT_NE(k1, k2);
    EXPECT_TRUE(VerifyPassword(a, u"pw", k1));
    EXPECT_TRUE(VerifyPassword(b, u"pw", k2));
    FixedRandom fixed(3);
    EXPECT_EQ(MakeFilePass(u"pw", k1), MakeFilePass(u"pw", k2));
    // Type 1, version 1.1.
    EXPECT_EQ(Bytes(a.begin(), a.begin() + 6), (Bytes{1, 0, 1, 0, 1, 0}));
}

TEST(Encryption, TheKeystreamDependsOnlyOnThePositionHoweverItIsCut) {
    const TRC4Key key{9, 8, 7, 6, 5};
    Bytes whole(5000, 0);
    TRC4Keystream(key).Apply(100, whole.data(), whole.size());
    std::mt19937 rng(5);
    for (int round = 0; round < 20; ++round) {
        Bytes pieces(5000, 0);
        TRC4Keystream stream(key);
        // Random cuts, some going back to earlier positions, some across blocks.
        size_t at = 0;
        while (at < pieces.size()) {
            size_t n = std::min<size_t>(rng() % 1500 + 1, pieces.size() - at);
            stream.Apply(100 + at, pieces.data() + at, n);
            if (rng() % 4 == 0 && at > 0) {
                size_t back = rng() % at;
                Bytes again(at - back, 0);
                stream.Apply(100 + back, again.data(), again.size());
                EXPECT_EQ(again, Bytes(whole.begin() + long(back), whole.begin() + long(at)));
            }
            at += n;
        }
        ASSERT_EQ(pieces, whole);
    }
    // Each 1024-byte block has a keystream of its own.
    EXPECT_NE(Bytes(whole.begin() + 924, whole.begin() + 956), Bytes(whole.begin(), whole.begin() + 32));
}

TEST(Encryption, RecordsThatStayPlainAndCutRecords) {
    const TRC4Key key{1, 2, 3, 4, 5};
    Stream s;
    s.Bof8(0x0005)
        .Rec(biff::FILEPASS, Bytes(54, 0xAA))
        .Rec(biff::INTERFACEHDR, Body().U16(0x04B0))
        .Rec(biff::MMS, Body().U16(0))
        .Rec(0x0085, Body().U32(0x11223344).U16(0).U8(1).U8(0).Raw({'A'}))
        .Rec(0x0194, Bytes(10, 0x55))
        .Bof8(0x0010)
        .Number(1, 2, 3.5)
        .Raw({0x03, 0x02, 0x0E, 0x00, 1, 2, 3}); // a NUMBER cut by the end
    Bytes crypted = s.Data();
    CryptRecords(crypted, 0, key);
    auto plain = Records(s.Data()), mixed = Records(crypted);
    ASSERT_EQ(IdsOf(plain), IdsOf(mixed));
    for (size_t i = 0; i < plain.size(); ++i) {
        const uint16_t id = plain[i].Id;
        SCOPED_TRACE(id);
        const bool staysPlain =
            id == 0x0809 || id == biff::FILEPASS || id == biff::INTERFACEHDR || id == 0x0194;
        if (staysPlain)
            EXPECT_EQ(plain[i].Body, mixed[i].Body);
        else
            EXPECT_NE(plain[i].Body, mixed[i].Body);
        if (id == 0x0085) {
            EXPECT_EQ(Bytes(mixed[i].Body.begin(), mixed[i].Body.begin() + 4),
                      (Bytes{0x44, 0x33, 0x22, 0x11}));
        }
    }
    // The same pass again gives the plain stream back, the cut record too.
    CryptRecords(crypted, 0, key);
    EXPECT_EQ(crypted, s.Data());
}

// A stream long enough to be shared among threads, its records of every
// length up to the largest (many straddle the parts' borders) with plain
// ones among them, and a last record cut by the end: the same bytes as one
// pass over the records with one keystream.
TEST(Encryption, ALongStreamIsCryptedAsInOnePass) {
    const TRC4Key key{9, 8, 7, 6, 5};
    std::mt19937 random(22);
    Bytes stream;
    const uint16_t ids[] = {0x0203, 0x00FD, 0x0085, 0x0809, 0x003C, biff::INTERFACEHDR};
    while (stream.size() < 700000) {
        const uint16_t id = ids[random() % std::size(ids)];
        const size_t length = random() % 3 == 0 ? random() % 8225 : random() % 40;
        Body b;
        for (size_t i = 0; i < length; ++i) b.U8(uint8_t(random()));
        stream.insert(stream.end(), {uint8_t(id), uint8_t(id >> 8), uint8_t(length), uint8_t(length >> 8)});
        stream.insert(stream.end(), b.b.begin(), b.b.end());
    }
    stream.resize(stream.size() - 3);
    // From the first record, and from a header further on.
    size_t later = 0;
    while (later < 1500) later += 4 + GetU16(stream.data() + later + 2);
    for (const size_t from : {size_t(0), later}) {
        SCOPED_TRACE(from);
        Bytes expected = stream;
        TRC4Keystream keystream(key);
        for (size_t pos = from; expected.size() - pos >= 4;) {
            const uint16_t id = GetU16(expected.data() + pos);
            const size_t length =
                std::min<size_t>(GetU16(expected.data() + pos + 2), expected.size() - pos - 4);
            const size_t plain = id == 0x0085 ? std::min<size_t>(4, length) : 0;
            if (id != 0x0809 && id != biff::INTERFACEHDR)
                keystream.Apply(pos + 4 + plain, expected.data() + pos + 4 + plain, length - plain);
            pos += 4 + length;
        }
        Bytes crypted = stream;
        CryptRecords(crypted, from, key);
        EXPECT_EQ(crypted, expected);
    }
}
